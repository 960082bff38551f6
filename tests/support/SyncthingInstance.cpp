#include "SyncthingInstance.h"
#include "AwaitTask.h"

#include "engine/syncthing/process/SyncthingSweep.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <qcoro/qcoronetworkreply.h>
#include <qcoro/qcorotimer.h>

#include <functional>
#include <stdexcept>

using namespace std::chrono_literals;

namespace tw {

namespace {

constexpr auto pollInterval = 100ms;

QCoro::Task<SyncthingInstance::Response> send(QNetworkAccessManager *network, QNetworkRequest request,
                                              QByteArray verb, QByteArray body)
{
    const QScopedPointer<QNetworkReply, QScopedPointerDeleteLater> reply(
        body.isEmpty() ? network->sendCustomRequest(request, verb) : network->sendCustomRequest(request, verb, body));
    co_await reply.get();
    SyncthingInstance::Response response;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    response.status = status.toInt();
    response.body = status.isValid() ? reply->readAll() : reply->errorString().toUtf8();
    co_return response;
}

// Whether the condition comes to hold before the deadline, asking again
// after each short pause.
bool pollUntil(const std::function<bool()> &condition, std::chrono::milliseconds deadline)
{
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        awaitTask(QCoro::sleepFor(pollInterval));
    }
    return true;
}

// Percent-encodes one path segment or query value ("+" becomes "%2B").
QString encode(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

} // namespace

QProcessEnvironment SyncthingInstance::isolatedEnvironment(const QString &root)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Variables that would make the child use another home, reach out through
    // a proxy, or carry our own settings into it.
    const QStringList proxies{"all_proxy", "http_proxy", "https_proxy", "no_proxy"};
    for (const QString &key : environment.keys()) {
        if (key.startsWith(QLatin1String("ST")) || proxies.contains(key.toLower()))
            environment.remove(key);
    }
    const QString user = root + QStringLiteral("/user");
    const QList<std::pair<QString, QString>> places{
        {QStringLiteral("HOME"), user},
        {QStringLiteral("XDG_CONFIG_HOME"), user + QStringLiteral("/.config")},
        {QStringLiteral("XDG_DATA_HOME"), user + QStringLiteral("/.local/share")},
        {QStringLiteral("XDG_STATE_HOME"), user + QStringLiteral("/.local/state")},
        {QStringLiteral("XDG_CACHE_HOME"), user + QStringLiteral("/.cache")},
        {QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/runtime")},
    };
    for (const auto &[key, path] : places) {
        QDir().mkpath(path);
        environment.insert(key, path);
    }
    QFile::setPermissions(root + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return environment;
}

SyncthingInstance::SyncthingInstance(QString host, QString name)
    : SyncthingInstance(Settings{std::move(host), std::move(name), SyncthingProcess::defaultCandidates(), {}})
{
}

SyncthingInstance::SyncthingInstance(Settings settings)
    : m_host(std::move(settings.host)),
      m_name(settings.name.isEmpty() ? QStringLiteral("instance ") + m_host : std::move(settings.name))
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder: " + m_dir.errorString().toStdString());
    m_environment = isolatedEnvironment(m_dir.path());
    m_environment.insert(settings.extraEnvironment);
    SyncthingProcess::Options options;
    options.loopbackOnly = true;
    // CI machines' disks can be nearly full; the homes are thrown away.
    options.diskFloors = SyncthingConfigHardening::DiskFloors::Off;
    options.listenHost = m_host;
    options.environment = m_environment;
    // Syncthing connected to a peer takes about ten seconds to shut down;
    // tests need no graceful end and do not wait that long.
    options.stopGrace = std::chrono::seconds(2);
    m_process = std::make_shared<SyncthingProcess>(AppPaths(m_dir.path() + QStringLiteral("/TidewellSync")),
                                                   std::move(settings.candidates), options);
    m_network.setProxy(QNetworkProxy::NoProxy);
    m_network.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

SyncthingInstance::~SyncthingInstance()
{
    try {
        stop();
    } catch (...) {
    }
    // Whatever stop() could not reach (a monitor SIGKILLed by a test leaves
    // its child behind) goes now, before the folder does.
    SyncthingSweep::terminateBlocking(home());
}

QUrl SyncthingInstance::baseURL() const
{
    const auto endpoint = m_process->endpoint();
    return endpoint ? endpoint->baseURL : QUrl();
}

QString SyncthingInstance::apiKey() const
{
    const auto endpoint = m_process->endpoint();
    return endpoint ? endpoint->apiKey : QString();
}

std::unique_ptr<SyncthingEngine> SyncthingInstance::makeEngine()
{
    return std::make_unique<SyncthingEngine>(m_process, realSleeper());
}

std::unique_ptr<SyncthingEngine> SyncthingInstance::startedEngine()
{
    std::unique_ptr<SyncthingEngine> engine = makeEngine();
    awaitTask(engine->start());
    return engine;
}

void SyncthingInstance::start(std::chrono::milliseconds deadline)
{
    // A port found free can be taken by a parallel test before Syncthing binds
    // it; Syncthing then exits, and a new launch picks other ports.
    for (int attempt = 0; attempt < 3; ++attempt) {
        awaitTask(m_process->startIfNeeded());
        if (!pollUntil([&] { return !m_process->isRunning() || get(QStringLiteral("/rest/system/ping")).ok(); }, deadline))
            break;
        if (m_process->isRunning())
            return;
        if (!logTail().contains(QStringLiteral("address already in use")))
            break;
    }
    throw std::runtime_error("Syncthing on " + m_host.toStdString() + " did not answer; log:\n"
                             + logTail().toStdString());
}

void SyncthingInstance::stop()
{
    awaitTask(m_process->stop());
    m_deviceID.reset();
}

QString SyncthingInstance::logTail() const
{
    QFile log(home() + QLatin1Char('/') + SyncthingProcess::logFileName);
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll().right(3000)) : QStringLiteral("(no log)");
}

SyncthingInstance::Response SyncthingInstance::request(const QByteArray &verb, const QString &path,
                                                       const QByteArray &body, const QString &apiKey)
{
    QNetworkRequest request(QUrl(baseURL().toString() + path));
    request.setTransferTimeout(30000);
    if (!apiKey.isEmpty())
        request.setRawHeader("X-API-Key", apiKey.toUtf8());
    if (!body.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    return awaitTask(send(&m_network, request, verb, body));
}

SyncthingInstance::Response SyncthingInstance::get(const QString &path)
{
    return request("GET", path, {}, apiKey());
}

SyncthingInstance::Response SyncthingInstance::put(const QString &path, const QByteArray &body)
{
    return request("PUT", path, body, apiKey());
}

SyncthingInstance::Response SyncthingInstance::scan(const QString &folderID)
{
    return request("POST", QStringLiteral("/rest/db/scan?folder=") + QString::fromLatin1(QUrl::toPercentEncoding(folderID)),
                   {}, apiKey());
}

SyncthingInstance::Response SyncthingInstance::expectOk(const QByteArray &verb, const QString &path,
                                                        const QByteArray &body)
{
    Response response = request(verb, path, body, apiKey());
    if (!response.ok())
        throw std::runtime_error(verb.toStdString() + " " + path.toStdString() + " failed: " + response.body.toStdString());
    return response;
}

QString SyncthingInstance::deviceID()
{
    if (!m_deviceID)
        m_deviceID = expectOk("GET", QStringLiteral("/rest/system/status")).json().object().value("myID").toString();
    return *m_deviceID;
}

QString SyncthingInstance::listenAddress()
{
    const QJsonArray addresses =
        expectOk("GET", QStringLiteral("/rest/config/options")).json().object().value("listenAddresses").toArray();
    return addresses.isEmpty() ? QString() : addresses.first().toString();
}

void SyncthingInstance::pairWith(SyncthingInstance &other, Dialling dialling)
{
    const auto add = [](SyncthingInstance &self, SyncthingInstance &peer, bool dials) {
        const QJsonObject device{
            {QStringLiteral("deviceID"), peer.deviceID()},
            {QStringLiteral("name"), peer.name()},
            {QStringLiteral("addresses"), QJsonArray{dials ? peer.listenAddress() : QStringLiteral("dynamic")}},
        };
        self.expectOk("PUT", QStringLiteral("/rest/config/devices/") + encode(peer.deviceID()),
                      QJsonDocument(device).toJson(QJsonDocument::Compact));
    };
    add(*this, other, true);
    add(other, *this, dialling == Dialling::Both);
}

bool SyncthingInstance::waitUntilConnected(const QString &deviceID, std::chrono::milliseconds deadline)
{
    return pollUntil(
        [&] {
            const QJsonObject connections = get(QStringLiteral("/rest/system/connections")).json().object();
            return connections.value("connections").toObject().value(deviceID).toObject().value("connected").toBool();
        },
        deadline);
}

QString SyncthingInstance::putFolder(const QString &id, const QStringList &deviceIDs, const QJsonObject &extra)
{
    const QString path = root() + QStringLiteral("/folders/") + id;
    QDir().mkpath(path);
    QJsonArray devices;
    for (const QString &device : deviceIDs.isEmpty() ? QStringList{deviceID()} : deviceIDs)
        devices.append(QJsonObject{{QStringLiteral("deviceID"), device}});
    QJsonObject folder{{QStringLiteral("id"), id}, {QStringLiteral("path"), path},
                       {QStringLiteral("type"), QStringLiteral("sendreceive")}, {QStringLiteral("devices"), devices}};
    for (auto it = extra.begin(); it != extra.end(); ++it)
        folder.insert(it.key(), it.value());
    expectOk("PUT", QStringLiteral("/rest/config/folders/") + encode(id),
             QJsonDocument(folder).toJson(QJsonDocument::Compact));
    return path;
}

bool SyncthingInstance::waitUntilIndexed(const QString &folderID, int items)
{
    return pollUntil(
        [&] {
            const QJsonObject status = get(QStringLiteral("/rest/db/status?folder=") + encode(folderID)).json().object();
            return status.value("state").toString() == "idle" && status.value("needTotalItems").toInt() == 0
                && status.value("localTotalItems").toInt() == items;
        },
        60s);
}

void SyncthingInstance::writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

QByteArray SyncthingInstance::readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArrayLiteral("<missing>");
}

} // namespace tw
