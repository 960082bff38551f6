// A folder's archive of deleted and overwritten files (the engine's trash
// can in ".stversions"), its retention and the syncing of metadata: stored
// first, then told to this Mac's engine and, for versioning, to the node.

#include "projects/ProjectController.h"

#include "cluster/NasNodeController.h"
#include "engine/SyncEngine.h"
#include "platform/AllocatedSize.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>

#include <limits>

namespace tw {
namespace {

// The node turns versioning off for any negative clean-out age.
constexpr int kNodeVersioningOff = -1;

// A symbolic link in the archive's place is removed itself: following it
// would empty whatever directory it points to.
qint64 measureAndRemove(const QString &location)
{
    const qint64 size = allocatedSizeBelow(location);
    const QFileInfo info(location);
    if (info.isSymLink() || !info.isDir())
        QFile::remove(location);
    else
        QDir(location).removeRecursively();
    return size;
}

} // namespace

QCoro::Task<void> ProjectController::setFolderArchive(QString projectID, QString folderID, bool on)
{
    if (!editFolder(projectID, folderID, [on](ProjectFolder &folder) { folder.archiveDeletedFiles = on; }))
        co_return;
    save();
    co_await applyVersioning(projectID, folderID);
}

QCoro::Task<void> ProjectController::setArchiveRetention(QString projectID, QString folderID, qint64 days)
{
    const qint64 kept = std::max<qint64>(days, 0);
    if (!editFolder(projectID, folderID, [kept](ProjectFolder &folder) { folder.archiveRetentionDays = kept; }))
        co_return;
    save();
    co_await applyVersioning(projectID, folderID);
}

QCoro::Task<void> ProjectController::setFolderMetadata(QString projectID, QString folderID, bool enabled)
{
    if (!editFolder(projectID, folderID, [enabled](ProjectFolder &folder) { folder.syncMetadata = enabled; }))
        co_return;
    save();
    const ProjectFolder folder = *folderOf(projectID, folderID);
    if (!folder.syncthingFolderID)
        co_return;
    try {
        co_await m_engine.setFolderMetadata(*folder.syncthingFolderID, engineCarriesMetadata(folder));
    } catch (const std::exception &) {
    }
}

// The node gets the choices as they stand after the engine call; a folder
// removed meanwhile has nothing left to send.
QCoro::Task<void> ProjectController::applyVersioning(QString projectID, QString folderID)
{
    const std::optional<ProjectFolder> folder = folderOf(projectID, folderID);
    if (!folder || !folder->syncthingFolderID)
        co_return;
    const QString engineID = *folder->syncthingFolderID;
    const VersioningPolicy policy = folder->archiveDeletedFiles
                                        ? VersioningPolicy::trashCan(folder->archiveRetentionDays)
                                        : VersioningPolicy::none();
    try {
        co_await m_engine.setVersioning(engineID, policy);
    } catch (const std::exception &) {
    }
    const std::optional<ProjectFolder> now = folderOf(projectID, folderID);
    if (!now || !m_nasNode)
        co_return;
    const qint64 days = std::min<qint64>(now->archiveRetentionDays, std::numeric_limits<int>::max());
    co_await m_nasNode->setFolderVersioning(engineID, now->archiveDeletedFiles ? int(days) : kNodeVersioningOff);
}

// Only an absolute path names this folder's archive: an empty or relative
// one would resolve against the working directory.
std::optional<QString> ProjectController::archiveLocation(const QString &projectID, const QString &folderID) const
{
    const std::optional<ProjectFolder> folder = folderOf(projectID, folderID);
    if (!folder || folder->localPath.isEmpty() || !QDir::isAbsolutePath(folder->localPath))
        return std::nullopt;
    return QDir(folder->localPath).filePath(QStringLiteral(".stversions"));
}

QCoro::Task<qint64> ProjectController::archiveSize(QString projectID, QString folderID)
{
    const std::optional<QString> location = archiveLocation(projectID, folderID);
    if (!location)
        co_return 0;
    const qint64 size = co_await QtConcurrent::run(&allocatedSizeBelow, *location);
    co_return size;
}

QCoro::Task<qint64> ProjectController::freeArchiveNow(QString projectID, QString folderID)
{
    const std::optional<QString> location = archiveLocation(projectID, folderID);
    if (!location)
        co_return 0;
    const qint64 size = co_await QtConcurrent::run(measureAndRemove, *location);
    co_return size;
}

} // namespace tw
