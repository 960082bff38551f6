// Syncs and their folders: each edit is saved first, then the engine gets one
// narrow change or the reconcile loop runs. A removal is owed before the
// records forget the folder: a process ending between the two writes must
// not leave an engine folder shared that nothing names.

#include "projects/ProjectController.h"

#include "cluster/NasNodeController.h"
#include "engine/SyncEngine.h"
#include "platform/PathLookUps.h"
#include "utilities/IsolatedName.h"
#include "utilities/PathOverlap.h"
#include "utilities/UserDefaults.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

namespace tw {
namespace {

// Paths are compared exactly, as the file system tells spellings apart.
bool isInside(const QString &path, const QString &folder)
{
    const QString clean = QDir::cleanPath(path);
    const QString root = QDir::cleanPath(folder);
    return clean == root || clean.startsWith(root + QLatin1Char('/'));
}

// Every pair is compared as written, as a pass compares the listing, and on
// disk where both look-ups answered. A kept folder whose look-up gave none
// within the wait is compared as written only: waiting for it would hold
// the sheet for as long as its mount hangs. A path that reaches into it
// through a link passes through the hung mount as well, so its own look-up
// gives no answer either and what its text shows is still refused.
std::optional<QString> firstMeeting(const QString &path, const QStringList &kept,
                                    const QHash<QString, PathPresence> &answers)
{
    const auto mine = answers.constFind(path);
    for (const QString &other : kept) {
        const auto theirs = answers.constFind(other);
        const bool bothAnswered = mine != answers.cend() && theirs != answers.cend();
        if (PathOverlap::written(path, other) || (bothAnswered && PathOverlap::placed(mine->place, theirs->place)))
            return other;
    }
    return std::nullopt;
}

} // namespace

QString ProjectController::overlapText(const QString &path, const QString &kept)
{
    return QStringLiteral("Couldn't sync \u201C") + isolatedName(path) +
           QStringLiteral("\u201D \u2014 it meets \u201C") + isolatedName(kept) +
           QStringLiteral("\u201D, which a sync already keeps. Choose a folder outside it.");
}

QCoro::Task<std::optional<QString>> ProjectController::folderMeeting(QString path, QList<SyncFolder> listed,
                                                                     QString exceptID)
{
    QStringList kept;
    for (const SyncFolder &folder : std::as_const(listed))
        if (canonical(folder.id) != canonical(exceptID))
            kept.append(folder.path);
    for (const Project &project : std::as_const(m_projects))
        for (const ProjectFolder &folder : project.folders)
            if (!folder.syncthingFolderID || canonical(*folder.syncthingFolderID) != canonical(exceptID))
                kept.append(folder.localPath);
    // Through the look-ups every folder's presence goes through: a folder on
    // a hung mount holds up neither the sheet nor a thread of the global pool.
    const QPointer<ProjectController> self(this);
    const QHash<QString, PathPresence> answers = co_await m_pathLookUps->ask(kept + QStringList(path));
    if (!self)
        co_return std::nullopt;
    // Known from here on, so that a folder made there carries only what its
    // drive keeps.
    if (const auto mine = answers.constFind(path); mine != answers.cend() && mine->exists)
        noteXattrSupport(path, mine->keepsUserXattrs);
    co_return firstMeeting(path, kept, answers);
}

void ProjectController::add(Project project)
{
    QList<Project> projects = m_projects;
    projects.append(std::move(project));
    setProjects(std::move(projects));
    save();
}

Project ProjectController::createProject(QString name, std::optional<QString> colorHex)
{
    const QString trimmed = name.trimmed();
    Project project{.id = newRecordID(),
                    .name = trimmed.isEmpty() ? QStringLiteral("New Sync") : trimmed,
                    .colorHex = std::move(colorHex),
                    .members = {},
                    .folders = {},
                    .createdAt = m_clock()};
    add(project);
    // Tasks start at once; queue it so that it runs after this returns.
    QTimer::singleShot(0, this, [this] {
        [](QPointer<ProjectController> self) -> QCoro::Task<void> {
            if (self)
                co_await self->reconcileAll();
        }(QPointer<ProjectController>(this));
    });
    return project;
}

void ProjectController::remove(Project project)
{
    QStringList engineIDs;
    for (const ProjectFolder &folder : project.folders)
        if (folder.syncthingFolderID)
            engineIDs.append(*folder.syncthingFolderID);
    oweRemovals(engineIDs);
    QList<Project> projects = m_projects;
    projects.removeIf([&project](const Project &candidate) { return candidate.id == project.id; });
    setProjects(std::move(projects));
    save();
    QTimer::singleShot(0, this, [this, engineIDs] { removeEngineFolders(engineIDs); });
}

// Detached: holds the controller only through a guard and lets nothing out.
QCoro::Task<void> ProjectController::removeEngineFolders(QStringList engineIDs)
{
    QPointer<ProjectController> self(this);
    for (const QString &id : std::as_const(engineIDs)) {
        if (!self)
            co_return;
        if (!namesEngineFolder(id))
            co_await removeEngineFolder(id);
    }
}

// A removal is owed until it succeeds: the next pass (also after a restart)
// retries it while nothing names the folder, so a removed folder does not go
// on syncing.
QCoro::Task<void> ProjectController::removeEngineFolder(QString engineID)
{
    QPointer<ProjectController> self(this);
    oweRemovals({engineID});
    try {
        co_await m_engine.removeFolder(engineID);
    } catch (...) {
        co_return;
    }
    if (self)
        settleRemoval(engineID);
}

void ProjectController::oweRemovals(const QStringList &engineIDs)
{
    QStringList owed = m_owedRemovals;
    for (const QString &id : engineIDs)
        if (!owed.contains(id))
            owed.append(id);
    if (owed == m_owedRemovals)
        return;
    m_owedRemovals = owed;
    storeOwedRemovals();
}

void ProjectController::settleRemoval(const QString &engineID)
{
    if (m_owedRemovals.removeAll(engineID) > 0)
        storeOwedRemovals();
}

void ProjectController::storeOwedRemovals()
{
    if (m_owedRemovals.isEmpty())
        m_defaults.remove(owedRemovalsKey);
    else
        m_defaults.setStringList(owedRemovalsKey, m_owedRemovals);
}

QCoro::Task<std::optional<QString>> ProjectController::addFolder(QString projectID, QString path,
                                                                 std::optional<QString> label, bool archive)
{
    if (!project(projectID))
        co_return std::nullopt;
    if (isInside(path, m_paths.clusterFolder())) {
        setLastErrorMessage(teamFolderText);
        co_return std::nullopt;
    }
    const QPointer<ProjectController> self(this);
    QList<SyncFolder> listed;
    try {
        listed = co_await m_engine.folders();
    } catch (const std::exception &) {
        // The records still tell; the pass checks the engine's list again.
    }
    if (!self)
        co_return std::nullopt;
    if (const std::optional<QString> kept = co_await folderMeeting(path, listed, QString())) {
        if (self)
            setLastErrorMessage(overlapText(path, *kept));
        co_return std::nullopt;
    }
    if (!self || !project(projectID))
        co_return std::nullopt;
    const ProjectFolder folder{.id = newRecordID(),
                               .label = label.value_or(QFileInfo(QDir::cleanPath(path)).fileName()),
                               .localPath = path,
                               .syncEnabled = true,
                               .ignorePatterns = m_defaultIgnores,
                               .archiveDeletedFiles = archive,
                               .archiveRetentionDays = 0,
                               .purgeProtected = {},
                               .syncMetadata = true,
                               .syncthingFolderID = std::nullopt,
                               .excludedDeviceIDs = {},
                               .pausedDeviceIDs = {}};
    editProject(projectID, [&folder](Project &project) { project.folders.append(folder); });
    save();
    co_await reconcileAll();
    co_return QString(folder.id);
}

QCoro::Task<void> ProjectController::removeFolder(QString projectID, QString folderID)
{
    const std::optional<ProjectFolder> folder = folderOf(projectID, folderID);
    if (!folder)
        co_return;
    editProject(projectID, [&folderID](Project &project) {
        const auto at = std::find_if(project.folders.begin(), project.folders.end(),
                                     [&folderID](const ProjectFolder &candidate) { return candidate.id == folderID; });
        project.folders.erase(at);
    });
    const std::optional<QString> engineID = folder->syncthingFolderID;
    const bool unused = engineID && !namesEngineFolder(*engineID);
    if (unused)
        oweRemovals({*engineID});
    save();
    if (unused)
        co_await removeEngineFolder(*engineID);
}

QCoro::Task<void> ProjectController::setFolderSyncEnabled(QString projectID, QString folderID, bool enabled)
{
    if (!editFolder(projectID, folderID, [enabled](ProjectFolder &folder) { folder.syncEnabled = enabled; }))
        co_return;
    save();
    const std::optional<QString> engineID = folderOf(projectID, folderID)->syncthingFolderID;
    // While "Pause all" holds, a folder switched on waits for the resume of
    // everything.
    if (engineID && enabled && isAllPaused())
        co_return;
    if (engineID) {
        // A failed pause is repaired by the next pass, which pauses the engine
        // folder of every folder switched off.
        try {
            co_await m_engine.setFolderPaused(*engineID, !enabled);
        } catch (const std::exception &) {
        }
    } else if (enabled) {
        co_await reconcileAll();
    }
}

QCoro::Task<void> ProjectController::setProjectPaused(QString projectID, bool paused)
{
    const bool found = editProject(projectID, [paused](Project &project) {
        for (ProjectFolder &folder : project.folders)
            folder.syncEnabled = !paused;
    });
    if (!found)
        co_return;
    save();
    QStringList engineIDs;
    const QList<ProjectFolder> folders = project(projectID)->folders;
    for (const ProjectFolder &folder : folders)
        if (folder.syncthingFolderID)
            engineIDs.append(*folder.syncthingFolderID);
    for (const QString &id : std::as_const(engineIDs)) {
        // Its folders wait while "Pause all" holds, also one begun meanwhile.
        if (!paused && isAllPaused())
            break;
        try {
            co_await m_engine.setFolderPaused(id, paused);
        } catch (const std::exception &) {
        }
    }
    if (!paused)
        co_await reconcileAll();
}

} // namespace tw
