#pragma once

#include "engine/syncthing/SyncthingEngine.h"
#include "engine/syncthing/process/SyncthingProcess.h"
#include "utilities/Sleeper.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>

namespace tw {

// A real Syncthing on loopback for tests, used synchronously from the test
// thread. Its home lives in a temporary folder; HOME and XDG_* of the child
// point there too, so no real home is touched. The configuration is hardened:
// it listens only on tcp://<host>:<free port>, its GUI/REST on
// <host>:<free port>, with discovery, relays, NAT, usage and crash reporting,
// upgrades and the browser off. Destruction stops the instance and sweeps
// every process of its home, also when a test fails half-way.
class SyncthingInstance
{
public:
    struct Response
    {
        int status = 0; // 0 when no HTTP answer arrived
        QByteArray body; // the transport's text when no HTTP answer arrived
        QJsonDocument json() const { return QJsonDocument::fromJson(body); }
        bool ok() const { return status >= 200 && status <= 299; }
    };

    struct Settings
    {
        QString host = QStringLiteral("127.0.0.1"); // any 127.0.0.N
        QString name;                                // what paired peers call it; "instance <host>" when empty
        QStringList candidates = SyncthingProcess::defaultCandidates();
        QProcessEnvironment extraEnvironment;        // set on top of the isolated environment
    };

    explicit SyncthingInstance(QString host = QStringLiteral("127.0.0.1"), QString name = {});
    explicit SyncthingInstance(Settings settings);
    ~SyncthingInstance();
    SyncthingInstance(const SyncthingInstance &) = delete;
    SyncthingInstance &operator=(const SyncthingInstance &) = delete;

    // Launches (generating the home on first use) and waits until the REST
    // interface answers a ping. Throws std::runtime_error with the log's tail.
    void start(std::chrono::milliseconds deadline = std::chrono::seconds(30));
    // Stops the instance; afterwards no process of its home is left.
    void stop();
    bool isRunning() const { return m_process->isRunning(); }

    const QString &host() const { return m_host; }
    const QString &name() const { return m_name; }
    QString home() const { return m_process->homePath(); }
    QString root() const { return m_dir.path(); }
    QUrl baseURL() const;
    QString apiKey() const;
    qint64 pid() const { return m_process->processId(); }
    SyncthingProcess &process() { return *m_process; }
    // The supervisor as an engine takes it, for engines of a test's own kind.
    std::shared_ptr<SyncthingProcess> sharedProcess() const { return m_process; }
    // An engine driving this instance's supervisor; start() it to attach.
    std::unique_ptr<SyncthingEngine> makeEngine();
    // An engine already attached to this running instance.
    std::unique_ptr<SyncthingEngine> startedEngine();
    // The environment the child runs with (HOME and XDG_* redirected).
    const QProcessEnvironment &environment() const { return m_environment; }

    // This device's ID (cached after the first read).
    QString deviceID();
    // The one address the instance listens on for peers, "tcp://<host>:<port>".
    QString listenAddress();

    // REST calls with the API key; path includes any query ("/rest/db/scan?folder=x").
    Response get(const QString &path);
    Response put(const QString &path, const QByteArray &body);
    // Any request; no API key when apiKey is empty.
    Response request(const QByteArray &verb, const QString &path, const QByteArray &body, const QString &apiKey);
    // Asks for a scan of the whole folder.
    Response scan(const QString &folderID);

    // Which of two paired instances dials the other.
    enum class Dialling { Both, ThisOnly };
    // Adds each instance to the other's devices with its explicit tcp://
    // address (never "dynamic": discovery is off). With ThisOnly the other
    // gets "dynamic" for this one and never dials, so this one always sees
    // the connection at the other's listen address, never at the source of
    // the other's dial, which may be another loopback address.
    void pairWith(SyncthingInstance &other, Dialling dialling = Dialling::Both);
    // Whether the device shows connected before the deadline.
    bool waitUntilConnected(const QString &deviceID, std::chrono::milliseconds deadline = std::chrono::seconds(30));

    // Puts a send-receive folder at <root>/folders/<id>, shared with the
    // given devices (this one alone when none); extra keys override those.
    // Answers the folder's path.
    QString putFolder(const QString &id, const QStringList &deviceIDs = {}, const QJsonObject &extra = {});
    // Whether the folder comes, within a minute, to be scanned, idle, needing
    // nothing and holding that many local items.
    bool waitUntilIndexed(const QString &folderID, int items);

    // Writes a file, creating its folders; throws when it cannot.
    static void writeFile(const QString &path, const QByteArray &content);
    // A file's content, or "<missing>".
    static QByteArray readFile(const QString &path);

    // The system environment with HOME and XDG_* moved under root (the
    // folders are created), and without Syncthing's own ST* variables and
    // proxy settings.
    static QProcessEnvironment isolatedEnvironment(const QString &root);

private:
    Response expectOk(const QByteArray &verb, const QString &path, const QByteArray &body = {});
    QString logTail() const;

    QTemporaryDir m_dir;
    QString m_host;
    QString m_name;
    QProcessEnvironment m_environment;
    std::shared_ptr<SyncthingProcess> m_process;
    QNetworkAccessManager m_network;
    std::optional<QString> m_deviceID;
};

} // namespace tw
