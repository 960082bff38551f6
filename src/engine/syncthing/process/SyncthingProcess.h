#pragma once

#include "engine/syncthing/process/SyncthingConfigHardening.h"
#include "utilities/AppPaths.h"
#include "utilities/AsyncMutex.h"
#include "utilities/InstanceLock.h"
#include "utilities/Sleeper.h"

#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

namespace tw {

// Owns the Syncthing child of this application: finds the program, prepares
// the engine home (configuration, keys, database), launches "serve" on a free
// loopback port with a fresh API key, stops it, wipes its database on request
// and clears away Syncthing processes of the same home left by an earlier run.
// It knows nothing of the REST interface; it hands out the Endpoint by which
// the REST client reaches the child.
//
// It sweeps, launches and deletes only while it holds the instance lock of its
// root, taken before the first of these and kept until it is destroyed.
//
// Lives on the main thread. Its operations are serialised among themselves so
// each stays atomic across its own waits; isRunning() takes no turn, so status
// polling never waits behind a start.
class SyncthingProcess : public QObject
{
    Q_OBJECT
public:
    struct Endpoint
    {
        QUrl baseURL;   // "http://<host>:<port>", no trailing slash
        QString apiKey; // a fresh UUID in upper-case text, 36 characters
        bool operator==(const Endpoint &) const = default;
    };

    struct Options
    {
        // Harden the configuration before every launch: listen on loopback
        // only, no discovery, relays, NAT, usage or crash reporting, no
        // upgrades. Tests always set it; the application when
        // TIDEWELL_LOOPBACK_ONLY=1.
        bool loopbackOnly = false;
        // With loopbackOnly, for throwaway homes: Syncthing's free-space floors off.
        SyncthingConfigHardening::DiskFloors diskFloors = SyncthingConfigHardening::DiskFloors::Kept;
        // Where the REST interface (and, hardened, the sync protocol) listens.
        QString listenHost = QStringLiteral("127.0.0.1");
        // The children's base environment; the application's own when absent.
        std::optional<QProcessEnvironment> environment;
        Sleeper sleeper = realSleeper();
        // How long stop() waits for the child to end before killing it.
        std::chrono::milliseconds stopGrace{6000};
        // The instance lock of the root when the application has claimed it
        // already; otherwise the supervisor makes its own.
        std::shared_ptr<InstanceLock> instanceLock;
    };

    static const QString logFileName;      // "tidewell-syncthing.log"
    static const QStringList keptFiles;    // what resetDatabase() leaves in the home
    static constexpr quint16 fallbackPort = 38384;

    // The application's options: loopback-only when TIDEWELL_LOOPBACK_ONLY=1.
    static Options optionsFromEnvironment();
    // Beside the executable (the bundled copy), then /usr/local/bin, then /usr/bin.
    static QStringList defaultCandidates();

    explicit SyncthingProcess(AppPaths paths, QObject *parent = nullptr);
    SyncthingProcess(AppPaths paths, QStringList candidates, Options options, QObject *parent = nullptr);
    // Asks a child that still runs, and its own child, to terminate. The
    // QProcess is not destroyed while its process runs (Qt would SIGKILL the
    // monitor and orphan the real Syncthing); it goes once finished.
    ~SyncthingProcess() override;

    // The running child's endpoint, or a newly launched child's. Readiness of
    // the REST interface is not awaited. Throws SyncEngineError (binaryNotFound,
    // backend for a failed "generate" or for another copy holding the
    // instance lock) or PlatformError.
    QCoro::Task<Endpoint> startIfNeeded();
    // Terminates the child and forgets it; once done no process of the home
    // is left. Never fails.
    QCoro::Task<void> stop();
    // Stops the child, waits for (or kills) every process of the home and
    // deletes the home's contents except configuration and keys. Does nothing
    // while another copy holds the instance lock. Never fails.
    QCoro::Task<void> resetDatabase();

    // Whether the last launched child still runs. Takes no turn.
    bool isRunning() const;
    // Whether the last start or reset found the home held by another copy
    // of the application; trying again changes nothing while it runs.
    bool isLockedOut() const { return m_lock->isHeldElsewhere(); }
    std::optional<Endpoint> endpoint() const { return m_endpoint; }
    // The monitor's process ID, 0 without a child.
    qint64 processId() const;
    const QString &homePath() const { return m_home; }

    // The termination sweep for application exit: SIGTERM to every Syncthing
    // serving the default engine home. They shut down on their own.
    static void killDaemonsForDefaultHome();

    // A port that was free on host a moment ago; fallbackPort when the socket
    // calls fail.
    static quint16 freePort(const QString &host = QStringLiteral("127.0.0.1"));

private:
    struct DeleteWhenFinished
    {
        void operator()(QProcess *process) const;
    };
    using ProcessPtr = std::unique_ptr<QProcess, DeleteWhenFinished>;

    QString locateBinary() const;
    void requireInstanceLock();
    QCoro::Task<void> ensureHomeAndConfig(QString binary);
    QCoro::Task<void> generate(QString binary);
    QProcessEnvironment baseEnvironment() const;
    ProcessPtr makeChild(const QString &binary, const Endpoint &endpoint) const;
    QCoro::Task<void> stopLocked();
    QCoro::Task<void> deleteDatabase();
    void forgetExitedChild();

    QString m_home;
    QStringList m_candidates;
    Options m_options;
    std::shared_ptr<InstanceLock> m_lock;
    AsyncMutex m_mutex;
    ProcessPtr m_process;
    std::optional<Endpoint> m_endpoint;
};

} // namespace tw
