#include "app/AppEnvironment.h"

#include "app/AppPreferences.h"
#include "cluster/NasNodeController.h"
#include "app/TeamPropagation.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/DirectoryTimeKeeper.h"
#include "controllers/EventController.h"
#include "controllers/FolderController.h"
#include "controllers/PeerDiagController.h"
#include "creationdates/CreationDateController.h"
#include "platform/HeapTrim.h"
#include "engine/SyncEngine.h"
#include "projects/ProjectController.h"
#include "services/FeedbackService.h"

namespace tw {

QCoro::Task<void> AppEnvironment::bootstrap()
{
    step("startQueue");
    m_services.feedback->startQueue();
    step("installMembershipHook");
    installMembershipHook();
    // The node keys and the team key are cached before anything signs or
    // shares; a keychain that cannot be reached leaves them unset and says so
    // in the node controller's error, and start-up goes on.
    co_await m_nasNode->migrateLegacyKey();
    // Not awaited: a node that is away must not hold up the start.
    m_nasNode->resumeUnfinishedBounces();
    co_await m_engineState->start();
    co_await m_engineState->loadNetwork();
    QString name;
    try {
        name = co_await m_engine.localDeviceName();
    } catch (...) {
    }
    m_engineState->storeDeviceName(name);
    co_await refreshVolumeStatus();
    if (m_engineState->status().isRunning)
        co_await bootstrapWithEngine();
    co_await requestNotificationPermission();
    setNotificationBaselines();
    m_bootstrapped = true;
    // The start-up reconcile and the first full reads peak far above what
    // the application keeps.
    HeapTrim::request();
}

QCoro::Task<void> AppEnvironment::bootstrapWithEngine()
{
    co_await m_devices->refresh();
    co_await m_projects->resumeUnfinishedBounces();
    if (m_projects->hasWork())
        co_await m_projects->reconcileAll();
    co_await m_folders->refresh();
    co_await m_projects->refreshPending();
    co_await onEngineUp();
    // Just read; the gap of the poller's own start does not call for more.
    m_pendingDue = false;
}

QCoro::Task<void> AppEnvironment::onEngineUp()
{
    if (m_quitting)
        co_return;
    step("onEngineUp");
    installEventHooks();
    // A restarted engine numbers its events from 1 again.
    m_events->start();
    m_pendingDue = true;
    m_teamRecordDue = true;
    co_await seedCompletion();
    m_creationDates->watch(syncedFolderPaths());
    co_await healStuckSendonly();
    applyDiagServer();
    co_await applyClusterSync();
    if (!m_bootstrapped || m_preferences->lanDiagnostics())
        co_await readPeers();
    co_await refreshPeerCompletion();
}

QCoro::Task<void> AppEnvironment::readPeers()
{
    step("readPeers");
    QList<PeerDiagController::Peer> peers = peerList();
    QString localID = m_devices->localDeviceID();
    co_await m_peerDiag->refresh(std::move(peers), std::move(localID));
}

QList<PeerDiagController::Peer> AppEnvironment::peerList() const
{
    QList<PeerDiagController::Peer> peers;
    for (const PeerHost &peer : connectedPeerHosts())
        peers.append({peer.deviceID, peer.host});
    return peers;
}

void AppEnvironment::installEventHooks()
{
    if (m_hooksInstalled)
        return;
    m_hooksInstalled = true;
    const QPointer<AppEnvironment> self(this);
    m_events->setOnPending([self] {
        if (self)
            self->m_projects->refreshPending();
    });
    m_events->setOnDeviceChange([self] {
        if (self)
            self->m_devices->refreshConnections();
    });
    m_directoryTimes->setOwnDeviceLookup([self] { return self ? self->m_devices->localDeviceID() : QString(); });
    m_directoryTimes->setFolderLookup([self](const QString &folderID) -> std::optional<DirectoryTimeKeeper::Folder> {
        if (!self)
            return std::nullopt;
        for (const SyncFolder &folder : self->m_folders->folders())
            if (folder.id == folderID)
                return DirectoryTimeKeeper::Folder{.root = folder.path,
                                                   .sendReceive = folder.mode == FolderSyncMode::SendReceive,
                                                   .carries = folder.syncMetadata,
                                                   .online = self->folderOnline(folder.path)};
        return std::nullopt;
    });
}

} // namespace tw
