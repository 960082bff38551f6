#pragma once

#include "engine/model/ArchivedVersion.h"
#include "engine/model/BrowseEntry.h"
#include "engine/model/ClusterNeed.h"
#include "engine/model/CumulativeBytes.h"
#include "engine/model/DeviceConnection.h"
#include "engine/model/EngineStatus.h"
#include "engine/model/FolderChange.h"
#include "engine/model/FolderDiagStatus.h"
#include "engine/model/FolderStatus.h"
#include "engine/model/ItemOrigin.h"
#include "engine/model/NetworkSettings.h"
#include "engine/model/NewDeviceRequest.h"
#include "engine/model/NewFolderRequest.h"
#include "engine/model/PendingDevice.h"
#include "engine/model/PeerCompletion.h"
#include "engine/model/PendingFolder.h"
#include "engine/model/SyncDevice.h"
#include "engine/FolderRunPolicy.h"
#include "engine/SyncEngineError.h"
#include "engine/model/SyncEvent.h"
#include "engine/model/SyncFolder.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

#include <qcoro/qcorotask.h>

namespace tw {

// The one road to the sync engine. Everything else holds the engine only
// through this interface and never learns which engine stands behind it.
//
// Every operation but engineName() and cancelEvents() is a coroutine run on
// the main thread. Operations fail by throwing SyncEngineError (or
// PlatformError for a failed file or process call), except stop(), status(),
// directoryModified(), directoryTimes() and the four diagnostics operations,
// which never throw and answer a neutral value.
// The engine must outlive every task that awaits it.
class SyncEngine : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~SyncEngine() override = default;

    virtual QString engineName() const = 0;

    // What may run: every write that sets a folder's pause (a folder made,
    // a resume, a rescan, the pause or resume of everything) asks it as the
    // request goes out, and folder writes wait for the pause of everything.
    FolderRunPolicy &runPolicy() { return m_runPolicy; }
    const FolderRunPolicy &runPolicy() const { return m_runPolicy; }

    // Lifecycle
    virtual QCoro::Task<void> start() = 0;
    virtual QCoro::Task<void> stop() = 0;
    virtual QCoro::Task<void> resetDatabase() = 0;
    virtual QCoro::Task<EngineStatus> status() = 0;

    // Identity
    virtual QCoro::Task<QString> localDeviceID() = 0;
    virtual QCoro::Task<QString> localDeviceName() = 0;
    virtual QCoro::Task<void> setLocalDeviceName(QString name) = 0;

    // Folders, ignores, browsing
    virtual QCoro::Task<QList<SyncFolder>> folders() = 0;
    virtual QCoro::Task<SyncFolder> addFolder(NewFolderRequest request) = 0;
    virtual QCoro::Task<void> removeFolder(QString id) = 0;
    virtual QCoro::Task<QStringList> ignorePatterns(QString folderID) = 0;
    virtual QCoro::Task<void> updateIgnorePatterns(QString folderID, QStringList patterns) = 0;
    virtual QCoro::Task<QList<BrowseEntry>> browse(QString folderID, QString prefix) = 0;
    virtual QCoro::Task<void> setFolderMetadata(QString folderID, bool enabled) = 0;
    virtual QCoro::Task<void> setVersioning(QString folderID, VersioningPolicy policy) = 0;
    virtual QCoro::Task<void> setFolderPaused(QString id, bool paused) = 0;
    virtual QCoro::Task<void> setFolderLabel(QString id, QString label) = 0;
    virtual QCoro::Task<QString> folderType(QString id) = 0;
    virtual QCoro::Task<void> setFolderType(QString id, QString type) = 0;
    virtual QCoro::Task<void> rescanFolder(QString id) = 0;
    virtual QCoro::Task<void> scanFolder(QString id) = 0;
    // Scans only these items of a folder (paths below its root).
    virtual QCoro::Task<void> scanPaths(QString id, QStringList paths) = 0;
    // One request for every folder; answered once all are scanned.
    virtual QCoro::Task<void> scanAllFolders() = 0;
    virtual QCoro::Task<void> applySyncedXattrFilter(QString folderID) = 0;
    // Every change of one folder in one configuration write. `listed` is the
    // folder as folders() last answered it: the engine takes what it keeps
    // of each device from that answer instead of reading the list again.
    virtual QCoro::Task<void> changeFolder(SyncFolder listed, FolderChange change) = 0;
    // Whole seconds since 1970; absent when the engine has none. Never throws.
    virtual QCoro::Task<std::optional<qint64>> directoryModified(QString folderID, QString path) = 0;
    // The same for every directory the engine holds in the folder, by path
    // below its root, from one read; empty when it has none. Never throws.
    virtual QCoro::Task<QHash<QString, qint64>> directoryTimes(QString folderID) = 0;
    // Who changed an item of a folder; absent when the engine holds no
    // record of it or cannot tell. Never throws.
    virtual QCoro::Task<std::optional<ItemOrigin>> itemOrigin(QString folderID, QString path)
    {
        Q_UNUSED(folderID);
        Q_UNUSED(path);
        co_return std::nullopt;
    }

    // Versioning and archive
    virtual QCoro::Task<QList<ArchivedVersion>> archivedVersions(QString folderID) = 0;
    virtual QCoro::Task<void> restoreArchived(QString folderID, QString path, QString versionTime) = 0;
    virtual QCoro::Task<void> restoreArchivedBatch(QString folderID, QMap<QString, QString> mapping) = 0;

    // Status and completion
    virtual QCoro::Task<FolderStatus> folderStatus(QString id) = 0;
    virtual QCoro::Task<QMap<QString, ClusterNeed>> clusterNeeds() = 0;
    // A percentage from 0 to 100, not a fraction.
    virtual QCoro::Task<double> deviceCompletion(QString folderID, QString deviceID) = 0;
    // The same with the bytes the device still needs.
    virtual QCoro::Task<PeerCompletion> peerCompletion(QString folderID, QString deviceID) = 0;
    virtual QCoro::Task<std::optional<QString>> currentTransferName(QString folderID) = 0;

    // Devices, sharing, pending offers.
    // addDevice of a device that exists replaces it whole (paused flag,
    // addresses and rate limits reset): callers that only mean "make sure it
    // exists" check devices() first.
    virtual QCoro::Task<QList<SyncDevice>> devices() = 0;
    virtual QCoro::Task<SyncDevice> addDevice(NewDeviceRequest request) = 0;
    virtual QCoro::Task<void> setDevicePaused(QString deviceID, bool paused) = 0;
    // Changes only the device's introducer flag; its addresses, pause and
    // limits stay as they are.
    virtual QCoro::Task<void> setDeviceIntroducer(QString deviceID, bool introducer) = 0;
    virtual QCoro::Task<QList<DeviceConnection>> connections() = 0;
    virtual QCoro::Task<void> shareFolder(QString folderID, QString deviceID) = 0;
    virtual QCoro::Task<void> unshareFolder(QString folderID, QString deviceID) = 0;
    virtual QCoro::Task<QList<PendingDevice>> pendingDevices() = 0;
    virtual QCoro::Task<QList<PendingFolder>> pendingFolders() = 0;
    virtual QCoro::Task<void> dismissPendingDevice(QString id) = 0;
    virtual QCoro::Task<void> dismissPendingFolder(QString folderID, QString fromDeviceID) = 0;
    // Folder after folder, the first failure ending it; a resume resumes
    // only the folders the run policy lets run.
    virtual QCoro::Task<void> setAllPaused(bool paused) = 0;

    // Network and bandwidth
    virtual QCoro::Task<NetworkSettings> networkSettings() = 0;
    virtual QCoro::Task<void> applyNetworkSettings(NetworkSettings settings) = 0;
    virtual QCoro::Task<void> setGlobalBandwidth(qint64 downKbps, qint64 upKbps) = 0;
    virtual QCoro::Task<CumulativeBytes> cumulativeBytes() = 0;

    // Events: a long poll for the events after the given ID.
    virtual QCoro::Task<QList<SyncEvent>> events(qint64 since) = 0;
    // The changes the engine's scanner found on disk here, numbered apart
    // from events(), and held since the engine started; waits up to
    // waitSeconds for one. An engine that finds none answers none.
    virtual QCoro::Task<QList<SyncEvent>> diskEvents(qint64 since, int waitSeconds)
    {
        Q_UNUSED(since);
        Q_UNUSED(waitSeconds);
        co_return QList<SyncEvent>();
    }
    // Ends every events() poll in flight at once: each fails. For a poller
    // that stops or starts over, so that no batch of its old loop comes late.
    // Not a coroutine; an engine that answers at once has nothing to end.
    virtual void cancelEvents() {}

    // Diagnostics; none of these throws.
    virtual QCoro::Task<QString> diagnosticsReport() = 0;
    virtual QCoro::Task<QList<FolderDiagStatus>> diagnosticsStatus() = 0;
    virtual QCoro::Task<QMap<QString, QString>> recentFolderErrors() = 0;
    virtual QCoro::Task<bool> isPairedDevice(QString deviceID) = 0;

private:
    FolderRunPolicy m_runPolicy;
};

} // namespace tw
