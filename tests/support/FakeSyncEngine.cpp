#include "FakeSyncEngine.h"

#include <QTimer>
#include <algorithm>
#include <utility>

namespace tw {

QStringList FakeSyncEngine::callsOf(const QString &operation) const
{
    QStringList calls;
    for (const QString &call : m_log)
        if (call.startsWith(operation + QLatin1Char('(')))
            calls.append(call);
    return calls;
}

std::exception_ptr FakeSyncEngine::record(const QString &operation, const QStringList &arguments)
{
    m_log.append(operation + QLatin1Char('(') + arguments.join(QStringLiteral(", ")) + QLatin1Char(')'));
    return takeFault(operation, callCount(operation));
}

std::exception_ptr FakeSyncEngine::takeFault(const QString &operation, int number)
{
    for (qsizetype i = 0; i < m_faults.size(); ++i) {
        const Fault fault = m_faults[i];
        if (fault.operation != operation || (fault.callNumber != 0 && fault.callNumber != number))
            continue;
        m_faults.removeAt(i);
        return fault.error;
    }
    return nullptr;
}

void FakeSyncEngine::release(const QString &operation)
{
    Gate &gate = m_gates[operation];
    gate.closed = false;
    for (const std::coroutine_handle<> handle : std::exchange(gate.waiters, {}))
        QTimer::singleShot(0, this, [handle] { handle.resume(); });
}

SyncFolder *FakeSyncEngine::findFolder(const QString &id)
{
    for (SyncFolder &folder : state.folders)
        if (folder.id == id)
            return &folder;
    return nullptr;
}

void FakeSyncEngine::requireFolder(const QString &id)
{
    if (!findFolder(id))
        throw SyncEngineError::http(404, QStringLiteral("No folder with given ID: ") + id);
}

void FakeSyncEngine::pushEvent(SyncEvent event)
{
    event.id = state.events.isEmpty() ? 1 : state.events.last().id + 1;
    state.events.append(event);
}

QCoro::Task<SyncFolder> FakeSyncEngine::addFolder(NewFolderRequest request)
{
    folderRequests.append(request);
    const QStringList arguments{request.id.value_or(QStringLiteral("<new>")), request.label, request.path,
                                request.ignorePatterns.join(QLatin1Char('|'))};
    return reply(__func__, arguments, [this, request] {
        const QString id = request.id ? *request.id
                                      : QStringLiteral("tdw-%1").arg(m_nextFolderNumber++, 8, 16, QLatin1Char('0'));
        SyncFolder folder{.id = id,
                          .label = request.label,
                          .path = request.path,
                          .mode = request.mode,
                          .isPaused = !runPolicy().mayRun(id),
                          .ignorePatterns = {},  // listings never carry them
                          .sharedDeviceIDs = QStringList{state.localDeviceID} + request.otherDeviceIDs,
                          .introducedDeviceIDs = {},
                          .versioning = request.versioning,
                          .syncMetadata = request.syncMetadata,
                          .hasSyncedXattrFilter = true};
        state.folders.append(folder);
        if (!request.ignorePatterns.isEmpty())
            if (const std::exception_ptr fault = takeFault(QStringLiteral("addFolder:ignores")))
                std::rethrow_exception(fault);
        state.ignores[folder.id] = request.ignorePatterns;
        folder.ignorePatterns = request.ignorePatterns;
        return folder;
    });
}

QCoro::Task<QStringList> FakeSyncEngine::ignorePatterns(QString folderID)
{
    return reply(__func__, {folderID}, [this, folderID] {
        requireFolder(folderID);
        return state.ignores.value(folderID);
    });
}

QCoro::Task<void> FakeSyncEngine::updateIgnorePatterns(QString folderID, QStringList patterns)
{
    return reply(__func__, {folderID, patterns.join(QLatin1Char('|'))}, [this, folderID, patterns] {
        requireFolder(folderID);
        state.ignores[folderID] = patterns;
    });
}

QCoro::Task<std::optional<qint64>> FakeSyncEngine::directoryModified(QString folderID, QString path)
{
    return reply(__func__, {folderID, path}, [this, folderID, path] {
        return entry(state.directoryModified.value(folderID), path);
    });
}

QCoro::Task<QHash<QString, qint64>> FakeSyncEngine::directoryTimes(QString folderID)
{
    return reply(__func__, {folderID}, [this, folderID] {
        const QMap<QString, qint64> times = state.directoryModified.value(folderID);
        return QHash<QString, qint64>(times.cbegin(), times.cend());
    });
}

QCoro::Task<FolderStatus> FakeSyncEngine::folderStatus(QString id)
{
    return reply(__func__, {id}, [this, id] { return state.folderStatuses.value(id, FolderStatus{.id = id}); });
}

QCoro::Task<QString> FakeSyncEngine::folderType(QString id)
{
    return reply(__func__, {id}, [this, id] {
        const SyncFolder *folder = findFolder(id);
        return folder ? toRawValue(folder->mode) : QString();
    });
}

QCoro::Task<void> FakeSyncEngine::applySyncedXattrFilter(QString id)
{
    return reply(__func__, {id}, [this, id] {
        if (SyncFolder *folder = findFolder(id))
            folder->hasSyncedXattrFilter = true;
    });
}

QCoro::Task<void> FakeSyncEngine::setFolderPaused(QString id, bool paused)
{
    return reply(__func__, {id, flag(paused)}, [this, id, paused] {
        if (SyncFolder *folder = findFolder(id))
            folder->isPaused = runPolicy().pausedFor(id, paused);
    });
}

QCoro::Task<void> FakeSyncEngine::rescanFolder(QString id)
{
    return reply(__func__, {id}, [this, id] {
        SyncFolder *folder = findFolder(id);
        if (folder && runPolicy().mayRun(id))
            folder->isPaused = false;
    });
}

QCoro::Task<void> FakeSyncEngine::setAllPaused(bool paused)
{
    const QStringList asked(flag(paused));
    co_await reply(QStringLiteral("setAllPaused"), asked);
    QStringList ids;
    for (const SyncFolder &folder : std::as_const(state.folders))
        ids.append(folder.id);
    for (const QString &id : std::as_const(ids))
        co_await pauseOneOfAll(id, paused);
}

QCoro::Task<void> FakeSyncEngine::pauseOneOfAll(QString id, bool paused)
{
    return reply(QStringLiteral("setAllPaused:folder"), {id, flag(paused)}, [this, id, paused] {
        if (SyncFolder *folder = findFolder(id))
            folder->isPaused = runPolicy().pausedFor(id, paused);
    });
}

QCoro::Task<void> FakeSyncEngine::changeFolder(SyncFolder listed, FolderChange change)
{
    QStringList arguments{listed.id};
    if (change.label)
        arguments.append(QStringLiteral("label=") + *change.label);
    if (change.versioning)
        arguments.append(QStringLiteral("versioning"));
    if (change.syncMetadata)
        arguments.append(QStringLiteral("metadata=") + flag(*change.syncMetadata));
    if (change.syncedXattrFilter)
        arguments.append(QStringLiteral("xattrs"));
    if (change.paused)
        arguments.append(QStringLiteral("paused=") + flag(*change.paused));
    if (change.sharedDeviceIDs)
        arguments.append(QStringLiteral("devices=") + change.sharedDeviceIDs->join(QLatin1Char('|')));
    return reply(__func__, arguments, [this, id = listed.id, change] {
        SyncFolder *folder = findFolder(id);
        if (!folder)
            throw SyncEngineError::backend(QStringLiteral("Folder not found: ") + id);
        folder->label = change.label.value_or(folder->label);
        folder->versioning = change.versioning.value_or(folder->versioning);
        folder->syncMetadata = change.syncMetadata.value_or(folder->syncMetadata);
        folder->hasSyncedXattrFilter |= change.syncedXattrFilter;
        if (change.paused)
            folder->isPaused = runPolicy().pausedFor(id, *change.paused);
        folder->sharedDeviceIDs = change.sharedDeviceIDs.value_or(folder->sharedDeviceIDs);
    });
}

QCoro::Task<void> FakeSyncEngine::setFolderType(QString id, QString type)
{
    return reply(__func__, {id, type}, [this, id, type] {
        for (SyncFolder &folder : state.folders) {
            if (folder.id == id)
                folder.mode = folderSyncModeFromRaw(type).value_or(folder.mode);
        }
    });
}

QCoro::Task<std::optional<QString>> FakeSyncEngine::currentTransferName(QString folderID)
{
    return reply(__func__, {folderID}, [this, folderID] { return entry(state.currentTransferNames, folderID); });
}

QCoro::Task<void> FakeSyncEngine::shareFolder(QString folderID, QString deviceID)
{
    return reply(__func__, {folderID, deviceID}, [this, folderID, deviceID] {
        SyncFolder *folder = findFolder(folderID);
        if (!folder)
            throw SyncEngineError::backend(QStringLiteral("Folder not found: ") + folderID);
        if (!folder->sharedDeviceIDs.contains(deviceID))
            folder->sharedDeviceIDs.append(deviceID);
    });
}

QCoro::Task<void> FakeSyncEngine::unshareFolder(QString folderID, QString deviceID)
{
    return reply(__func__, {folderID, deviceID}, [this, folderID, deviceID] {
        SyncFolder *folder = findFolder(folderID);
        if (!folder)
            throw SyncEngineError::backend(QStringLiteral("Folder not found: ") + folderID);
        folder->sharedDeviceIDs.removeAll(deviceID);
    });
}

QCoro::Task<SyncDevice> FakeSyncEngine::addDevice(NewDeviceRequest request)
{
    deviceRequests.append(request);
    return reply(__func__, {request.id}, [this, request] {
        const SyncDevice device{.id = request.id, .name = request.name};
        state.devices.removeIf([&request](const SyncDevice &listed) { return listed.id == request.id; });
        state.devices.append(device);
        return device;
    });
}

void FakeSyncEngine::restoreListed(const QString &folderID, const QStringMap &mapping)
{
    QList<ArchivedVersion> &listed = state.archives[folderID];
    QStringList failures;
    for (auto it = mapping.constBegin(); it != mapping.constEnd(); ++it) {
        const auto found = std::find_if(listed.begin(), listed.end(), [&it](const ArchivedVersion &version) {
            return version.path == it.key() && version.versionTime == it.value();
        });
        if (found == listed.end())
            failures.append(it.key() + QStringLiteral(": version not found"));
        else
            listed.erase(found);
    }
    if (!failures.isEmpty())
        throw SyncEngineError::backend(QStringLiteral("Could not restore ") + failures.join(QStringLiteral("; ")));
}

QCoro::Task<void> FakeSyncEngine::restoreArchived(QString id, QString path, QString at)
{
    return reply(__func__, {id, path, at}, [this, id, path, at] { restoreListed(id, {{path, at}}); });
}

QCoro::Task<void> FakeSyncEngine::restoreArchivedBatch(QString id, QStringMap mapping)
{
    QStringList entries;
    for (auto it = mapping.constBegin(); it != mapping.constEnd(); ++it)
        entries.append(it.key() + QLatin1Char('@') + it.value());
    return reply(__func__, {id, entries.join(QLatin1Char('|'))}, [this, id, mapping] { restoreListed(id, mapping); });
}

QCoro::Task<QList<SyncEvent>> FakeSyncEngine::events(qint64 since)
{
    return reply(__func__, {QString::number(since)}, [this, since] {
        QList<SyncEvent> after = state.events;
        after.removeIf([since](const SyncEvent &event) { return event.id <= since; });
        return after;
    });
}

// Not logged: the poll runs on its own timer beside every test's calls.
QCoro::Task<QList<SyncEvent>> FakeSyncEngine::diskEvents(qint64 since, int)
{
    QList<SyncEvent> after = state.diskEvents;
    after.removeIf([since](const SyncEvent &event) { return event.id <= since; });
    co_return after;
}

} // namespace tw
