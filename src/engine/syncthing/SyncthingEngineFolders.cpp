// Folder configuration: list, create, remove, and one setting at a time
// through folder patches that carry only the changed keys.

#include "engine/syncthing/SyncthingEngine.h"

#include "engine/PlatformError.h"
#include "engine/syncthing/SyncthingIgnoreUpdate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QSaveFile>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>
#include <exception>
#include <qcoro/qcorofuture.h>

namespace tw {
namespace {

constexpr qint64 kRescanIntervalS = 900;

// "tdw-" and the first 8 hexadecimal digits of a random UUID, lower-case.
QString newFolderID()
{
    return QStringLiteral("tdw-") + QUuid::createUuid().toString(QUuid::WithoutBraces).left(8).toLower();
}

STFolderWrite folderWrite(const NewFolderRequest &request, const QString &folderID, const QString &myID,
                          bool paused)
{
    STFolderWrite folder;
    folder.id = folderID;
    folder.label = request.label;
    folder.path = request.path;
    folder.type = toRawValue(request.mode);
    folder.devices = {STDeviceRef{myID, std::nullopt, std::nullopt}};
    for (const QString &other : request.otherDeviceIDs)
        if (other != myID)
            folder.devices.append(STDeviceRef{other, std::nullopt, std::nullopt});
    folder.paused = paused;
    folder.fsWatcherEnabled = true;
    folder.rescanIntervalS = kRescanIntervalS;
    folder.versioning = SyncthingEngine::mapVersioning(request.versioning);
    folder.sendXattrs = request.syncMetadata;
    folder.syncXattrs = request.syncMetadata;
    folder.copyRangeMethod = QStringLiteral("all");
    folder.xattrFilter = STXattrFilter::syncedXattrs();
    return folder;
}

// What was asked for, not read back: Syncthing fills in the rest itself.
SyncFolder createdFolder(const NewFolderRequest &request, const QString &folderID, const QString &myID,
                         bool paused)
{
    SyncFolder folder;
    folder.id = folderID;
    folder.label = request.label;
    folder.path = request.path;
    folder.mode = request.mode;
    folder.isPaused = paused;
    folder.ignorePatterns = request.ignorePatterns;
    folder.sharedDeviceIDs = {myID};
    for (const QString &other : request.otherDeviceIDs)
        if (other != myID)
            folder.sharedDeviceIDs.append(other);
    folder.versioning = request.versioning;
    folder.syncMetadata = request.syncMetadata;
    folder.hasSyncedXattrFilter = true;
    return folder;
}

// Syncthing reads a folder's lines from ".stignore" at its root when the
// folder starts. Written before the folder exists, they are in place for its
// first scan: nothing they leave out is indexed or offered to the devices
// first, and a file an earlier engine folder left there cannot stand in for
// them, also when the process ends before the lines are sent. Written as
// Syncthing writes them: one per line, and no file for no lines.
void writeIgnoreFile(const QString &root, const QStringList &lines)
{
    const QString path = QDir(root).filePath(QStringLiteral(".stignore"));
    if (lines.isEmpty()) {
        if (!QFile::remove(path) && (QFileInfo::exists(path) || QFileInfo(path).isSymLink()))
            throw PlatformError(QStringLiteral("Could not remove ") + path);
        return;
    }
    QByteArray body;
    for (const QString &line : lines)
        body += line.toUtf8() + '\n';
    // Syncthing makes a missing root itself when the folder starts.
    QDir().mkpath(root);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(body) != body.size() || !file.commit())
        throw PlatformError(QStringLiteral("Could not write ") + path + QStringLiteral(": ") + file.errorString());
}

// writeIgnoreFile() for the pool, its failure carried back: the folder may
// sit on a slow or vanished mount, which must not stall the window.
std::exception_ptr ignoreFileWritten(const QString &root, const QStringList &lines)
{
    try {
        writeIgnoreFile(root, lines);
        return nullptr;
    } catch (...) {
        return std::current_exception();
    }
}

QJsonObject patchOf(const QString &key, const QJsonValue &value)
{
    QJsonObject patch;
    patch.insert(key, value);
    return patch;
}

QJsonObject metadataPatch(bool enabled)
{
    return {{QStringLiteral("sendXattrs"), enabled}, {QStringLiteral("syncXattrs"), enabled}};
}

// Both keys always, "params" an empty object for no versioning.
//
// Syncthing merges patched parameters into the folder's old ones and cannot
// drop a key, and its simple versioning also honours "cleanoutDays": the
// cleanout of an earlier trash can would go on deleting versions that "keep
// n" means to keep. A simple policy therefore says "no cleanout" itself.
QJsonObject versioningPatch(const VersioningPolicy &policy)
{
    const STVersioning versioning = SyncthingEngine::mapVersioning(policy);
    QJsonObject params;
    if (policy.kind() == VersioningPolicy::Kind::Simple)
        params.insert(QStringLiteral("cleanoutDays"), QStringLiteral("0"));
    if (versioning.params) {
        for (auto it = versioning.params->constBegin(); it != versioning.params->constEnd(); ++it)
            params.insert(it.key(), it.value());
    }
    return patchOf(QStringLiteral("versioning"),
                   QJsonObject{{QStringLiteral("type"), versioning.type}, {QStringLiteral("params"), params}});
}

const QString kPausedKey = QStringLiteral("paused");

void merge(QJsonObject &into, const QJsonObject &patch)
{
    for (auto it = patch.constBegin(); it != patch.constEnd(); ++it)
        into.insert(it.key(), it.value());
}

} // namespace

QJsonObject SyncthingEngine::settingsPatch(const FolderChange &change)
{
    QJsonObject patch;
    if (change.label)
        patch.insert(QStringLiteral("label"), *change.label);
    if (change.versioning)
        merge(patch, versioningPatch(*change.versioning));
    if (change.syncMetadata)
        merge(patch, metadataPatch(*change.syncMetadata));
    if (change.syncedXattrFilter)
        merge(patch, STXattrFilter::syncedXattrsJSON());
    if (change.paused)
        patch.insert(kPausedKey, *change.paused);
    return patch;
}

QCoro::Task<QList<SyncFolder>> SyncthingEngine::folders()
{
    const SyncthingAPI api = requireAPI();
    const QList<STFolderRead> records = co_await api.getFolders();
    QList<SyncFolder> result;
    result.reserve(records.size());
    m_listedDevices.clear();
    for (const STFolderRead &record : records) {
        result.append(mapFolder(record));
        if (!m_listedDevices.contains(record.id))
            m_listedDevices.insert(record.id, record.devices);
    }
    co_return result;
}

QCoro::Task<SyncFolder> SyncthingEngine::addFolder(NewFolderRequest request)
{
    const SyncthingAPI api = requireAPI();
    // Refused lines must not leave a folder behind.
    SyncthingIgnoreUpdate::checkLines(request.ignorePatterns);
    const QString folderID = request.id ? *request.id : newFolderID();
    const QString myID = co_await localDeviceID();
    // The folder's first scan reads these lines: Syncthing loads the file
    // when it starts the folder, so no second write through the API is needed.
    const QString root = request.path;
    const QStringList lines = request.ignorePatterns;
    const std::exception_ptr failure = co_await QtConcurrent::run(&ignoreFileWritten, root, lines);
    if (failure)
        std::rethrow_exception(failure);
    // Behind a pause of everything that listed the folders already, and
    // paused as the policy says at this moment, not when the caller asked.
    const auto guard = co_await m_folderDevicesMutex.lock();
    const bool paused = !runPolicy().mayRun(folderID);
    co_await api.putFolder(folderWrite(request, folderID, myID, paused));
    co_return createdFolder(request, folderID, myID, paused);
}

QCoro::Task<void> SyncthingEngine::removeFolder(QString id)
{
    const SyncthingAPI api = requireAPI();
    co_await api.deleteFolder(id);
}

QCoro::Task<void> SyncthingEngine::setFolderMetadata(QString folderID, bool enabled)
{
    const SyncthingAPI api = requireAPI();
    co_await api.patchFolder(folderID, metadataPatch(enabled));
}

QCoro::Task<void> SyncthingEngine::setVersioning(QString folderID, VersioningPolicy policy)
{
    const SyncthingAPI api = requireAPI();
    co_await api.patchFolder(folderID, versioningPatch(policy));
}

QCoro::Task<void> SyncthingEngine::setFolderPaused(QString id, bool paused)
{
    const auto guard = co_await m_folderDevicesMutex.lock();
    const SyncthingAPI api = requireAPI();
    co_await api.patchFolder(id, patchOf(kPausedKey, runPolicy().pausedFor(id, paused)));
}

QCoro::Task<void> SyncthingEngine::setFolderLabel(QString id, QString label)
{
    const SyncthingAPI api = requireAPI();
    co_await api.patchFolder(id, patchOf(QStringLiteral("label"), label));
}

QCoro::Task<QString> SyncthingEngine::folderType(QString id)
{
    const SyncthingAPI api = requireAPI();
    const QList<STFolderRead> records = co_await api.getFolders();
    for (const STFolderRead &record : records) {
        if (record.id == id)
            co_return record.type;
    }
    co_return toRawValue(FolderSyncMode::SendReceive);
}

QCoro::Task<void> SyncthingEngine::setFolderType(QString id, QString type)
{
    const SyncthingAPI api = requireAPI();
    co_await api.patchFolder(id, patchOf(QStringLiteral("type"), type));
}

// Syncthing scans no paused folder: one that may run is resumed first, one
// that may not is left as it is and not scanned.
QCoro::Task<void> SyncthingEngine::rescanFolder(QString id)
{
    {
        const auto guard = co_await m_folderDevicesMutex.lock();
        if (!runPolicy().mayRun(id))
            co_return;
        const SyncthingAPI api = requireAPI();
        co_await api.patchFolder(id, patchOf(kPausedKey, false));
    }
    const SyncthingAPI api = requireAPI();
    try {
        co_await api.scan(id);
    } catch (const SyncEngineError &) {
        // Paused meanwhile ("Pause all", switched off): not a failure of
        // the rescan the user asked for before.
        if (runPolicy().mayRun(id))
            throw;
    }
}

QCoro::Task<void> SyncthingEngine::scanFolder(QString id)
{
    const SyncthingAPI api = requireAPI();
    co_await api.scan(id);
}

QCoro::Task<void> SyncthingEngine::scanPaths(QString id, QStringList paths)
{
    const SyncthingAPI api = requireAPI();
    co_await api.scan(id, paths);
}

QCoro::Task<void> SyncthingEngine::scanAllFolders()
{
    const SyncthingAPI api = requireAPI();
    co_await api.scan(QString());
}

QCoro::Task<void> SyncthingEngine::applySyncedXattrFilter(QString folderID)
{
    const SyncthingAPI api = requireAPI();
    co_await api.patchFolder(folderID, STXattrFilter::syncedXattrsJSON());
}

} // namespace tw
