#include "app/TeamPropagation.h"

#include "app/AppPreferences.h"
#include "cluster/NasNodeController.h"
#include "controllers/DeviceController.h"
#include "engine/SyncEngine.h"
#include "engine/model/FolderChange.h"
#include "engine/model/NewFolderRequest.h"
#include "platform/Keychain.h"
#include "projects/ProjectController.h"
#include "utilities/AssignIfChanged.h"

#include <QScopeGuard>
#include <algorithm>

namespace tw {

namespace {

const QString &prefix() { return NasNodeController::clusterFolderPrefix; }

QCoro::Task<void> nothingToDo() { co_return; }

NewFolderRequest teamFolderRequest(const QString &id, const QString &path)
{
    return {.id = id,
            .label = TeamPropagation::folderLabel,
            .path = path,
            .mode = FolderSyncMode::SendReceive,
            .ignorePatterns = {},
            .versioning = VersioningPolicy::none(),
            .syncMetadata = false};
}

QStringList sharedDevicesOf(const QList<SyncFolder> &folders, const QString &id)
{
    const auto found = std::find_if(folders.cbegin(), folders.cend(),
                                    [&id](const SyncFolder &folder) { return folder.id == id; });
    return found == folders.cend() ? QStringList() : found->sharedDeviceIDs;
}

bool holdsFolder(const QList<SyncFolder> &folders, const QString &id)
{
    return std::any_of(folders.cbegin(), folders.cend(), [&id](const SyncFolder &folder) { return folder.id == id; });
}

} // namespace

TeamPropagation::TeamPropagation(SyncEngine &engine, DeviceController &devices, ProjectController &projects,
                                 AppPreferences &preferences, NasNodeController &nasNode, Keychain &keychain,
                                 AppPaths paths, Clock clock, QObject *parent)
    : QObject(parent),
      m_engine(engine),
      m_devices(devices),
      m_projects(projects),
      m_preferences(preferences),
      m_nasNode(nasNode),
      m_keychain(keychain),
      m_paths(std::move(paths)),
      m_clock(std::move(clock))
{
    connect(&m_devices, &DeviceController::localDeviceIDChanged, this, &TeamPropagation::onLocalDeviceIDChanged);
}

QCoro::Task<void> TeamPropagation::applyClusterSync()
{
    // The hook asks on every member change; runs must not interleave, or an
    // older run could publish its store after a newer one.
    if (m_applying) {
        m_rerunRequested = true;
        co_return;
    }
    m_applying = true;
    const QPointer<TeamPropagation> self(this);
    const auto release = qScopeGuard([self] {
        if (self)
            self->m_applying = false;
    });
    do {
        m_rerunRequested = false;
        co_await applyOnce();
        if (!self)
            co_return;
    } while (m_rerunRequested);
}

QCoro::Task<void> TeamPropagation::applyOnce()
{
    // Every cell this Mac signed would carry an empty author and count
    // nowhere; wait for the ID rather than tear anything down.
    if (m_devices.localDeviceID().isEmpty()) {
        m_awaitingDeviceID = true;
        co_return;
    }
    m_awaitingDeviceID = false;
    const QPointer<TeamPropagation> self(this);
    const Settings settings = co_await readSettings();
    if (!self || !settings.readable)
        co_return;
    if (settings.key) {
        co_await startWithKey(*settings.key);
        co_return;
    }
    setClusterStore(nullptr);
    co_await removeStaleClusterFolders(std::nullopt);
}

QCoro::Task<TeamPropagation::Settings> TeamPropagation::readSettings()
{
    Settings settings{.readable = true, .key = std::nullopt};
    if (!m_preferences.clusterSyncEnabled()) {
        setLastErrorMessage(std::nullopt);
        co_return settings;
    }
    const QPointer<TeamPropagation> self(this);
    try {
        const std::optional<QString> key = co_await m_keychain.get(NasNodeController::clusterSecretAccount);
        if (key && !key->isEmpty())
            settings.key = key;
    } catch (const std::exception &) {
        // A locked keychain is no missing key: nothing may be removed on it.
        settings.readable = false;
    }
    if (!self)
        co_return settings;
    if (settings.readable)
        setLastErrorMessage(std::nullopt);
    else
        setLastErrorMessage(NasNodeController::keychainUnavailableText);
    co_return settings;
}

QCoro::Task<void> TeamPropagation::startWithKey(QString key)
{
    const QString folderID = ClusterConfig::clusterFolderID(key);
    const QPointer<TeamPropagation> self(this);
    co_await removeStaleClusterFolders(folderID);
    if (!self)
        co_return;
    // Reloaded before anyone can see it: an edit on an empty record would
    // otherwise rest on nothing of what the team wrote.
    auto store = std::make_shared<ClusterConfigStore>(m_paths.clusterFolder(), folderID.mid(prefix().size()),
                                                      m_devices.localDeviceID(), key);
    store->ensureFolderExists();
    co_await ClusterConfigStore::reloadInBackground(store);
    if (!self)
        co_return;
    setClusterStore(std::move(store));
    co_await ensureClusterFolderShared(folderID, m_paths.clusterFolder());
    if (self)
        co_await syncCluster();
}

QCoro::Task<void> TeamPropagation::syncCluster()
{
    const std::shared_ptr<ClusterConfigStore> store = m_clusterStore;
    if (!store)
        co_return;
    // Whatever a teammate put into the team folder is read off the main
    // thread.
    const QPointer<TeamPropagation> self(this);
    const ClusterConfig config = co_await ClusterConfigStore::reloadInBackground(store);
    if (!self || store != m_clusterStore)
        co_return;
    if (m_projects.applyClusterCells(config))
        co_await m_projects.reconcileAll();
}

void TeamPropagation::installMembershipHook()
{
    // A plain lambda: a coroutine lambda's captures would die with it while
    // its frame still runs.
    const QPointer<TeamPropagation> self(this);
    m_projects.setMembersDidChange([self](QStringList folderIDs, QString deviceID, CellState state) {
        return self ? self->recordMembership(std::move(folderIDs), std::move(deviceID), state) : nothingToDo();
    });
}

QCoro::Task<void> TeamPropagation::recordMembership(QStringList folderIDs, QString deviceID, CellState state)
{
    // All edits land before the first suspension, under one time text.
    if (m_clusterStore) {
        const QString wallclock = m_clock().toUTC().toString(Qt::ISODate);
        for (const QString &folderID : folderIDs)
            m_clusterStore->recordEdit(folderID, deviceID, state, wallclock);
    }
    co_await applyClusterSync();
}

// Every helper below checks that the propagation still exists after each
// await: a run may be under way when the application quits.
QCoro::Task<void> TeamPropagation::removeStaleClusterFolders(std::optional<QString> keeping)
{
    const QPointer<TeamPropagation> self(this);
    const std::optional<QList<SyncFolder>> folders = co_await listFolders();
    if (!self || !folders)
        co_return;
    for (const SyncFolder &folder : *folders) {
        if (!folder.id.startsWith(prefix()) || folder.id == keeping)
            continue;
        try {
            co_await m_engine.removeFolder(folder.id);
        } catch (const std::exception &) {
        }
        if (!self)
            co_return;
        co_await deleteOnNodes(folder.id);
        if (!self)
            co_return;
    }
}

QCoro::Task<void> TeamPropagation::deleteOnNodes(QString folderID)
{
    const QPointer<TeamPropagation> self(this);
    const QList<NasNode> nodes = m_nasNode.nodes();
    for (const NasNode &node : nodes) {
        std::optional<QString> key;
        try {
            key = co_await m_keychain.get(NasNodeController::keyAccount(node.deviceID));
        } catch (const std::exception &) {
            continue;
        }
        if (!self)
            co_return;
        if (key)
            co_await m_nasNode.deleteFolder(node, *key, folderID);
        if (!self)
            co_return;
    }
}

QCoro::Task<void> TeamPropagation::ensureClusterFolderShared(QString id, QString path)
{
    const QPointer<TeamPropagation> self(this);
    const QStringList peers = peerSet();
    co_await shareOnEngine(id, path, peers);
    if (!self || m_nasNode.nodes().isEmpty())
        co_return;
    QMap<QString, NodeFolderShare> wanted;
    wanted.insert(id, NodeFolderShare{.label = folderLabel, .members = QStringList{m_devices.localDeviceID()} + peers});
    co_await m_nasNode.shareFolders(wanted);
}

QCoro::Task<void> TeamPropagation::shareOnEngine(QString id, QString path, QStringList peers)
{
    const QPointer<TeamPropagation> self(this);
    const std::optional<QList<SyncFolder>> before = co_await listFolders();
    if (!self)
        co_return;
    // "Pause all" holds for the team folder as for every other: the pause
    // of everything covers it, and a process that ended half-way through
    // pausing or resuming everything may have left it otherwise.
    if (!before || !holdsFolder(*before, id)) {
        try {
            co_await m_engine.addFolder(teamFolderRequest(id, path));
        } catch (const std::exception &) {
        }
    } else {
        co_await matchAllPaused(*before, id);
    }
    for (const QString &peer : peers) {
        if (!self)
            co_return;
        try {
            co_await m_engine.shareFolder(id, peer);
        } catch (const std::exception &) {
        }
    }
    if (!self)
        co_return;
    const std::optional<QList<SyncFolder>> after = co_await listFolders();
    if (!self)
        co_return;
    const QStringList shared = after ? sharedDevicesOf(*after, id) : QStringList();
    const QString own = m_devices.localDeviceID();
    for (const QString &device : shared) {
        if (!self)
            co_return;
        if (peers.contains(device) || device == own)
            continue;
        try {
            co_await m_engine.unshareFolder(id, device);
        } catch (const std::exception &) {
        }
    }
}

QCoro::Task<void> TeamPropagation::matchAllPaused(QList<SyncFolder> listed, QString id)
{
    const auto found = std::find_if(listed.cbegin(), listed.cend(),
                                    [&id](const SyncFolder &folder) { return folder.id == id; });
    const bool paused = m_projects.isAllPaused();
    if (found == listed.cend() || found->isPaused == paused)
        co_return;
    FolderChange change;
    change.paused = paused;
    try {
        co_await m_engine.changeFolder(*found, change);
    } catch (const std::exception &) {
    }
}

QCoro::Task<std::optional<QList<SyncFolder>>> TeamPropagation::listFolders()
{
    try {
        const QList<SyncFolder> folders = co_await m_engine.folders();
        co_return std::optional(folders);
    } catch (const std::exception &) {
    }
    co_return std::nullopt;
}

QStringList TeamPropagation::peerSet() const
{
    QSet<QString> peers = m_nasNode.deviceIDs();
    for (const Project &project : m_projects.projects())
        for (const ProjectMember &member : project.members)
            peers.insert(member.deviceID);
    peers.remove(QString());
    peers.remove(m_devices.localDeviceID());
    QStringList sorted(peers.cbegin(), peers.cend());
    sorted.sort();
    return sorted;
}

void TeamPropagation::onLocalDeviceIDChanged()
{
    if (m_awaitingDeviceID && !m_devices.localDeviceID().isEmpty())
        applyDetached(QPointer<TeamPropagation>(this));
}

QCoro::Task<void> TeamPropagation::applyDetached(QPointer<TeamPropagation> self)
{
    try {
        if (self)
            co_await self->applyClusterSync();
    } catch (...) {
        // Nobody awaits this run: whatever it met ends here.
    }
}

void TeamPropagation::setClusterStore(std::shared_ptr<ClusterConfigStore> store)
{
    if (store == m_clusterStore)
        return;
    m_clusterStore = std::move(store);
    emit clusterStoreChanged();
}

void TeamPropagation::setLastErrorMessage(std::optional<QString> text)
{
    assignIfChanged(m_lastErrorMessage, std::move(text), this, &TeamPropagation::lastErrorMessageChanged);
}

} // namespace tw
