#include "engine/iroh/IrohEngine.h"

#include <type_traits>

namespace tw {
namespace {

const QString displayName = QStringLiteral("iroh (Vantor)");

// Fails when awaited, not when called, like every engine operation.
template <typename T>
QCoro::Task<T> notImplemented(QString operation)
{
    throw SyncEngineError::notImplemented(QStringLiteral("iroh engine: ") + operation);
    if constexpr (std::is_void_v<T>)
        co_return;
    else
        co_return T{};
}

template <typename T>
QCoro::Task<T> answer(T value)
{
    co_return value;
}

QCoro::Task<void> nothing() { co_return; }

} // namespace

QString IrohEngine::engineName() const { return displayName; }

// Lifecycle

QCoro::Task<void> IrohEngine::start() { return notImplemented<void>(QStringLiteral("start")); }
QCoro::Task<void> IrohEngine::stop() { return nothing(); }
QCoro::Task<void> IrohEngine::resetDatabase() { return notImplemented<void>(QStringLiteral("resetDatabase")); }

QCoro::Task<EngineStatus> IrohEngine::status()
{
    return answer(EngineStatus{false, std::nullopt, QStringLiteral("The iroh engine is not active yet."), displayName});
}

// Identity

QCoro::Task<QString> IrohEngine::localDeviceID() { return notImplemented<QString>(QStringLiteral("localDeviceID")); }
QCoro::Task<QString> IrohEngine::localDeviceName() { return notImplemented<QString>(QStringLiteral("localDeviceName")); }
QCoro::Task<void> IrohEngine::setLocalDeviceName(QString)
{
    return notImplemented<void>(QStringLiteral("setLocalDeviceName"));
}

// Folders, ignores, browsing

QCoro::Task<QList<SyncFolder>> IrohEngine::folders()
{
    return notImplemented<QList<SyncFolder>>(QStringLiteral("folders"));
}
QCoro::Task<SyncFolder> IrohEngine::addFolder(NewFolderRequest)
{
    return notImplemented<SyncFolder>(QStringLiteral("addFolder"));
}
QCoro::Task<void> IrohEngine::removeFolder(QString) { return notImplemented<void>(QStringLiteral("removeFolder")); }
QCoro::Task<QStringList> IrohEngine::ignorePatterns(QString)
{
    return notImplemented<QStringList>(QStringLiteral("ignorePatterns"));
}
QCoro::Task<void> IrohEngine::updateIgnorePatterns(QString, QStringList)
{
    return notImplemented<void>(QStringLiteral("updateIgnorePatterns"));
}
QCoro::Task<QList<BrowseEntry>> IrohEngine::browse(QString, QString)
{
    return notImplemented<QList<BrowseEntry>>(QStringLiteral("browse"));
}
QCoro::Task<void> IrohEngine::setFolderMetadata(QString, bool)
{
    return notImplemented<void>(QStringLiteral("setFolderMetadata"));
}
QCoro::Task<void> IrohEngine::setVersioning(QString, VersioningPolicy)
{
    return notImplemented<void>(QStringLiteral("setVersioning"));
}
QCoro::Task<void> IrohEngine::setFolderPaused(QString, bool)
{
    return notImplemented<void>(QStringLiteral("setFolderPaused"));
}
QCoro::Task<void> IrohEngine::setFolderLabel(QString, QString)
{
    return notImplemented<void>(QStringLiteral("setFolderLabel"));
}
QCoro::Task<void> IrohEngine::changeFolder(SyncFolder, FolderChange)
{
    return notImplemented<void>(QStringLiteral("changeFolder"));
}
QCoro::Task<QString> IrohEngine::folderType(QString) { return answer(QStringLiteral("sendreceive")); }
QCoro::Task<void> IrohEngine::setFolderType(QString, QString)
{
    return notImplemented<void>(QStringLiteral("setFolderType"));
}
QCoro::Task<void> IrohEngine::rescanFolder(QString) { return notImplemented<void>(QStringLiteral("rescanFolder")); }
QCoro::Task<void> IrohEngine::scanFolder(QString) { return nothing(); }
QCoro::Task<void> IrohEngine::scanPaths(QString, QStringList) { return nothing(); }
QCoro::Task<void> IrohEngine::scanAllFolders() { return nothing(); }
QCoro::Task<void> IrohEngine::applySyncedXattrFilter(QString) { return nothing(); }
QCoro::Task<std::optional<qint64>> IrohEngine::directoryModified(QString, QString)
{
    return answer(std::optional<qint64>());
}
QCoro::Task<QHash<QString, qint64>> IrohEngine::directoryTimes(QString)
{
    return answer(QHash<QString, qint64>());
}

// Versioning and archive

QCoro::Task<QList<ArchivedVersion>> IrohEngine::archivedVersions(QString)
{
    return notImplemented<QList<ArchivedVersion>>(QStringLiteral("archivedVersions"));
}
QCoro::Task<void> IrohEngine::restoreArchived(QString, QString, QString)
{
    return notImplemented<void>(QStringLiteral("restoreArchived"));
}
QCoro::Task<void> IrohEngine::restoreArchivedBatch(QString, QMap<QString, QString>)
{
    return notImplemented<void>(QStringLiteral("restoreArchivedBatch"));
}

// Status and completion

QCoro::Task<FolderStatus> IrohEngine::folderStatus(QString)
{
    return notImplemented<FolderStatus>(QStringLiteral("folderStatus"));
}
QCoro::Task<QMap<QString, ClusterNeed>> IrohEngine::clusterNeeds() { return answer(QMap<QString, ClusterNeed>()); }
QCoro::Task<double> IrohEngine::deviceCompletion(QString, QString)
{
    return notImplemented<double>(QStringLiteral("deviceCompletion"));
}
QCoro::Task<PeerCompletion> IrohEngine::peerCompletion(QString, QString)
{
    return notImplemented<PeerCompletion>(QStringLiteral("peerCompletion"));
}
QCoro::Task<std::optional<QString>> IrohEngine::currentTransferName(QString)
{
    return answer(std::optional<QString>());
}

// Devices, sharing, pending offers

QCoro::Task<QList<SyncDevice>> IrohEngine::devices()
{
    return notImplemented<QList<SyncDevice>>(QStringLiteral("devices"));
}
QCoro::Task<SyncDevice> IrohEngine::addDevice(NewDeviceRequest)
{
    return notImplemented<SyncDevice>(QStringLiteral("addDevice"));
}
QCoro::Task<void> IrohEngine::setDevicePaused(QString, bool)
{
    return notImplemented<void>(QStringLiteral("setDevicePaused"));
}
QCoro::Task<void> IrohEngine::setDeviceIntroducer(QString, bool)
{
    return notImplemented<void>(QStringLiteral("setDeviceIntroducer"));
}
QCoro::Task<QList<DeviceConnection>> IrohEngine::connections()
{
    return notImplemented<QList<DeviceConnection>>(QStringLiteral("connections"));
}
QCoro::Task<void> IrohEngine::shareFolder(QString, QString) { return notImplemented<void>(QStringLiteral("shareFolder")); }
QCoro::Task<void> IrohEngine::unshareFolder(QString, QString)
{
    return notImplemented<void>(QStringLiteral("unshareFolder"));
}
QCoro::Task<QList<PendingDevice>> IrohEngine::pendingDevices()
{
    return notImplemented<QList<PendingDevice>>(QStringLiteral("pendingDevices"));
}
QCoro::Task<QList<PendingFolder>> IrohEngine::pendingFolders()
{
    return notImplemented<QList<PendingFolder>>(QStringLiteral("pendingFolders"));
}
QCoro::Task<void> IrohEngine::dismissPendingDevice(QString)
{
    return notImplemented<void>(QStringLiteral("dismissPendingDevice"));
}
QCoro::Task<void> IrohEngine::dismissPendingFolder(QString, QString)
{
    return notImplemented<void>(QStringLiteral("dismissPendingFolder"));
}
QCoro::Task<void> IrohEngine::setAllPaused(bool) { return notImplemented<void>(QStringLiteral("setAllPaused")); }

// Network and bandwidth

QCoro::Task<NetworkSettings> IrohEngine::networkSettings()
{
    return notImplemented<NetworkSettings>(QStringLiteral("networkSettings"));
}
QCoro::Task<void> IrohEngine::applyNetworkSettings(NetworkSettings)
{
    return notImplemented<void>(QStringLiteral("applyNetworkSettings"));
}
QCoro::Task<void> IrohEngine::setGlobalBandwidth(qint64, qint64)
{
    return notImplemented<void>(QStringLiteral("setGlobalBandwidth"));
}
QCoro::Task<CumulativeBytes> IrohEngine::cumulativeBytes() { return answer(CumulativeBytes{0, 0}); }

// Events

QCoro::Task<QList<SyncEvent>> IrohEngine::events(qint64) { return answer(QList<SyncEvent>()); }

// Diagnostics

QCoro::Task<QString> IrohEngine::diagnosticsReport()
{
    return answer(QStringLiteral("iroh backend \u2014 diagnostics not available yet."));
}
QCoro::Task<QList<FolderDiagStatus>> IrohEngine::diagnosticsStatus() { return answer(QList<FolderDiagStatus>()); }
QCoro::Task<QMap<QString, QString>> IrohEngine::recentFolderErrors() { return answer(QMap<QString, QString>()); }
QCoro::Task<bool> IrohEngine::isPairedDevice(QString) { return answer(false); }

} // namespace tw
