// The reconcile loop and one pass: every enabled folder of every sync gets
// exactly one engine folder, running, labelled, holding the ignore lines its
// records ask for and shared with exactly the members that should have it.
// Any of the application's two-step changes (records first, then the engine)
// may have been cut short by the end of the process: the pass brings each
// folder it keeps all the way to its records.

#include "projects/ProjectController.h"

#include "cluster/NasNodeController.h"
#include "engine/PlatformError.h"
#include "engine/SyncEngine.h"
#include "engine/SyncEngineError.h"
#include "platform/PathLookUps.h"
#include "projects/CanonicalIDs.h"
#include "utilities/PathOverlap.h"

#include <QHash>
#include <QMap>
#include <QScopeGuard>
#include <QSet>
#include <QUuid>

namespace tw {

// Working state of one pass; rebuilt from nothing every time.
struct ProjectController::Pass
{
    QList<SyncFolder> folders;
    QHash<QString, SyncFolder> index;  // by canonical ID; the first of a repeated ID counts
    QString ownID;
    QSet<QString> claimed;             // canonical engine folder IDs
    QMap<QString, QSet<QString>> unshared;  // engine folder ID as listed -> canonical device IDs
    QStringList made;                  // engine folders this pass asked Syncthing to make
    QList<ProjectFolder> unseen;       // enabled folders whose drive did not answer or is not there
    std::optional<QString> refusal;    // why a folder was not made where its record puts it
    int created = 0;
    int added = 0;
    int removed = 0;
    int failed = 0;
    int offline = 0;
};

// What a pass takes of a sync at its first lookup.
struct ProjectController::SyncView
{
    QString id;
    QString name;
    FolderSyncMode mode = FolderSyncMode::SendReceive;
    CanonicalIDs others;
};

namespace {

struct Match
{
    SyncFolder folder;
    bool adopted = false;
};

std::optional<Match> findEngineFolder(const ProjectFolder &folder, const QHash<QString, SyncFolder> &index,
                                      const QList<SyncFolder> &listed, const QSet<QString> &claimed)
{
    if (folder.syncthingFolderID) {
        const QString key = canonical(*folder.syncthingFolderID);
        if (index.contains(key) && !claimed.contains(key))
            return Match{index.value(key), false};
    }
    // Paths are compared exactly: the file system tells two spellings apart.
    for (const SyncFolder &candidate : listed)
        if (candidate.path == folder.localPath && candidate.id.startsWith(QStringLiteral("tdw-")) &&
            !candidate.id.startsWith(NasNodeController::clusterFolderPrefix) &&
            !claimed.contains(canonical(candidate.id)))
            return Match{candidate, true};
    return std::nullopt;
}

// The engine folders that the folders a pass could not look at would take
// once their drives answer, given out as a pass would give them.
QSet<QString> claimableLater(const QList<ProjectFolder> &unseen, const QHash<QString, SyncFolder> &index,
                             const QList<SyncFolder> &listed, QSet<QString> claimed)
{
    QSet<QString> later;
    for (const ProjectFolder &folder : unseen) {
        if (const std::optional<Match> match = findEngineFolder(folder, index, listed, claimed)) {
            claimed.insert(canonical(match->folder.id));
            later.insert(canonical(match->folder.id));
        }
    }
    return later;
}

std::optional<QString> passFailureText(int failed, int stillListedCount)
{
    if (failed == 0)
        return std::nullopt;
    if (stillListedCount == 0)
        return QString::number(failed) +
               QStringLiteral(" sync operation(s) failed \u2014 a teammate may not have received a "
                              "folder. Check connections and try again.");
    return QString::number(stillListedCount) +
           QStringLiteral(" device(s) are still listed on a folder after being removed \u2014 they "
                          "may still be receiving files. Check connections and try again.");
}

FolderSyncMode modeFor(const Project &project)
{
    for (const ProjectMember &member : project.members)
        if (member.isOwnDevice)
            return member.role == MemberRole::Editor ? FolderSyncMode::SendReceive : FolderSyncMode::ReceiveOnly;
    return FolderSyncMode::SendReceive;
}

VersioningPolicy archivePolicy(const ProjectFolder &folder)
{
    return folder.archiveDeletedFiles ? VersioningPolicy::trashCan(folder.archiveRetentionDays)
                                      : VersioningPolicy::none();
}

// The engine's list with the removals taken out and the additions at its end,
// in the engine's order otherwise.
QStringList editedShares(const QStringList &listed, const CanonicalIDs &toAdd, const CanonicalIDs &toRemove)
{
    QStringList shares;
    for (const QString &id : listed)
        if (!toRemove.contains(id))
            shares.append(id);
    shares.append(toAdd.values());
    return shares;
}

QString summaryOf(int created, int added, int removed, int offline, int failed)
{
    QString summary = QStringLiteral("%1 folders created, +%2/\u2212%3 shares").arg(created).arg(added).arg(removed);
    if (offline > 0)
        summary += QStringLiteral(", %1 offline skipped").arg(offline);
    if (failed > 0)
        summary += QStringLiteral(" \u2014 \u26A0\uFE0E %1 failed").arg(failed);
    return summary;
}

// Once the folder's engine ID is written back, removing or switching off the
// folder deals with its engine folder; the pass only stops.
bool isEnabled(const ProjectController &controller, const QString &syncID, const QString &folderID)
{
    const std::optional<ProjectFolder> folder = controller.folderOf(syncID, folderID);
    return folder && folder->syncEnabled;
}

// "tdw-" and 8 hexadecimal digits, as the engine would choose, and none it
// lists.
QString newEngineFolderID(const QHash<QString, SyncFolder> &index)
{
    QString id;
    do
        id = QStringLiteral("tdw-") + QUuid::createUuid().toString(QUuid::WithoutBraces).left(8).toLower();
    while (index.contains(id));
    return id;
}

} // namespace

QCoro::Task<void> ProjectController::reconcileAll()
{
    if (m_isReconciling) {
        setRerunRequested(true);
        co_return;
    }
    setReconciling(true);
    const QPointer<ProjectController> self(this);
    // Whatever escapes, the next request must find the loop free again.
    const auto release = qScopeGuard([self] {
        if (self)
            self->setReconciling(false);
    });
    try {
        co_await ensureNasMembership();
        do {
            setRerunRequested(false);
            co_await performReconcile();
        } while (m_rerunRequested);
        co_await pushNasMembers();
    } catch (const Gone &) {
        // Nothing of the controller may be touched any more.
    } catch (const std::exception &error) {
        setRerunRequested(false);
        setLastErrorMessage(describeError(error));
    } catch (...) {
        setRerunRequested(false);
    }
}

QCoro::Task<void> ProjectController::unlessGone(QCoro::Task<void> step)
{
    const QPointer<ProjectController> self(this);
    try {
        co_await std::move(step);
    } catch (...) {
        if (!self)
            throw Gone{};
        throw;
    }
    if (!self)
        throw Gone{};
}

QCoro::Task<void> ProjectController::performReconcile()
{
    Pass pass;
    // Without this Mac's ID its own member would count as another device and
    // be shared with every folder: end the pass as a failed listing does.
    try {
        pass.folders = co_await unlessGone(m_engine.folders());
        pass.ownID = co_await unlessGone(m_engine.localDeviceID());
    } catch (const std::exception &error) {
        setLastErrorMessage(describeError(error));
        co_return;
    }
    for (const SyncFolder &folder : std::as_const(pass.folders))
        if (!pass.index.contains(canonical(folder.id)))
            pass.index.insert(canonical(folder.id), folder);
    // Before the syncs are looked at, so that a node joining now is shared with.
    co_await unlessGone(adoptVouchedNodes(pass.folders));

    QStringList syncIDs;
    for (const Project &project : std::as_const(m_projects))
        syncIDs.append(project.id);
    for (const QString &syncID : std::as_const(syncIDs)) {
        const std::optional<Project> project = this->project(syncID);
        if (!project)
            continue;
        SyncView view{.id = project->id, .name = project->name, .mode = modeFor(*project), .others = {}};
        for (const ProjectMember &member : project->members)
            if (!member.deviceID.isEmpty() && canonical(member.deviceID) != canonical(pass.ownID))
                view.others.insert(member.deviceID);
        QStringList folderIDs;
        for (const ProjectFolder &folder : project->folders)
            folderIDs.append(folder.id);
        for (const QString &folderID : std::as_const(folderIDs))
            co_await reconcileFolder(view, folderID, &pass);
    }
    co_await retryOwedRemovals(&pass);
    const int listed = co_await stillListed(&pass);
    // Settled only once the records naming them are stored: a process ending
    // after a failed save would leave them shared with nothing naming them.
    if (!finishPass(pass, listed))
        co_return;
    const QStringList owed = m_owedRemovals;
    for (const QString &id : owed)
        if (namesEngineFolder(id))
            settleRemoval(id);
}

QCoro::Task<void> ProjectController::reconcileFolder(SyncView sync, QString folderID, Pass *pass)
{
    std::optional<ProjectFolder> found = folderOf(sync.id, folderID);
    if (!found)
        co_return;
    const QString probed = found->localPath;
    PathPresence presence;
    // Off the main thread: on a vanished network mount or a sleeping drive
    // the stat takes minutes, and every folder of every sync is looked at. A
    // folder whose look-up does not answer in time is skipped as offline.
    if (found->syncEnabled) {
        const QHash<QString, PathPresence> answers = co_await unlessGone(m_pathLookUps->ask(QStringList(probed)));
        presence = answers.value(probed);
    }
    // The records may have changed while the disk answered.
    found = folderOf(sync.id, folderID);
    if (!found)
        co_return;
    const ProjectFolder folder = *found;
    if (!folder.syncEnabled) {
        co_await pauseDisabled(folder, pass);
        co_return;
    }
    // A folder moved meanwhile is looked at by the next pass.
    if (!presence.exists || folder.localPath != probed) {
        ++pass->offline;
        pass->unseen.append(folder);
        co_return;
    }
    noteXattrSupport(folder.localPath, presence.keepsUserXattrs);
    const CanonicalIDs blocked(folder.excludedDeviceIDs + folder.pausedDeviceIDs);
    const CanonicalIDs desired = sync.others.without(blocked);
    const QString label = engineLabel(sync.name, folder.label);
    const VersioningPolicy policy = archivePolicy(folder);

    const std::optional<Match> match = findEngineFolder(folder, pass->index, pass->folders, pass->claimed);
    if (!match) {
        co_await createEngineFolder(sync, folder, desired, pass);
        co_return;
    }
    const QString engineID = match->folder.id;
    if (match->adopted)
        writeBackFolderID(sync.id, folder.id, engineID);
    pass->claimed.insert(canonical(engineID));
    // Before a paused folder is resumed, so that it never scans under other
    // lines. An adopted folder may hold an earlier folder's lines.
    if (match->adopted || !m_ignoresInPlace.contains(canonical(engineID)))
        co_await bringIgnoresInLine(sync.id, folder.id, engineID, pass);

    // Every change of the folder in one write: each write saves the engine's
    // configuration and restarts the folder.
    const SyncFolder entry = pass->index.value(canonical(engineID));
    FolderChange change;
    if (canonical(entry.label) != canonical(label))
        change.label = label;
    if (entry.versioning != policy)
        change.versioning = policy;
    if (const bool metadata = engineCarriesMetadata(folder); entry.syncMetadata != metadata)
        change.syncMetadata = metadata;
    change.syncedXattrFilter = !entry.hasSyncedXattrFilter;
    // A folder switched on runs unless "Pause all" holds; then it waits like
    // every other (one made meanwhile, one a quit left running half-way).
    if (entry.isPaused != isAllPaused())
        change.paused = isAllPaused();

    CanonicalIDs current(match->folder.sharedDeviceIDs);
    const CanonicalIDs introduced(match->folder.introducedDeviceIDs.values());
    current.remove(pass->ownID);
    const CanonicalIDs toAdd = desired.without(current);
    CanonicalIDs toRemove = current.without(desired);
    for (const QString &device : introduced.values())
        if (!blocked.contains(device))
            toRemove.remove(device);
    const int deviceChanges = int(toAdd.values().size() + toRemove.values().size());
    if (deviceChanges > 0)
        change.sharedDeviceIDs = editedShares(match->folder.sharedDeviceIDs, toAdd, toRemove);
    if (change.isEmpty() || ((deviceChanges > 0 || change.paused) && !isEnabled(*this, sync.id, folder.id)))
        co_return;
    try {
        co_await unlessGone(m_engine.changeFolder(match->folder, change));
    } catch (const std::exception &) {
        // Settings that could not be written are not counted as failed
        // shares; the next pass tries again.
        pass->failed += deviceChanges;
        co_return;
    }
    pass->added += int(toAdd.values().size());
    pass->removed += int(toRemove.values().size());
    for (const QString &device : toRemove.values())
        pass->unshared[engineID].insert(canonical(device));
}

// A new engine folder is made shared with the members that should have it
// and with every setting in place: one write. Its removal is owed from
// before Syncthing is asked until a stored record names it: removed while it
// was made, the folder has no engine ID to owe, and a process that ended
// between Syncthing taking it and the answer would leave it shared with
// nothing naming it.
QCoro::Task<void> ProjectController::createEngineFolder(SyncView sync, ProjectFolder folder, CanonicalIDs desired,
                                                        Pass *pass)
{
    // Read from the listing alone: a pass does not wait on other folders'
    // disks. Adding a folder looked at them already.
    for (const SyncFolder &other : std::as_const(pass->folders)) {
        if (PathOverlap::written(folder.localPath, other.path)) {
            ++pass->failed;
            pass->refusal = overlapText(folder.localPath, other.path);
            co_return;
        }
    }
    const QString madeID = newEngineFolderID(pass->index);
    oweRemovals({madeID});
    pass->made.append(madeID);
    NewFolderRequest request{.id = madeID,
                             .label = engineLabel(sync.name, folder.label),
                             .path = folder.localPath,
                             .mode = sync.mode,
                             .ignorePatterns = usableIgnores(wantedIgnores(folder)),
                             .versioning = archivePolicy(folder),
                             .syncMetadata = engineCarriesMetadata(folder),
                             .otherDeviceIDs = desired.values()};
    SyncFolder made;
    try {
        made = co_await unlessGone(m_engine.addFolder(request));
    } catch (const std::exception &) {
        ++pass->failed;
        co_return;
    }
    const QString engineID = made.id;
    // Removed or switched off while it was made: an engine folder that
    // nothing names, or that runs against the user's choice, would go on
    // syncing with whoever it reaches.
    const std::optional<ProjectFolder> now = folderOf(sync.id, folder.id);
    if (!now) {
        // Listed, so that this pass retries the removal if it is owed.
        pass->index.insert(canonical(engineID), made);
        co_await unlessGone(removeEngineFolder(engineID));
        co_return;
    }
    ++pass->created;
    pass->folders.append(made);
    writeBackFolderID(sync.id, folder.id, engineID);
    pass->claimed.insert(canonical(engineID));
    if (usableIgnores(wantedIgnores(*now)) == request.ignorePatterns)
        m_ignoresInPlace.insert(canonical(engineID));
    showIgnoreRefusal(engineID, unusableLinesText(*now));
    if (now->syncEnabled) {
        pass->added += int(request.otherDeviceIDs.size());
        co_return;
    }
    try {
        co_await unlessGone(m_engine.setFolderPaused(engineID, true));
        FolderChange unshare;
        unshare.sharedDeviceIDs = QStringList{pass->ownID};
        co_await unlessGone(m_engine.changeFolder(made, unshare));
    } catch (const std::exception &) {
        ++pass->failed;
    }
}

// A folder switched off whose engine folder still runs: the pause that should
// have stopped it failed, or never came. (Pausing a whole sync switches off
// each of its folders, so the resume of a folder switched on cannot undo it.)
QCoro::Task<void> ProjectController::pauseDisabled(ProjectFolder folder, Pass *pass)
{
    if (!folder.syncthingFolderID)
        co_return;
    const QString key = canonical(*folder.syncthingFolderID);
    if (!pass->index.contains(key) || pass->index.value(key).isPaused)
        co_return;
    const QString engineID = pass->index.value(key).id;
    if (namesEngineFolder(engineID, true))
        co_return;
    try {
        co_await unlessGone(m_engine.setFolderPaused(engineID, true));
        pass->index[key].isPaused = true;
    } catch (const std::exception &) {
        ++pass->failed;
    }
}

// The folder's lines as its records ask for them, read from the engine and
// written only where they differ; the record takes them too when a process
// ended between saving a protection and saving the list. Under the folder's
// lock, as every writer of its lines. Lines Syncthing cannot use are left
// out, and lines it refused are not sent again: either would stop the
// folder, every pass. Both are shown on the folder's sync instead of
// counting as failed.
QCoro::Task<void> ProjectController::bringIgnoresInLine(QString syncID, QString folderID, QString engineID,
                                                        Pass *pass)
{
    const std::shared_ptr<AsyncMutex> lock = sharedIgnoresLock(engineID);
    const AsyncMutex::Guard guard = co_await lock->lock();
    const std::optional<ProjectFolder> folder = folderOf(syncID, folderID);
    if (!folder)
        co_return;
    const QStringList wanted = wantedIgnores(*folder);
    if (folder->ignorePatterns != wanted)
        editFolder(syncID, folderID, [&wanted](ProjectFolder &edited) { edited.ignorePatterns = wanted; });
    const QStringList usable = usableIgnores(wanted);
    try {
        const QStringList lines = co_await unlessGone(m_engine.ignorePatterns(engineID));
        if (lines == usable) {
            m_ignoresInPlace.insert(canonical(engineID));
            m_refusedIgnoreLines.remove(canonical(engineID));
            showIgnoreRefusal(engineID, unusableLinesText(*folder));
            co_return;
        }
    } catch (const SyncEngineError &error) {
        // Lines Syncthing cannot read have stopped the folder; the records'
        // own lines start it again.
        if (error.kind() != SyncEngineError::Kind::Refused) {
            ++pass->failed;
            co_return;
        }
    } catch (const std::exception &) {
        ++pass->failed;
        co_return;
    }
    if (ignoresRefused(engineID, usable))
        co_return;
    const std::optional<QString> failure = co_await unlessGone(sendIgnores(engineID, usable));
    if (failure && !ignoresRefused(engineID, usable))
        ++pass->failed;
}

// Removals that failed earlier, retried once nothing claims the folder: no
// sync folder names it, no folder of this pass adopted it, and none whose
// drive was asleep, slow or unplugged would adopt it. A folder made but
// unanswered is offered to the members already; removed now, it would be
// made again under another ID once the drive answers, and offered twice.
QCoro::Task<void> ProjectController::retryOwedRemovals(Pass *pass)
{
    const QSet<QString> awaited = claimableLater(pass->unseen, pass->index, pass->folders, pass->claimed);
    const QStringList owed = m_owedRemovals;
    for (const QString &id : owed) {
        const QString key = canonical(id);
        // Whether Syncthing took it, the next pass's listing tells; one this
        // pass keeps is settled once its record is stored.
        if (pass->made.contains(id) && !pass->index.contains(key))
            continue;
        // An accepted offer's, settled once its record is stored.
        if (m_foldersBeingAccepted.contains(key))
            continue;
        if (!pass->index.contains(key)) {
            settleRemoval(id);
            continue;
        }
        // Kept: settled after the pass once the records are stored.
        if (pass->claimed.contains(key) || awaited.contains(key) || namesEngineFolder(id))
            continue;
        try {
            co_await unlessGone(m_engine.removeFolder(pass->index.value(key).id));
            settleRemoval(id);
        } catch (const std::exception &) {
            ++pass->failed;
        }
    }
}

QCoro::Task<int> ProjectController::stillListed(Pass *pass)
{
    if (pass->unshared.isEmpty())
        co_return 0;
    QList<SyncFolder> after;
    try {
        after = co_await unlessGone(m_engine.folders());
    } catch (const std::exception &) {
    }
    QHash<QString, CanonicalIDs> shared;
    for (const SyncFolder &folder : std::as_const(after))
        if (!shared.contains(canonical(folder.id)))
            shared.insert(canonical(folder.id), CanonicalIDs(folder.sharedDeviceIDs));
    int listed = 0;
    for (auto it = pass->unshared.cbegin(); it != pass->unshared.cend(); ++it)
        for (const QString &device : it.value())
            listed += shared.value(canonical(it.key())).contains(device) ? 1 : 0;
    co_return listed;
}

bool ProjectController::finishPass(const Pass &pass, int stillListedCount)
{
    const int failed = pass.failed + stillListedCount;
    for (const QString &key : m_ignoreRefusals.keys())
        if (!namesEngineFolder(key))
            showIgnoreRefusal(key, std::nullopt);
    // A failed save's message stands: what the pass recorded is not kept.
    // So does the node's, which the push after the pass says again: taken
    // back here, it would leave the window and come back with every pass.
    const bool stored = save();
    if (stored) {
        std::optional<QString> text = pass.refusal ? pass.refusal : passFailureText(failed, stillListedCount);
        if (!text && m_nasNode && m_nasNode->lastError() && m_lastErrorMessage == m_nasNode->lastError())
            text = m_lastErrorMessage;
        setLastErrorMessage(text);
    }
    setLastReconcileSummary(summaryOf(pass.created, pass.added, pass.removed, pass.offline, failed));
    return stored;
}

// Kept by path: a folder moved to another drive is looked at afresh.
void ProjectController::noteXattrSupport(const QString &localPath, bool keeps)
{
    if (keeps != m_pathsRefusingXattrs.contains(localPath))
        return;
    if (keeps)
        m_pathsRefusingXattrs.remove(localPath);
    else
        m_pathsRefusingXattrs.insert(localPath);
    emit xattrRefusalsChanged();
}

bool ProjectController::engineCarriesMetadata(const ProjectFolder &folder) const
{
    return folder.syncMetadata && !driveRefusesXattrs(folder.localPath);
}

void ProjectController::writeBackFolderID(const QString &pid, const QString &folderLocalID, const QString &stID)
{
    editFolder(pid, folderLocalID, [&stID](ProjectFolder &folder) { folder.syncthingFolderID = stID; });
}

bool ProjectController::namesEngineFolder(const QString &engineID, bool enabledOnly) const
{
    const QString key = canonical(engineID);
    for (const Project &project : m_projects)
        for (const ProjectFolder &folder : project.folders)
            if (folder.syncthingFolderID && canonical(*folder.syncthingFolderID) == key &&
                (!enabledOnly || folder.syncEnabled))
                return true;
    return false;
}

} // namespace tw
