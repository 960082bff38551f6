#include "app/AppEnvironment.h"
#include "utilities/AssignIfChanged.h"

#include "app/AppPreferences.h"
#include "cluster/NasNodeController.h"
#include "app/TeamPropagation.h"
#include "controllers/DeviceController.h"
#include "controllers/ETAEstimator.h"
#include "controllers/EngineController.h"
#include "controllers/DirectoryTimeKeeper.h"
#include "controllers/EventController.h"
#include "controllers/FolderController.h"
#include "controllers/LiveStateFeed.h"
#include "controllers/PeerDiagController.h"
#include "creationdates/CreationDateController.h"
#include "lan/DiagServer.h"
#include "platform/HeapTrim.h"
#include "lan/DirectConnection.h"
#include "lan/PairedPeerGate.h"
#include "platform/MountWatcher.h"
#include "projects/ProjectController.h"
#include "utilities/Detach.h"
#include "utilities/LoopbackOnly.h"

#include <QMetaMethod>

namespace tw {

namespace {

XdgAutostart loginItemFor(const std::optional<QString> &entry)
{
    if (!entry)
        return XdgAutostart::standard();
    return XdgAutostart(*entry, XdgAutostart::standard().executable());
}

} // namespace

AppEnvironment::LanSetting AppEnvironment::LanSetting::forThisRun()
{
    LanSetting setting;
    if (loopbackOnlyRun())
        setting.address = QHostAddress::LocalHost;
    return setting;
}

AppEnvironment::AppEnvironment(SyncEngine &engine, Services services, QObject *parent)
    : QObject(parent), m_engine(engine), m_services(std::move(services))
{
    UserDefaults &defaults = *m_services.defaults;
    m_pathLookUps = std::make_unique<PathLookUps>(m_services.pathAnswerWait);
    m_creationDates = std::make_unique<CreationDateController>();
    m_preferences = std::make_unique<AppPreferences>(defaults, loginItemFor(m_services.autostartEntry));
    m_nasNode = std::make_unique<NasNodeController>(*m_services.keychain, m_services.paths, m_services.sleeper);
    m_nasNode->keepBouncesIn(defaults);
    if (m_services.nodeFolderRoot)
        m_nasNode->setFolderRoot(*m_services.nodeFolderRoot);
    m_peerDiag = std::make_unique<PeerDiagController>(PeerDiagController::Options{.port = m_services.lan.askedPort()});
    m_diagServer = std::make_unique<DiagServer>(
        DiagServer::Options{.address = m_services.lan.address, .port = m_services.lan.port});
    m_peerGate = std::make_shared<PairedPeerGate>(&engine, m_services.clock);
    m_eta = std::make_unique<ETAEstimator>();

    m_engineState = std::make_unique<EngineController>(engine, defaults, m_services.clock);
    m_folders = std::make_unique<FolderController>(engine, m_services.clock);
    m_devices = std::make_unique<DeviceController>(engine, m_services.clock);
    m_projects = std::make_unique<ProjectController>(engine, m_services.paths, defaults, m_services.clock,
                                                     m_services.sleeper);
    m_events = std::make_unique<EventController>(engine, m_services.sleeper);
    m_directoryTimes = std::make_unique<DirectoryTimeKeeper>(
        engine, *m_events, m_services.paths.file(QStringLiteral("DirectoryTimes")), m_services.sleeper);
    m_projects->setNasNode(m_nasNode.get());
    m_projects->setPathLookUps(m_pathLookUps.get());
    m_projects->setDefaultIgnores(m_preferences->defaultIgnoreList());
    m_projects->setJoinsTeamDevices(m_preferences->autoJoinNode());

    // Before the poller ever starts, so the cycle's reloads stay cheap.
    m_liveState = std::make_unique<LiveStateFeed>(engine, *m_events, *m_folders, *m_devices, m_services.clock);
    m_team = std::make_unique<TeamPropagation>(engine, *m_devices, *m_projects, *m_preferences, *m_nasNode,
                                               *m_services.keychain, m_services.paths, m_services.clock);

    connect(m_events.get(), &EventController::streamGap, this, [this] { m_pendingDue = true; });
    connect(m_folders.get(), &FolderController::foldersChanged, m_directoryTimes.get(), [this] {
        QStringList ids;
        for (const SyncFolder &folder : m_folders->folders())
            ids.append(folder.id);
        m_directoryTimes->setFolders(ids);
    });
    connect(m_team.get(), &TeamPropagation::clusterStoreChanged, this, &AppEnvironment::watchTeamFolder);
    connect(&m_teamFolderWatch, &QFileSystemWatcher::directoryChanged, this, [this] { m_teamRecordDue = true; });
    connect(m_projects.get(), &ProjectController::projectsChanged, this, &AppEnvironment::noteProjectsChanged);
    connect(m_preferences.get(), &AppPreferences::autoJoinNodeChanged, m_projects.get(),
            [this] { m_projects->setJoinsTeamDevices(m_preferences->autoJoinNode()); });
    connect(m_pathLookUps.get(), &PathLookUps::lateAnswer, this, &AppEnvironment::noteLateAnswer);
    connect(m_creationDates.get(), &CreationDateController::attributesWritten, this,
            &AppEnvironment::noteDatesWritten);
    // "Pause all" pauses the engine folders and leaves the records as they
    // are; the engine controller keeps the choice in the engine's run policy
    // from its start on, so it holds from the first pass. After "Resume", or
    // a change of everything that failed part-way, a pass brings every
    // folder of the records to the choice in force at once rather than at
    // the next sweep.
    connect(m_engineState.get(), &EngineController::allPausedApplied, this, [this](bool paused, bool failed) {
        if ((!paused || failed) && !m_quitting)
            detach(m_projects->reconcileAll());
    });
    // A full read decodes every folder's list and status at once.
    connect(m_folders.get(), &FolderController::fullReadFinished, this, [] { HeapTrim::request(); });
    gatherStateChanges();
}

void AppEnvironment::gatherStateChanges()
{
    m_stateChangeTimer.setSingleShot(true);
    m_stateChangeTimer.setInterval(0);
    connect(&m_stateChangeTimer, &QTimer::timeout, this, &AppEnvironment::stateChanged);
    const QMetaMethod note = metaObject()->method(metaObject()->indexOfSlot("noteStateChange()"));
    const QMetaMethod told = QMetaMethod::fromSignal(&AppEnvironment::stateChanged);
    // Every change signal, property or not, so a property added later is
    // observed without a line here.
    const QList<QObject *> sources = {this,          m_engineState.get(), m_folders.get(), m_devices.get(),
                                      m_projects.get(), m_events.get(),   m_preferences.get(), m_nasNode.get(),
                                      m_peerDiag.get(), m_eta.get(),      m_team.get(),    m_diagServer.get()};
    for (QObject *source : sources) {
        const QMetaObject *meta = source->metaObject();
        for (int i = QObject::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
            const QMetaMethod signal = meta->method(i);
            if (signal.methodType() == QMetaMethod::Signal && signal.name().endsWith("Changed") && signal != told)
                connect(source, signal, this, note);
        }
    }
}

void AppEnvironment::noteStateChange()
{
    if (!m_stateChangeTimer.isActive())
        m_stateChangeTimer.start();
}

AppEnvironment::~AppEnvironment()
{
    stopLoops();
}

ClusterConfigStore *AppEnvironment::clusterStore() const
{
    return m_team->clusterStore();
}

QList<AppEnvironment::PeerHost> AppEnvironment::connectedPeerHosts() const
{
    const QSet<QString> nodes = m_nasNode->deviceIDs();
    QList<PeerHost> hosts;
    for (const SyncDevice &device : m_devices->devices()) {
        if (device.id == m_devices->localDeviceID() || nodes.contains(device.id))
            continue;
        const std::optional<DeviceConnection> connection = m_devices->connection(device.id);
        if (!connection)
            continue;
        if (const std::optional<QString> host = DirectConnection::hostOf(*connection))
            hosts.append({device.id, *host});
    }
    return hosts;
}

QStringList AppEnvironment::syncedFolderPaths() const
{
    QStringList paths;
    for (const Project &project : m_projects->projects())
        for (const ProjectFolder &folder : project.folders)
            if (folder.syncEnabled)
                paths.append(folder.localPath);
    return paths;
}

void AppEnvironment::setPendingInvite(std::optional<Invite> invite)
{
    if (invite && linkWaits(*invite, m_pendingInvite))
        return;
    assignIfChanged(m_pendingInvite, std::move(invite), this, &AppEnvironment::pendingInviteChanged);
    if (!m_pendingInvite)
        giveNextLinkItsTurn();
}

void AppEnvironment::setPendingNodeSetup(std::optional<NodeSetupPayload> payload)
{
    if (payload && linkWaits(*payload, m_pendingNodeSetup))
        return;
    assignIfChanged(m_pendingNodeSetup, std::move(payload), this, &AppEnvironment::pendingNodeSetupChanged);
    if (!m_pendingNodeSetup)
        giveNextLinkItsTurn();
}

// The same link opened again while its sheet is due is that sheet.
template <typename Link>
bool AppEnvironment::linkWaits(const Link &link, const std::optional<Link> &sameKind)
{
    if (!m_pendingInvite && !m_pendingNodeSetup)
        return false;
    if (sameKind != link)
        m_waitingLinks.push(link);
    return true;
}

void AppEnvironment::giveNextLinkItsTurn()
{
    if (m_pendingInvite || m_pendingNodeSetup)
        return;
    std::optional<LinkQueue::Link> next = m_waitingLinks.takeFirst();
    if (!next)
        return;
    if (Invite *invite = std::get_if<Invite>(&*next))
        setPendingInvite(std::move(*invite));
    else
        setPendingNodeSetup(std::get<NodeSetupPayload>(std::move(*next)));
}

QList<AppEnvironment::PeerDevice> AppEnvironment::knownPeerDevices() const
{
    const QSet<QString> nodes = m_nasNode->deviceIDs();
    QList<PeerDevice> peers;
    for (const SyncDevice &device : m_devices->devices())
        if (!device.isThisDevice && !nodes.contains(device.id))
            peers.append({device.id, device.name});
    return peers;
}

HealthInputs AppEnvironment::healthInputs() const
{
    return HealthInputs{
        .engineRunning = m_engineState->status().isRunning,
        .allPaused = m_engineState->isAllPaused(),
        .deviceName = m_engineState->deviceName(),
        .localDeviceID = m_devices->localDeviceID(),
        .engineFolders = m_folders->folders(),
        .folderStatuses = m_folders->statuses(),
        .unreadStatuses = m_folders->unreadStatuses(),
        .connections = m_devices->connections(),
        .devices = m_devices->devices(),
        .completion = m_events->completion(),
        .participants = m_events->participants(),
        .peerReports = m_peerDiag->peerStatus(),
        .projects = m_projects->projects(),
        .nodeDeviceIDs = m_nasNode->deviceIDs(),
        .volumeOnline = m_volumeOnline,
    };
}

void AppEnvironment::installMembershipHook()
{
    m_team->installMembershipHook();
}

QCoro::Task<void> AppEnvironment::applyClusterSync()
{
    step("applyClusterSync");
    co_await m_team->applyClusterSync();
}

QCoro::Task<void> AppEnvironment::syncCluster()
{
    m_teamRecordDue = false;
    co_await m_team->syncCluster();
}

void AppEnvironment::watchTeamFolder()
{
    if (!m_teamFolderWatch.directories().isEmpty())
        m_teamFolderWatch.removePaths(m_teamFolderWatch.directories());
    m_teamRecordDue = true;
    if (ClusterConfigStore *store = clusterStore()) {
        store->ensureFolderExists();
        m_teamFolderWatch.addPath(store->folderPath());
    }
}

void AppEnvironment::step(const char *name) const
{
    if (m_stepObserver)
        m_stepObserver(QString::fromLatin1(name));
}

} // namespace tw
