#include "FakeSyncEngine.h"

#include "engine/model/FolderSyncMode.h"
#include "engine/PlatformError.h"

#include <stdexcept>

namespace tw {
namespace {

// QCoro's Task moves from an lvalue given to co_return; a member of `state`
// handed out that way would be emptied by the first read. Hand out copies.
template <typename T>
T copyOf(const T &value)
{
    return value;
}

QString text(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }
QString text(qint64 value) { return QString::number(value); }
QString text(const QStringList &list) { return QLatin1Char('[') + list.join(QStringLiteral(", ")) + QLatin1Char(']'); }

QStringList arguments(const NewFolderRequest &request)
{
    return {request.id.value_or(QStringLiteral("<new>")), request.label, request.path, text(request.ignorePatterns)};
}

SyncEngineError noSuchFolder(const QString &id)
{
    return SyncEngineError::http(404, QStringLiteral("No folder with given ID: ") + id);
}

} // namespace

QString FakeSyncEngine::Call::text() const
{
    return operation + QLatin1Char('(') + arguments.join(QStringLiteral(", ")) + QLatin1Char(')');
}

const QStringList &FakeSyncEngine::operationNames()
{
    static const QStringList names{
        "start", "stop", "resetDatabase", "status", "localDeviceID", "localDeviceName", "setLocalDeviceName",
        "folders", "addFolder", "removeFolder", "ignorePatterns", "updateIgnorePatterns", "browse",
        "setFolderMetadata", "setVersioning", "setFolderPaused", "setFolderLabel", "folderType", "setFolderType",
        "rescanFolder", "scanFolder", "applySyncedXattrFilter", "directoryModified", "archivedVersions",
        "restoreArchived", "restoreArchivedBatch", "folderStatus", "clusterNeeds", "deviceCompletion",
        "currentTransferName", "devices", "addDevice", "setDevicePaused", "connections", "shareFolder",
        "unshareFolder", "pendingDevices", "pendingFolders", "dismissPendingDevice", "dismissPendingFolder",
        "setAllPaused", "networkSettings", "applyNetworkSettings", "setGlobalBandwidth", "cumulativeBytes",
        "events", "cancelEvents", "diagnosticsReport", "diagnosticsStatus", "recentFolderErrors", "isPairedDevice"};
    return names;
}

QStringList FakeSyncEngine::callLog() const
{
    QStringList log;
    for (const Call &call : calls)
        log.append(call.text());
    return log;
}

QStringList FakeSyncEngine::callNames() const
{
    QStringList names;
    for (const Call &call : calls)
        names.append(call.operation);
    return names;
}

QStringList FakeSyncEngine::callsOf(const QString &operation) const
{
    QStringList log;
    for (const Call &call : calls)
        if (call.operation == operation)
            log.append(call.text());
    return log;
}

int FakeSyncEngine::callCount(const QString &operation) const { return int(callsOf(operation).size()); }

void FakeSyncEngine::addFault(const QString &operation, int callNumber, bool once, std::exception_ptr error)
{
    // A misspelt name would silently never fire; refuse it instead.
    if (operation != QLatin1String("*") && !operationNames().contains(operation))
        throw std::invalid_argument("FakeSyncEngine: no operation named " + operation.toStdString());
    m_faults.append({operation, callNumber, once, std::move(error)});
}

std::exception_ptr FakeSyncEngine::takeFault(const QString &operation)
{
    const int number = callCount(operation);
    for (qsizetype i = 0; i < m_faults.size(); ++i) {
        const Fault &fault = m_faults[i];
        if (fault.operation != operation && fault.operation != QLatin1String("*"))
            continue;
        if (fault.callNumber != 0 && fault.callNumber != number)
            continue;
        std::exception_ptr error = fault.error;
        if (fault.once)
            m_faults.removeAt(i);
        return error;
    }
    return nullptr;
}

FakeSyncEngine::Entry FakeSyncEngine::record(const QString &operation, const QStringList &arguments)
{
    calls.append({operation, arguments});
    return {operation, takeFault(operation)};
}

QCoro::Task<void> FakeSyncEngine::enter(Entry entry)
{
    if (beforeAnswer)
        co_await beforeAnswer(entry.operation);
    if (entry.fault)
        std::rethrow_exception(entry.fault);
}

QCoro::Task<bool> FakeSyncEngine::enterNeutral(Entry entry)
{
    if (beforeAnswer)
        co_await beforeAnswer(entry.operation);
    co_return entry.fault != nullptr;
}

qint64 FakeSyncEngine::pushEvent(SyncEvent event)
{
    if (event.id == 0) {
        qint64 highest = 0;
        for (const SyncEvent &queued : state.events)
            highest = std::max(highest, queued.id);
        event.id = highest + 1;
    }
    state.events.append(event);
    return event.id;
}

SyncFolder *FakeSyncEngine::findFolder(const QString &id)
{
    for (SyncFolder &folder : state.folders)
        if (folder.id == id)
            return &folder;
    return nullptr;
}

SyncFolder &FakeSyncEngine::requireFolder(const QString &id)
{
    SyncFolder *folder = findFolder(id);
    if (!folder)
        throw noSuchFolder(id);
    return *folder;
}

// Lifecycle

QCoro::Task<void> FakeSyncEngine::start()
{
    const Entry entry = record(QStringLiteral("start"), {});
    try {
        co_await enter(entry);
    } catch (const std::exception &error) {
        state.status.lastError = describeError(error);
        throw;
    }
    state.status.isRunning = true;
    state.status.lastError = std::nullopt;
}

QCoro::Task<void> FakeSyncEngine::stop()
{
    const Entry entry = record(QStringLiteral("stop"), {});
    if (co_await enterNeutral(entry))
        co_return;
    state.status.isRunning = false;
    state.status.localDeviceID = std::nullopt;
}

QCoro::Task<void> FakeSyncEngine::resetDatabase()
{
    const Entry entry = record(QStringLiteral("resetDatabase"), {});
    co_await enter(entry);
    // The engine restarts on a new database: its event numbering begins again.
    state.events.clear();
}

QCoro::Task<EngineStatus> FakeSyncEngine::status()
{
    const Entry entry = record(QStringLiteral("status"), {});
    if (co_await enterNeutral(entry))
        co_return EngineStatus{false, std::nullopt, std::nullopt, engineName()};
    co_return copyOf(state.status);
}

// Identity

QCoro::Task<QString> FakeSyncEngine::localDeviceID()
{
    const Entry entry = record(QStringLiteral("localDeviceID"), {});
    co_await enter(entry);
    state.status.localDeviceID = state.localDeviceID;
    co_return copyOf(state.localDeviceID);
}

QCoro::Task<QString> FakeSyncEngine::localDeviceName()
{
    return answer(record(QStringLiteral("localDeviceName"), {}), QString());
}

QCoro::Task<void> FakeSyncEngine::setLocalDeviceName(QString name)
{
    return enter(record(QStringLiteral("setLocalDeviceName"), {name}));
}

// Folders and ignores

QCoro::Task<QList<SyncFolder>> FakeSyncEngine::folders()
{
    const Entry entry = record(QStringLiteral("folders"), {});
    co_await enter(entry);
    co_return copyOf(state.folders);
}

QCoro::Task<SyncFolder> FakeSyncEngine::addFolder(NewFolderRequest request)
{
    const Entry entry = record(QStringLiteral("addFolder"), arguments(request));
    co_await enter(entry);
    SyncFolder folder;
    folder.id = request.id.value_or(QStringLiteral("tdw-%1").arg(m_nextFolderNumber++, 8, 16, QLatin1Char('0')));
    folder.label = request.label;
    folder.path = request.path;
    folder.mode = request.mode;
    folder.sharedDeviceIDs = {state.localDeviceID};
    folder.versioning = request.versioning;
    folder.syncMetadata = request.syncMetadata;
    // Like a PUT, an existing folder of that ID is replaced.
    if (SyncFolder *existing = findFolder(folder.id))
        *existing = folder;
    else
        state.folders.append(folder);
    if (!request.ignorePatterns.isEmpty())
        state.ignores[folder.id] = request.ignorePatterns;
    folder.ignorePatterns = request.ignorePatterns;
    co_return folder;
}

QCoro::Task<void> FakeSyncEngine::removeFolder(QString id)
{
    return enter(record(QStringLiteral("removeFolder"), {id}));
}

QCoro::Task<QStringList> FakeSyncEngine::ignorePatterns(QString folderID)
{
    const Entry entry = record(QStringLiteral("ignorePatterns"), {folderID});
    co_await enter(entry);
    requireFolder(folderID);
    co_return state.ignores.value(folderID);
}

QCoro::Task<void> FakeSyncEngine::updateIgnorePatterns(QString folderID, QStringList patterns)
{
    const Entry entry = record(QStringLiteral("updateIgnorePatterns"), {folderID, text(patterns)});
    co_await enter(entry);
    requireFolder(folderID);
    state.ignores[folderID] = patterns;
}

QCoro::Task<QList<BrowseEntry>> FakeSyncEngine::browse(QString folderID, QString prefix)
{
    return answer(record(QStringLiteral("browse"), {folderID, prefix}), QList<BrowseEntry>());
}

QCoro::Task<void> FakeSyncEngine::setFolderMetadata(QString folderID, bool enabled)
{
    return enter(record(QStringLiteral("setFolderMetadata"), {folderID, text(enabled)}));
}

QCoro::Task<void> FakeSyncEngine::setVersioning(QString folderID, VersioningPolicy)
{
    return enter(record(QStringLiteral("setVersioning"), {folderID}));
}

QCoro::Task<void> FakeSyncEngine::setFolderPaused(QString id, bool paused)
{
    return enter(record(QStringLiteral("setFolderPaused"), {id, text(paused)}));
}

QCoro::Task<void> FakeSyncEngine::setFolderLabel(QString id, QString label)
{
    return enter(record(QStringLiteral("setFolderLabel"), {id, label}));
}

QCoro::Task<QString> FakeSyncEngine::folderType(QString id)
{
    return answer(record(QStringLiteral("folderType"), {id}), toRawValue(FolderSyncMode::SendReceive));
}

QCoro::Task<void> FakeSyncEngine::setFolderType(QString id, QString type)
{
    return enter(record(QStringLiteral("setFolderType"), {id, type}));
}

QCoro::Task<void> FakeSyncEngine::rescanFolder(QString id)
{
    return enter(record(QStringLiteral("rescanFolder"), {id}));
}

QCoro::Task<void> FakeSyncEngine::scanFolder(QString id)
{
    return enter(record(QStringLiteral("scanFolder"), {id}));
}

QCoro::Task<void> FakeSyncEngine::applySyncedXattrFilter(QString folderID)
{
    return enter(record(QStringLiteral("applySyncedXattrFilter"), {folderID}));
}

QCoro::Task<std::optional<qint64>> FakeSyncEngine::directoryModified(QString folderID, QString path)
{
    const Entry entry = record(QStringLiteral("directoryModified"), {folderID, path});
    if (co_await enterNeutral(entry))
        co_return std::nullopt;
    const auto paths = state.directoryModified.value(folderID);
    if (!paths.contains(path))
        co_return std::nullopt;
    co_return paths.value(path);
}

// Versioning and archive

QCoro::Task<QList<ArchivedVersion>> FakeSyncEngine::archivedVersions(QString folderID)
{
    return answer(record(QStringLiteral("archivedVersions"), {folderID}), QList<ArchivedVersion>());
}

QCoro::Task<void> FakeSyncEngine::restoreArchived(QString folderID, QString path, QString versionTime)
{
    return enter(record(QStringLiteral("restoreArchived"), {folderID, path, versionTime}));
}

QCoro::Task<void> FakeSyncEngine::restoreArchivedBatch(QString folderID, QMap<QString, QString>)
{
    return enter(record(QStringLiteral("restoreArchivedBatch"), {folderID}));
}

// Status and completion

QCoro::Task<FolderStatus> FakeSyncEngine::folderStatus(QString id)
{
    const Entry entry = record(QStringLiteral("folderStatus"), {id});
    co_await enter(entry);
    if (state.folderStatuses.contains(id))
        co_return state.folderStatuses.value(id);
    requireFolder(id);
    FolderStatus status;
    status.id = id;
    co_return status;
}

QCoro::Task<QMap<QString, ClusterNeed>> FakeSyncEngine::clusterNeeds()
{
    const Entry entry = record(QStringLiteral("clusterNeeds"), {});
    co_await enter(entry);
    co_return copyOf(state.clusterNeeds);
}

QCoro::Task<double> FakeSyncEngine::deviceCompletion(QString folderID, QString deviceID)
{
    return answer(record(QStringLiteral("deviceCompletion"), {folderID, deviceID}), 0.0);
}

QCoro::Task<std::optional<QString>> FakeSyncEngine::currentTransferName(QString folderID)
{
    const Entry entry = record(QStringLiteral("currentTransferName"), {folderID});
    co_await enter(entry);
    if (!state.currentTransferNames.contains(folderID))
        co_return std::nullopt;
    co_return state.currentTransferNames.value(folderID);
}

// Devices, sharing, pending offers

QCoro::Task<QList<SyncDevice>> FakeSyncEngine::devices()
{
    const Entry entry = record(QStringLiteral("devices"), {});
    co_await enter(entry);
    co_return copyOf(state.devices);
}

QCoro::Task<SyncDevice> FakeSyncEngine::addDevice(NewDeviceRequest request)
{
    const SyncDevice device{request.id, request.name, false, false, 0, 0};
    return answer(record(QStringLiteral("addDevice"), {request.id, request.name}), device);
}

QCoro::Task<void> FakeSyncEngine::setDevicePaused(QString deviceID, bool paused)
{
    return enter(record(QStringLiteral("setDevicePaused"), {deviceID, text(paused)}));
}

QCoro::Task<QList<DeviceConnection>> FakeSyncEngine::connections()
{
    const Entry entry = record(QStringLiteral("connections"), {});
    co_await enter(entry);
    co_return copyOf(state.connections);
}

QCoro::Task<void> FakeSyncEngine::shareFolder(QString folderID, QString deviceID)
{
    const Entry entry = record(QStringLiteral("shareFolder"), {folderID, deviceID});
    co_await enter(entry);
    SyncFolder *folder = findFolder(folderID);
    if (!folder)
        throw SyncEngineError::backend(QStringLiteral("Folder not found: ") + folderID);
    if (!folder->sharedDeviceIDs.contains(deviceID))
        folder->sharedDeviceIDs.append(deviceID);
}

QCoro::Task<void> FakeSyncEngine::unshareFolder(QString folderID, QString deviceID)
{
    const Entry entry = record(QStringLiteral("unshareFolder"), {folderID, deviceID});
    co_await enter(entry);
    SyncFolder *folder = findFolder(folderID);
    if (!folder)
        throw SyncEngineError::backend(QStringLiteral("Folder not found: ") + folderID);
    folder->sharedDeviceIDs.removeAll(deviceID);
    folder->introducedDeviceIDs.remove(deviceID);
}

QCoro::Task<QList<PendingDevice>> FakeSyncEngine::pendingDevices()
{
    return answer(record(QStringLiteral("pendingDevices"), {}), QList<PendingDevice>());
}

QCoro::Task<QList<PendingFolder>> FakeSyncEngine::pendingFolders()
{
    return answer(record(QStringLiteral("pendingFolders"), {}), QList<PendingFolder>());
}

QCoro::Task<void> FakeSyncEngine::dismissPendingDevice(QString id)
{
    return enter(record(QStringLiteral("dismissPendingDevice"), {id}));
}

QCoro::Task<void> FakeSyncEngine::dismissPendingFolder(QString folderID, QString fromDeviceID)
{
    return enter(record(QStringLiteral("dismissPendingFolder"), {folderID, fromDeviceID}));
}

QCoro::Task<void> FakeSyncEngine::setAllPaused(bool paused)
{
    return enter(record(QStringLiteral("setAllPaused"), {text(paused)}));
}

// Network and bandwidth

QCoro::Task<NetworkSettings> FakeSyncEngine::networkSettings()
{
    const Entry entry = record(QStringLiteral("networkSettings"), {});
    co_await enter(entry);
    co_return copyOf(state.network);
}

QCoro::Task<void> FakeSyncEngine::applyNetworkSettings(NetworkSettings settings)
{
    const Entry entry = record(QStringLiteral("applyNetworkSettings"), {});
    co_await enter(entry);
    state.network = settings;
}

QCoro::Task<void> FakeSyncEngine::setGlobalBandwidth(qint64 downKbps, qint64 upKbps)
{
    const Entry entry = record(QStringLiteral("setGlobalBandwidth"), {text(downKbps), text(upKbps)});
    co_await enter(entry);
    state.network.downLimitKbps = downKbps;
    state.network.upLimitKbps = upKbps;
}

QCoro::Task<CumulativeBytes> FakeSyncEngine::cumulativeBytes()
{
    const Entry entry = record(QStringLiteral("cumulativeBytes"), {});
    co_await enter(entry);
    co_return copyOf(state.cumulativeBytes);
}

// Events

QCoro::Task<QList<SyncEvent>> FakeSyncEngine::events(qint64 since)
{
    const Entry entry = record(QStringLiteral("events"), {text(since)});
    co_await enter(entry);
    QList<SyncEvent> after;
    for (const SyncEvent &event : state.events)
        if (event.id > since)
            after.append(event);
    co_return after;
}

void FakeSyncEngine::cancelEvents()
{
    calls.append({QStringLiteral("cancelEvents"), {}});
}

// Diagnostics

QCoro::Task<QString> FakeSyncEngine::diagnosticsReport()
{
    const Entry entry = record(QStringLiteral("diagnosticsReport"), {});
    co_await enterNeutral(entry);
    co_return QString();
}

QCoro::Task<QList<FolderDiagStatus>> FakeSyncEngine::diagnosticsStatus()
{
    const Entry entry = record(QStringLiteral("diagnosticsStatus"), {});
    co_await enterNeutral(entry);
    co_return QList<FolderDiagStatus>();
}

QCoro::Task<QMap<QString, QString>> FakeSyncEngine::recentFolderErrors()
{
    const Entry entry = record(QStringLiteral("recentFolderErrors"), {});
    if (co_await enterNeutral(entry))
        co_return QMap<QString, QString>();
    co_return copyOf(state.recentFolderErrors);
}

QCoro::Task<bool> FakeSyncEngine::isPairedDevice(QString deviceID)
{
    const Entry entry = record(QStringLiteral("isPairedDevice"), {deviceID});
    if (co_await enterNeutral(entry))
        co_return false;
    co_return std::any_of(state.devices.cbegin(), state.devices.cend(),
                          [&deviceID](const SyncDevice &device) { return device.id == deviceID; });
}

} // namespace tw
