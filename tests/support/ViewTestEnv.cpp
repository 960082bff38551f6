#include "ViewTestEnv.h"

#include "cluster/NasNodeController.h"

#include "AwaitTask.h"
#include "FakeServices.h"

#include <QDesktopServices>
#include <QDir>

namespace tw {
namespace {

using Request = FakeHttpServer::Request;
using Response = FakeHttpServer::Response;

// What the environment's engine shows the views: running, and every way
// beyond this machine off, as a loopback-only run keeps it.
void loopbackOnlyState(FakeSyncEngine::State &state)
{
    state.running = true;
    state.network.natTraversalEnabled = false;
    state.network.relayEnabled = false;
    state.network.localDiscoveryEnabled = false;
    state.network.globalDiscoveryEnabled = false;
}

} // namespace

FakeHttpServer::Handler fakeNodeAnswers(QString key, QString deviceID)
{
    return [key = key.toUtf8(), deviceID = deviceID.toUtf8()](const Request &request) {
        if (request.header("X-API-Key") != key)
            return Response::text(403, "CSRF Error");
        if (request.method != "GET")
            return Response::json("{}");
        if (request.path() == "/rest/system/status")
            return Response::json("{\"myID\": \"" + deviceID + "\"}");
        if (request.path() == "/rest/config/folders" || request.path() == "/rest/config/devices")
            return Response::json("[]");
        return Response::json("{}");
    };
}

UrlCapture::UrlCapture()
{
    for (const QString &scheme : schemes)
        QDesktopServices::setUrlHandler(scheme, this, "open");
}

UrlCapture::~UrlCapture()
{
    for (const QString &scheme : schemes)
        QDesktopServices::unsetUrlHandler(scheme);
}

ViewTestEnv::ViewTestEnv()
    : defaults(dir.filePath(QStringLiteral("defaults.json"))),
      // An endpoint, so that views offer feedback; the queue never runs.
      feedback(QStringLiteral("http://127.0.0.1:9") + QLatin1String(FeedbackService::kRecordsPath),
               AppPaths(dir.path()))
{
    loopbackOnlyState(engine.state);
    node.setHandler(fakeNodeAnswers(kNodeKey, kNodeDeviceID));
    makeEnvironment();
}

void ViewTestEnv::restartEnvironment()
{
    m_env->stopLoops();
    m_env.reset();
    makeEnvironment();
}

void ViewTestEnv::makeEnvironment()
{
    AppEnvironment::Services services = fakeServices(AppPaths(dir.path()), defaults, keychain, feedback, notifier,
                                                     clock, mounts, dir.filePath(QStringLiteral("autostart.desktop")));
    services.lan = {QHostAddress::LocalHost, 0};
    services.sleeper = [](std::chrono::milliseconds) -> QCoro::Task<void> { co_return; };
    m_env = std::make_unique<AppEnvironment>(engine, std::move(services));
}

ViewTestEnv::~ViewTestEnv()
{
    m_env->stopLoops();
}

void ViewTestEnv::SetUp()
{
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(node.listen());
}

QList<FakeHttpServer::Request> ViewTestEnv::nodeWrites() const
{
    QList<Request> writes;
    for (const Request &request : node.requests()) {
        if (request.method != "GET")
            writes.append(request);
    }
    return writes;
}

QString ViewTestEnv::listWorkFolder(const QString &label)
{
    const QString path = dir.filePath(QStringLiteral("Work"));
    if (!QDir().mkpath(path))
        return QString();
    SyncFolder listed;
    listed.id = QStringLiteral("st");
    listed.label = label;
    listed.path = path;
    engine.state.folders = {listed};
    return path;
}

bool ViewTestEnv::configureNode(const QString &name)
{
    return awaitTask(app().nasNode().configure(nodeURL(), kNodeKey, name));
}

} // namespace tw
