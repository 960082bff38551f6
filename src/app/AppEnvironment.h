#pragma once

#include "app/DiskShortfall.h"
#include "app/ExclusionIssue.h"
#include "app/HealthInputs.h"
#include "app/LinkQueue.h"
#include "app/NotificationEdges.h"
#include "app/TransferSummary.h"
#include "app/removal/PurgeAnswer.h"
#include "app/removal/PurgeOutcome.h"
#include "cluster/Invite.h"
#include "cluster/NodeSetupPayload.h"
#include "controllers/PeerDiagController.h"
#include "lan/DiagServer.h"
#include "platform/MountEventSource.h"
#include "platform/PathLookUps.h"
#include "utilities/AppPaths.h"
#include "utilities/Clock.h"
#include "utilities/MonotonicClock.h"
#include "utilities/Sleeper.h"

#include <QFileSystemWatcher>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

namespace tw {

class AppPreferences;
class ClusterConfigStore;
class CreationDateController;
class DeviceController;
class ETAEstimator;
class EngineController;
class DirectoryTimeKeeper;
class EventController;
class FeedbackService;
class FolderController;
class Keychain;
class LiveStateFeed;
class MountWatcher;
class NasNodeController;
class Notifier;
class PairedPeerGate;
class ProjectController;
struct PurgeAnswer;
class SyncEngine;
class TeamPropagation;
class UserDefaults;

// The composition root: owns every controller for the life of the process,
// all sharing the one engine it is given, runs the start-up sequence, the
// 2-second polling loop and the engine watchdog. Creating it starts nothing.
// It must not outlive its engine: stop the loops first, the engine last.
// Main thread only.
class AppEnvironment : public QObject
{
    Q_OBJECT
    Q_PROPERTY(double watchdogBackoff READ watchdogBackoff NOTIFY watchdogChanged)
    Q_PROPERTY(QMap<QString, bool> volumeOnline READ volumeOnline NOTIFY volumeOnlineChanged)
    Q_PROPERTY(QMap<QString, qint64> volumeFreeBytes READ volumeFreeBytes NOTIFY volumeFreeBytesChanged)
    Q_PROPERTY(std::optional<tw::Invite> pendingInvite READ pendingInvite WRITE setPendingInvite NOTIFY pendingInviteChanged)
    Q_PROPERTY(std::optional<tw::NodeSetupPayload> pendingNodeSetup READ pendingNodeSetup WRITE setPendingNodeSetup
                   NOTIFY pendingNodeSetupChanged)

public:
    // Where the LAN status server listens and where paired Macs are asked.
    struct LanSetting
    {
        QHostAddress address = QHostAddress::Any;
        quint16 port = 48390;
        // Where paired Macs are asked when not on `port`: only tests that run
        // two Macs on one host have their servers on different ports.
        std::optional<quint16> peerPort = {};
        // How long a paired Mac may take to answer a purge, counted from the
        // send: it answers once its copy is gone.
        std::chrono::milliseconds purgeAnswerWait = std::chrono::minutes(3);
        quint16 askedPort() const { return peerPort.value_or(port); }
        // All interfaces for users; loopback only when TIDEWELL_LOOPBACK_ONLY=1.
        static LanSetting forThisRun();
    };

    // What the environment needs from outside besides the engine; tests give
    // temporary files, a memory keychain, a free loopback port and their own
    // time.
    struct Services
    {
        explicit Services(AppPaths root) : paths(std::move(root)) {}
        AppPaths paths;
        UserDefaults *defaults = nullptr;
        Keychain *keychain = nullptr;
        FeedbackService *feedback = nullptr;
        // Nothing: no notification is ever posted.
        Notifier *notifier = nullptr;
        LanSetting lan;
        Clock clock = systemClock();
        MonotonicClock monotonic = steadyClock();
        Sleeper sleeper = realSleeper();
        // Nothing: the standard autostart entry.
        std::optional<QString> autostartEntry;
        // Nothing: this process's mount table.
        MountEventSource *mountEvents = nullptr;
        // How long a look-up of a sync folder's path is waited for before the
        // folder counts as offline (its answer still counts when it comes).
        std::chrono::milliseconds pathAnswerWait = PathLookUps::defaultWait;
        // Nothing: the node's usual data folder.
        std::optional<QString> nodeFolderRoot;
    };

    struct PeerHost
    {
        QString deviceID;
        QString host;
        bool operator==(const PeerHost &) const = default;
    };
    struct PeerDevice
    {
        QString deviceID;
        QString name;
        bool operator==(const PeerDevice &) const = default;
    };

    static constexpr std::chrono::milliseconds cyclePause{2000};
    static constexpr double firstRestartWait = 5;   // seconds
    static constexpr double restartWaitGrowth = 3;
    static constexpr double restartWaitCap = 60;
    static constexpr std::chrono::milliseconds sweepPause{120000};

    AppEnvironment(SyncEngine &engine, Services services, QObject *parent = nullptr);
    ~AppEnvironment() override;

    SyncEngine &engine() const { return m_engine; }
    EngineController &engineState() const { return *m_engineState; }
    FolderController &folders() const { return *m_folders; }
    DeviceController &devices() const { return *m_devices; }
    ProjectController &projects() const { return *m_projects; }
    EventController &events() const { return *m_events; }
    DirectoryTimeKeeper &directoryTimes() const { return *m_directoryTimes; }
    CreationDateController &creationDates() const { return *m_creationDates; }
    AppPreferences &preferences() const { return *m_preferences; }
    NasNodeController &nasNode() const { return *m_nasNode; }
    PeerDiagController &peerDiag() const { return *m_peerDiag; }
    DiagServer &diagServer() const { return *m_diagServer; }
    ETAEstimator &eta() const { return *m_eta; }
    TeamPropagation &team() const { return *m_team; }
    ClusterConfigStore *clusterStore() const;
    const LanSetting &lanSetting() const { return m_services.lan; }
    // The user's settings; views keep their few own keys here.
    UserDefaults &defaults() const { return *m_services.defaults; }
    // Null where the environment was given no feedback service.
    FeedbackService *feedback() const { return m_services.feedback; }
    // The injected wall clock, so views' time estimates follow tests' time.
    QDateTime now() const { return m_services.clock(); }

    // The invitation or node set-up link whose sheet is due: one at a time.
    // A link set while another is pending waits its turn, in the order links
    // came; clearing the pending one (the user dismissed its sheet) gives the
    // next its turn.
    const std::optional<Invite> &pendingInvite() const { return m_pendingInvite; }
    void setPendingInvite(std::optional<Invite> invite);
    const std::optional<NodeSetupPayload> &pendingNodeSetup() const { return m_pendingNodeSetup; }
    void setPendingNodeSetup(std::optional<NodeSetupPayload> payload);
    qsizetype waitingLinkCount() const { return m_waitingLinks.size(); }

    // Seconds between restart attempts; 0 while the engine runs.
    double watchdogBackoff() const { return m_watchdogBackoff; }
    std::optional<std::chrono::milliseconds> lastWatchdogAttempt() const { return m_lastWatchdogAttempt; }
    bool prevAllSynced() const { return m_notificationEdges.prevAllSynced(); }
    qint64 prevPendingCount() const { return m_notificationEdges.prevPendingCount(); }
    const QSet<QString> &purgeInFlightFolders() const { return m_purgeInFlightFolders; }
    // Local path of each sync folder -> whether it is there (its drive
    // mounted), and the free bytes of the volume holding it where known.
    const QMap<QString, bool> &volumeOnline() const { return m_volumeOnline; }
    const QMap<QString, qint64> &volumeFreeBytes() const { return m_volumeFreeBytes; }
    // What the health rules read, taken from the controllers now.
    HealthInputs healthInputs() const;

    // The start-up sequence; once, before startPolling(). Never fails: each
    // controller keeps its own last error.
    QCoro::Task<void> bootstrap();
    // What must happen each time the engine is found running after start-up
    // or a restart: the event hooks (once), the event poller from its start,
    // and the steps that need a running engine. Safe to repeat.
    QCoro::Task<void> onEngineUp();
    // Starts the polling loop, ending one already running, then the sweep and
    // the volume monitoring.
    void startPolling();
    // Ends the loops after their current step; nothing of them runs again.
    void stopLoops();
    // The first step of every way of quitting: ends the loops and the event
    // poll, and from now on nothing starts the engine, the loops or the LAN
    // server again, even a start-up or a restart already under way.
    void beginQuit();
    bool isQuitting() const { return m_quitting; }

    // Other Macs connected directly now, with the host of their connection;
    // the always-on nodes and relayed or remote connections left out.
    QList<PeerHost> connectedPeerHosts() const;
    // Whether an address is the host of one of those Macs.
    bool isConnectedPeerHost(const QString &address) const;
    // Local paths of every switched-on sync folder, in order, repeats kept.
    QStringList syncedFolderPaths() const;
    // The engine's other devices but the always-on nodes.
    QList<PeerDevice> knownPeerDevices() const;

    // Team propagation (see TeamPropagation).
    void installMembershipHook();
    QCoro::Task<void> applyClusterSync();
    QCoro::Task<void> syncCluster();
    // Folders left send-only by an interrupted purge return to two-way.
    QCoro::Task<void> healStuckSendonly();
    // A teammate's command to remove a subfolder here, as the LAN server
    // received it; the answer goes back to the sender as it is.
    QCoro::Task<DiagServer::PurgeAnswer> executeIncomingPurge(QString fromDevice, QByteArray body);
    // Removes a subfolder of a sync folder from the sync's other Macs while
    // this Mac keeps its copy: protected here and on the always-on node by an
    // ignore line that must be in force before any Mac is told to delete.
    // `anchoredPath` is relative to the folder root, "/" in front or not.
    QCoro::Task<PurgeOutcome> purgeFromPeers(QString projectID, QString folderID, QString anchoredPath);

    // For all syncs or the one given, with the whole Mac's rate.
    std::optional<TransferSummary> transferSummary(const std::optional<QString> &projectID = std::nullopt) const;
    // The same from inputs a view already read for this refresh.
    std::optional<TransferSummary> transferSummary(const HealthInputs &inputs,
                                                   const std::optional<QString> &projectID) const;
    // The sweep's pass (and start-up's): directories a pull moved here whose
    // times were not put back before the process ended get them.
    void reconcileDirectoryMtimes();
    // Whether the last volume probe found a sync folder's path there.
    bool folderOnline(const QString &path) const;

    // Steps whose work is still to come; each is called at its place.
    QCoro::Task<void> refreshVolumeStatus();
    QCoro::Task<void> seedCompletion();
    QCoro::Task<void> refreshPeerCompletion();
    QCoro::Task<void> sampleTransfers();
    QCoro::Task<void> evaluateNotifications();
    QCoro::Task<void> requestNotificationPermission();
    void applyDiagServer();
    void startSweep();
    void startVolumeMonitoring();
    // The edges' state at start, taken without notifying anybody.
    void setNotificationBaselines();
    // Whether a sync folder lacks the disk space to finish, now.
    std::optional<DiskShortfall> diskShortfall(const ProjectFolder &folder) const;
    // The Macs whose exclusion or pause from a sync folder has not taken
    // effect in the engine (yet).
    QList<ExclusionIssue> exclusionConvergenceIssues() const;

    // The status page a phone reads, for this Mac now.
    QString dashboardHTML() const;
    // This Mac's diagnostics report, then one section per Mac connected
    // directly, read from its LAN status server.
    QCoro::Task<QString> fullDiagnostics();
    // What paired Macs read on "/status": the folder list with the live
    // statuses, so their frequent asks cost the engine nothing.
    QList<FolderDiagStatus> folderDiagStatuses() const;

    // Told the name of each step of start-up and of the cycle as it begins;
    // for tracing what ran in which order.
    void setStepObserver(std::function<void(QString)> observer) { m_stepObserver = std::move(observer); }

signals:
    void watchdogChanged();
    void purgeInFlightFoldersChanged();
    void volumeOnlineChanged();
    void volumeFreeBytesChanged();
    void pendingInviteChanged();
    void pendingNodeSetupChanged();
    // A volume came or went: cached file and volume icons may be wrong now.
    void iconCacheStale();
    // Something views show may have changed: any change signal of the
    // environment or of one of its controllers. Changes made in one turn of
    // the event loop are told once, in the next turn (a 0 ms single shot),
    // so a polling cycle that writes a hundred properties costs the views
    // one refresh, and one that writes none costs nothing.
    void stateChanged();

private slots:
    void noteStateChange();

private:
    // Joins every "...Changed" signal of the environment and its controllers
    // to noteStateChange().
    void gatherStateChanges();
    // Queues a link while another one is pending; true when it waits.
    template <typename Link>
    bool linkWaits(const Link &link, const std::optional<Link> &sameKind);
    void giveNextLinkItsTurn();
    static QCoro::Task<void> pollLoop(QPointer<AppEnvironment> self, quint64 generation, Sleeper sleeper);
    QCoro::Task<void> pollCycle();
    QCoro::Task<void> runWatchdog();
    QCoro::Task<void> bootstrapWithEngine();
    QCoro::Task<void> readPeers();
    QList<PeerDiagController::Peer> peerList() const;
    void installEventHooks();
    void watchTeamFolder();
    void setWatchdog(double backoff, std::optional<std::chrono::milliseconds> attempt);
    void installDiagHandlers();
    void step(const char *name) const;
    // Remote purge, both sides.
    QCoro::Task<PurgeOutcome> protectAndPurge(QString projectID, QString stID, QString relativePath, QString secret);
    QCoro::Task<PurgeOutcome> sendToMembers(QString projectID, QString stID, QString path, QString secret,
                                            QString from);
    // Nothing when the Mac removed the subfolder (or had none); else why not.
    QCoro::Task<std::optional<PurgeAnswer::Refusal>> sendPurge(QUrl url, QString stID, QString path,
                                                               QString secret, QString from);
    // Ready once the engine's ignore lines hold the pattern and the folder is
    // idle; false after 120 polls a second apart.
    QCoro::Task<bool> purgeCommitGateReady(QString stID, QString pattern);
    QCoro::Task<void> restoreFolderMode(QString stID, QString mode);
    QCoro::Task<PurgeAnswer> answerPurge(QString from, QByteArray body);
    QCoro::Task<PurgeAnswer> carryOutPurge(QString from, QString folderID, QString path, QString nonce);
    QCoro::Task<PurgeAnswer> protectAndRemove(QString folderID, QString root, QString relativePath, QString nonce);
    bool isConnected(const QString &deviceID) const;
    static QCoro::Task<void> sweepLoop(QPointer<AppEnvironment> self, quint64 generation, Sleeper sleeper);
    QCoro::Task<void> sweepCycle();
    void stopMaintenance();
    void noteMountChange();
    static QCoro::Task<void> handleMountChanges(QPointer<AppEnvironment> self);
    QCoro::Task<void> handleMountChange();
    void noteProjectsChanged();
    static QCoro::Task<void> refreshVolumesCoalesced(QPointer<AppEnvironment> self);
    void noteLateAnswer(const QString &path, const PathPresence &presence);
    void noteDatesWritten(const QString &folderPath);
    static QCoro::Task<void> scanDatedFolders(QPointer<AppEnvironment> self);

    SyncEngine &m_engine;
    Services m_services;
    // Before the controllers that ask it, so that it outlives them.
    std::unique_ptr<PathLookUps> m_pathLookUps;
    std::unique_ptr<CreationDateController> m_creationDates;
    std::unique_ptr<AppPreferences> m_preferences;
    std::unique_ptr<NasNodeController> m_nasNode;
    std::unique_ptr<PeerDiagController> m_peerDiag;
    std::unique_ptr<DiagServer> m_diagServer;
    // Shared with the server's handlers, which may outlive a request's view
    // of the environment.
    std::shared_ptr<PairedPeerGate> m_peerGate;
    std::unique_ptr<ETAEstimator> m_eta;
    std::unique_ptr<EngineController> m_engineState;
    std::unique_ptr<FolderController> m_folders;
    std::unique_ptr<DeviceController> m_devices;
    std::unique_ptr<ProjectController> m_projects;
    std::unique_ptr<EventController> m_events;
    std::unique_ptr<DirectoryTimeKeeper> m_directoryTimes;
    std::unique_ptr<LiveStateFeed> m_liveState;
    std::unique_ptr<TeamPropagation> m_team;
    QFileSystemWatcher m_teamFolderWatch;

    std::optional<Invite> m_pendingInvite;
    std::optional<NodeSetupPayload> m_pendingNodeSetup;
    LinkQueue m_waitingLinks;
    QSet<QString> m_purgeInFlightFolders;
    // Nonces of incoming purge commands being carried out now.
    QSet<QString> m_inFlightPurgeNonces;
    // Engine folders with incoming purge commands being carried out now, and
    // how many: this Mac starts no removal of its own for them meanwhile.
    QHash<QString, int> m_purgesReceiving;
    QMap<QString, bool> m_volumeOnline;
    QMap<QString, qint64> m_volumeFreeBytes;
    double m_watchdogBackoff = 0;
    std::optional<std::chrono::milliseconds> m_lastWatchdogAttempt;
    NotificationEdges m_notificationEdges;

    QTimer m_stateChangeTimer;
    quint64 m_pollGeneration = 0;
    bool m_quitting = false;
    bool m_bootstrapped = false;
    bool m_hooksInstalled = false;
    // The cycle reads pending offers and the team record only when something
    // may have changed them: at start, after a gap in the event stream, after
    // a pending event, after a change in the team folder.
    bool m_pendingDue = true;
    bool m_teamRecordDue = true;
    // Engine folders whose files were given creation dates since their last
    // scan began, in the order they were; one scan runs at a time.
    QStringList m_datedFolders;
    bool m_datedScanBusy = false;
    std::function<void(QString)> m_stepObserver;

    quint64 m_sweepGeneration = 0;
    std::unique_ptr<MountWatcher> m_mountWatcher;
    QMetaObject::Connection m_mountConnection;
    int m_mountChangesWaiting = 0;
    bool m_mountHandlerBusy = false;
    // Probes finish in any order; only a newer one than the last assigned
    // may assign.
    quint64 m_volumeProbesStarted = 0;
    quint64 m_volumeProbeAssigned = 0;
    QSet<QString> m_probedPaths;
    bool m_volumeRefreshBusy = false;
    bool m_volumeRefreshAgain = false;
};

} // namespace tw
