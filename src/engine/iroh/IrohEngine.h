#pragma once

#include "engine/SyncEngine.h"

namespace tw {

// A second engine behind the same interface, reserved for iroh. It is never
// constructed by the application: every operation fails at once as not
// implemented or answers a fixed neutral value, and none touches the network,
// files or processes. It keeps no state, so no answer depends on earlier calls.
class IrohEngine : public SyncEngine
{
    Q_OBJECT
public:
    using SyncEngine::SyncEngine;

    QString engineName() const override;

    QCoro::Task<void> start() override;
    QCoro::Task<void> stop() override;
    QCoro::Task<void> resetDatabase() override;
    QCoro::Task<EngineStatus> status() override;

    QCoro::Task<QString> localDeviceID() override;
    QCoro::Task<QString> localDeviceName() override;
    QCoro::Task<void> setLocalDeviceName(QString name) override;

    QCoro::Task<QList<SyncFolder>> folders() override;
    QCoro::Task<SyncFolder> addFolder(NewFolderRequest request) override;
    QCoro::Task<void> removeFolder(QString id) override;
    QCoro::Task<QStringList> ignorePatterns(QString folderID) override;
    QCoro::Task<void> updateIgnorePatterns(QString folderID, QStringList patterns) override;
    QCoro::Task<QList<BrowseEntry>> browse(QString folderID, QString prefix) override;
    QCoro::Task<void> setFolderMetadata(QString folderID, bool enabled) override;
    QCoro::Task<void> setVersioning(QString folderID, VersioningPolicy policy) override;
    QCoro::Task<void> setFolderPaused(QString id, bool paused) override;
    QCoro::Task<void> setFolderLabel(QString id, QString label) override;
    QCoro::Task<QString> folderType(QString id) override;
    QCoro::Task<void> setFolderType(QString id, QString type) override;
    QCoro::Task<void> rescanFolder(QString id) override;
    QCoro::Task<void> scanFolder(QString id) override;
    QCoro::Task<void> scanPaths(QString id, QStringList paths) override;
    QCoro::Task<void> scanAllFolders() override;
    QCoro::Task<void> applySyncedXattrFilter(QString folderID) override;
    QCoro::Task<void> changeFolder(SyncFolder listed, FolderChange change) override;
    QCoro::Task<std::optional<qint64>> directoryModified(QString folderID, QString path) override;
    QCoro::Task<QHash<QString, qint64>> directoryTimes(QString folderID) override;

    QCoro::Task<QList<ArchivedVersion>> archivedVersions(QString folderID) override;
    QCoro::Task<void> restoreArchived(QString folderID, QString path, QString versionTime) override;
    QCoro::Task<void> restoreArchivedBatch(QString folderID, QMap<QString, QString> mapping) override;

    QCoro::Task<FolderStatus> folderStatus(QString id) override;
    QCoro::Task<QMap<QString, ClusterNeed>> clusterNeeds() override;
    QCoro::Task<double> deviceCompletion(QString folderID, QString deviceID) override;
    QCoro::Task<PeerCompletion> peerCompletion(QString folderID, QString deviceID) override;
    QCoro::Task<std::optional<QString>> currentTransferName(QString folderID) override;

    QCoro::Task<QList<SyncDevice>> devices() override;
    QCoro::Task<SyncDevice> addDevice(NewDeviceRequest request) override;
    QCoro::Task<void> setDevicePaused(QString deviceID, bool paused) override;
    QCoro::Task<void> setDeviceIntroducer(QString deviceID, bool introducer) override;
    QCoro::Task<QList<DeviceConnection>> connections() override;
    QCoro::Task<void> shareFolder(QString folderID, QString deviceID) override;
    QCoro::Task<void> unshareFolder(QString folderID, QString deviceID) override;
    QCoro::Task<QList<PendingDevice>> pendingDevices() override;
    QCoro::Task<QList<PendingFolder>> pendingFolders() override;
    QCoro::Task<void> dismissPendingDevice(QString id) override;
    QCoro::Task<void> dismissPendingFolder(QString folderID, QString fromDeviceID) override;
    QCoro::Task<void> setAllPaused(bool paused) override;

    QCoro::Task<NetworkSettings> networkSettings() override;
    QCoro::Task<void> applyNetworkSettings(NetworkSettings settings) override;
    QCoro::Task<void> setGlobalBandwidth(qint64 downKbps, qint64 upKbps) override;
    QCoro::Task<CumulativeBytes> cumulativeBytes() override;

    QCoro::Task<QList<SyncEvent>> events(qint64 since) override;

    QCoro::Task<QString> diagnosticsReport() override;
    QCoro::Task<QList<FolderDiagStatus>> diagnosticsStatus() override;
    QCoro::Task<QMap<QString, QString>> recentFolderErrors() override;
    QCoro::Task<bool> isPairedDevice(QString deviceID) override;
};

} // namespace tw
