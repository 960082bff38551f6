#include "EngineOnFakeServer.h"

#include "AwaitTask.h"
#include "SyncthingInstance.h"

#include <QDir>
#include <QFile>
#include <qcoro/qcorotimer.h>

#include <stdexcept>

using namespace std::chrono_literals;

namespace tw {
namespace {

// Stands in for Syncthing: serves nothing, only stays alive until stopped.
const QByteArray standInProgram = R"(#!/bin/sh
case "$1" in
serve) exec sleep 600 ;;
*) exit 1 ;;
esac
)";

// Enough of a generated home that the supervisor neither runs "generate" nor
// fails to harden the configuration.
const QByteArray stockConfig = R"(<configuration version="37">
    <gui enabled="true"><address>127.0.0.1:8384</address></gui>
    <options>
        <listenAddress>default</listenAddress>
        <globalAnnounceEnabled>true</globalAnnounceEnabled>
        <localAnnounceEnabled>true</localAnnounceEnabled>
        <relaysEnabled>true</relaysEnabled>
        <natEnabled>true</natEnabled>
        <urAccepted>0</urAccepted>
        <crashReportingEnabled>true</crashReportingEnabled>
        <autoUpgradeIntervalH>12</autoUpgradeIntervalH>
        <startBrowser>true</startBrowser>
    </options>
</configuration>
)";

void writeFile(const QString &path, const QByteArray &content, QFile::Permissions permissions = {})
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        throw std::runtime_error("cannot write " + path.toStdString());
    file.close();
    if (permissions && !file.setPermissions(permissions))
        throw std::runtime_error("cannot set permissions of " + path.toStdString());
}

QCoro::Task<void> briefly(std::chrono::milliseconds)
{
    co_await QCoro::sleepFor(5ms);
}

} // namespace

EngineOnFakeServer::EngineOnFakeServer()
{
    if (!m_dir.isValid() || !m_server.listen())
        throw std::runtime_error("cannot set up the fake Syncthing server");
    const QString program = m_dir.path() + QStringLiteral("/bin/syncthing");
    QDir().mkpath(m_dir.path() + QStringLiteral("/bin"));
    writeFile(program, standInProgram, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const AppPaths paths(m_dir.path() + QStringLiteral("/TidewellSync"));
    const QString home = paths.engineHome();
    QDir().mkpath(home);
    writeFile(home + QStringLiteral("/config.xml"), stockConfig);
    writeFile(home + QStringLiteral("/cert.pem"), "cert\n");
    writeFile(home + QStringLiteral("/key.pem"), "key\n");

    SyncthingProcess::Options options;
    options.loopbackOnly = true;
    options.environment = SyncthingInstance::isolatedEnvironment(m_dir.path());
    options.sleeper = &briefly;
    options.stopGrace = 500ms;
    m_process = std::make_shared<SyncthingProcess>(paths, QStringList{program}, options);
    // Not a coroutine itself: it opens the relay, then hands back the wait.
    Sleeper sleeper = [this](std::chrono::milliseconds duration) {
        openRelay();
        return briefly(duration);
    };
    m_engine = std::make_unique<SyncthingEngine>(m_process, sleeper);
}

EngineOnFakeServer::~EngineOnFakeServer()
{
    awaitTask(m_engine->stop());
}

void EngineOnFakeServer::openRelay()
{
    const std::optional<SyncthingProcess::Endpoint> endpoint = m_process->endpoint();
    if (m_relay || !endpoint)
        return;
    m_relay = std::make_unique<PortRelay>(m_server.port());
    if (!m_relay->listen(quint16(endpoint->baseURL.port())))
        m_relay.reset();
}

void EngineOnFakeServer::start()
{
    awaitTask(m_engine->start());
    m_server.clearRequests();
}

} // namespace tw
