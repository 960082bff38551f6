#include "controllers/FolderController.h"

#include "controllers/CurrentErrorText.h"
#include "engine/PlatformError.h"
#include "engine/SyncEngine.h"
#include "utilities/AssignIfChanged.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>

namespace tw {
namespace {

QList<SyncFolder> withoutHidden(QList<SyncFolder> folders)
{
    folders.removeIf([](const SyncFolder &folder) { return FolderController::isHidden(folder.id); });
    return folders;
}

// Removes the archive at `location`. A symbolic link in its place is removed
// itself: following it would empty whatever directory it points to.
void removeArchive(const QString &location)
{
    const QFileInfo info(location);
    if (info.isSymLink() || !info.isDir())
        QFile::remove(location);
    else
        QDir(location).removeRecursively();
}

} // namespace

FolderController::FolderController(SyncEngine &engine, QObject *parent) : QObject(parent), m_engine(engine) {}

bool FolderController::isHidden(const QString &folderID)
{
    return folderID.startsWith(hiddenFolderPrefix, Qt::CaseSensitive);
}

FolderStatus FolderController::status(const QString &folderID) const
{
    auto it = m_statuses.constFind(folderID);
    if (it != m_statuses.constEnd())
        return *it;
    FolderStatus unknown;
    unknown.id = folderID;
    unknown.state = FolderState::Unknown;
    return unknown;
}

QCoro::Task<void> FolderController::refresh()
{
    setLoading(true);
    try {
        QList<SyncFolder> listed = co_await m_engine.folders();
        setFolders(withoutHidden(std::move(listed)));
    } catch (...) {
        setLastErrorMessage(currentErrorText());
        setLoading(false);
        co_return;
    }
    co_await refreshStatuses();
    setLoading(false);
}

QCoro::Task<void> FolderController::syncFolderList()
{
    try {
        QList<SyncFolder> listed = co_await m_engine.folders();
        setFolders(withoutHidden(std::move(listed)));
    } catch (...) {
        // The polling loop tries again in two seconds; the statuses of the
        // folders already known are still refreshed.
    }
    co_await refreshStatuses();
}

QCoro::Task<void> FolderController::refreshStatuses()
{
    FolderStatusMap working = m_statuses;
    const QList<SyncFolder> snapshot = m_folders;
    for (const SyncFolder &folder : snapshot) {
        try {
            working.insert(folder.id, co_await m_engine.folderStatus(folder.id));
        } catch (...) {
            // The previous status, if any, stays until the next pass.
        }
    }
    working.removeIf([this](auto it) { return !isListed(it.key()); });
    assignIfChanged(m_statuses, std::move(working), this, &FolderController::statusesChanged);

    co_await refreshFolderErrors();

    try {
        setClusterNeeds(co_await m_engine.clusterNeeds());
    } catch (...) {
        setClusterNeeds({});
    }

    co_await refreshTransferring();
}

QCoro::Task<void> FolderController::refreshFolderErrors()
{
    const bool anyInError = std::any_of(m_statuses.cbegin(), m_statuses.cend(),
                                        [](const FolderStatus &status) { return status.state == FolderState::Error; });
    if (!anyInError) {
        setFolderErrors({});
        co_return;
    }
    FolderTextMap errors;
    try {
        errors = co_await m_engine.recentFolderErrors();
    } catch (...) {
        // Documented never to fail; an engine that does shows no texts.
    }
    errors.removeIf([this](auto it) { return !isListed(it.key()); });
    setFolderErrors(std::move(errors));
}

QCoro::Task<void> FolderController::refreshTransferring()
{
    FolderTextMap transferring;
    const QList<SyncFolder> listed = m_folders;
    for (const SyncFolder &folder : listed) {
        auto status = m_statuses.constFind(folder.id);
        if (status == m_statuses.constEnd() || status->state != FolderState::Syncing)
            continue;
        try {
            if (std::optional<QString> name = co_await m_engine.currentTransferName(folder.id))
                transferring.insert(folder.id, *name);
        } catch (...) {
            // No name for this folder on this pass.
        }
    }
    assignIfChanged(m_transferring, std::move(transferring), this, &FolderController::transferringChanged);
}

QCoro::Task<void> FolderController::emptyArchive(QString folderID)
{
    auto folder = std::find_if(m_folders.cbegin(), m_folders.cend(),
                               [&folderID](const SyncFolder &candidate) { return candidate.id == folderID; });
    if (folder == m_folders.cend())
        co_return;
    // A folder without an absolute path would resolve against the working
    // directory: that archive is not this folder's.
    if (!QDir::isAbsolutePath(folder->path))
        co_return;
    const QString location = QDir(folder->path).filePath(QStringLiteral(".stversions"));
    co_await QtConcurrent::run(removeArchive, location);
}

void FolderController::setError(const std::exception &error)
{
    setLastErrorMessage(describeError(error));
}

bool FolderController::isListed(const QString &folderID) const
{
    return std::any_of(m_folders.cbegin(), m_folders.cend(),
                       [&folderID](const SyncFolder &folder) { return folder.id == folderID; });
}

void FolderController::setFolders(QList<SyncFolder> folders)
{
    assignIfChanged(m_folders, std::move(folders), this, &FolderController::foldersChanged);
}

void FolderController::setClusterNeeds(ClusterNeedMap needs)
{
    assignIfChanged(m_clusterNeeds, std::move(needs), this, &FolderController::clusterNeedsChanged);
}

void FolderController::setFolderErrors(FolderTextMap errors)
{
    assignIfChanged(m_folderErrors, std::move(errors), this, &FolderController::folderErrorsChanged);
}

void FolderController::setLastErrorMessage(std::optional<QString> message)
{
    assignIfChanged(m_lastErrorMessage, std::move(message), this, &FolderController::lastErrorMessageChanged);
}

void FolderController::setLoading(bool loading)
{
    assignIfChanged(m_isLoading, loading, this, &FolderController::isLoadingChanged);
}

} // namespace tw
