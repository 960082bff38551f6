// The ignore lines of each engine folder: the protection lines a remote
// removal needs, followed by the user's lines. Syncthing applies the first
// line that matches, so a user's negated line ("!*-master.mov") placed first
// would let files of a protected subfolder sync, deletions included. The
// record keeps the whole list as last written; an engine failure is dropped
// and the next write brings the engine in line. Writers hold the folder's
// lock across their awaits: two read-modify-writes interleaved would lose a
// line. A write's failure is answered to its caller, and the folder's lines
// are compared with the engine's again by the next reconcile pass, which
// sends the recorded ones.

#include "projects/ProjectController.h"

#include "engine/SyncEngine.h"

namespace tw {
namespace {

// The user's lines of a list: without the protection lines in front. A list
// written while protection lines came last holds them at its end instead.
// Read before the protected list changes.
QStringList userLines(const QStringList &lines, const QStringList &purgeProtected)
{
    const QStringList lead = ProjectController::mergedIgnores({}, purgeProtected);
    if (lines.mid(0, lead.size()) == lead)
        return lines.mid(lead.size());
    QStringList user = lines;
    while (!user.isEmpty() && lead.contains(user.last()))
        user.removeLast();
    return user;
}

QStringList userLines(const ProjectFolder &folder)
{
    return userLines(folder.ignorePatterns, folder.purgeProtected);
}

} // namespace

// A user's line equal to a protection line stays among the user's lines, so
// that it outlives the protection.
QStringList ProjectController::mergedIgnores(const QStringList &base, const QStringList &extra)
{
    QStringList merged;
    for (const QString &line : extra)
        if (!merged.contains(line))
            merged.append(line);
    return merged + base;
}

bool ProjectController::protectionInForce(const QString &stID, const QString &pattern,
                                          const QStringList &engineLines) const
{
    const auto key = folderByEngineID(stID);
    const QStringList protection = key ? folderOf(key->first, key->second)->purgeProtected : QStringList();
    for (const QString &line : engineLines) {
        if (line == pattern)
            return true;
        if (!protection.contains(line))
            return false;
    }
    return false;
}

std::optional<std::pair<QString, QString>> ProjectController::folderByEngineID(const QString &stID) const
{
    for (const Project &project : m_projects)
        for (const ProjectFolder &folder : project.folders)
            if (folder.syncthingFolderID && canonical(*folder.syncthingFolderID) == canonical(stID))
                return std::pair(project.id, folder.id);
    return std::nullopt;
}

// The engine stores its ignore list as lines of one text: a line break
// inside an entry would become several patterns.
bool ProjectController::refuseLineBreaks(const QStringList &lines)
{
    const bool broken = std::any_of(lines.cbegin(), lines.cend(), [](const QString &line) {
        return line.contains(QLatin1Char('\r')) || line.contains(QLatin1Char('\n')) || line.contains(QChar(0));
    });
    if (broken)
        setLastErrorMessage(lineBreakText);
    return broken;
}

QStringList ProjectController::wantedIgnores(const ProjectFolder &folder)
{
    return mergedIgnores(userLines(folder), folder.purgeProtected);
}

QCoro::Task<bool> ProjectController::writeIgnoresBySyncthingID(QString stID, QStringList userPatterns)
{
    if (refuseLineBreaks(userPatterns))
        co_return false;
    QStringList lines = userPatterns;
    if (const auto key = folderByEngineID(stID)) {
        lines = mergedIgnores(userPatterns, folderOf(key->first, key->second)->purgeProtected);
        editFolder(key->first, key->second, [&lines](ProjectFolder &folder) { folder.ignorePatterns = lines; });
        save();
    }
    const bool sent = co_await sendIgnores(stID, lines);
    co_return sent;
}

QCoro::Task<bool> ProjectController::sendIgnores(QString stID, QStringList lines)
{
    const QPointer<ProjectController> self(this);
    const QString key = canonical(stID);
    m_ignoresInPlace.remove(key);
    try {
        co_await m_engine.updateIgnorePatterns(stID, lines);
    } catch (const std::exception &) {
        co_return false;
    }
    if (self)
        m_ignoresInPlace.insert(key);
    co_return true;
}

std::shared_ptr<AsyncMutex> ProjectController::sharedIgnoresLock(const QString &stID)
{
    std::shared_ptr<AsyncMutex> &lock = m_ignoreLocks[canonical(stID)];
    if (!lock)
        lock = std::make_shared<AsyncMutex>();
    return lock;
}

QCoro::Task<bool> ProjectController::editIgnores(QString stID, IgnoreEdit edit)
{
    const AsyncMutex::Guard guard = co_await ignoresLock(stID).lock();
    QStringList lines;
    try {
        lines = co_await m_engine.ignorePatterns(stID);
    } catch (const std::exception &) {
        // Writing an edit of lines never read would drop the folder's own.
        co_return false;
    }
    // The edit sees the user's lines only: the write puts the protection
    // lines back in front, and they would otherwise be there twice.
    if (const auto key = folderByEngineID(stID))
        lines = userLines(lines, folderOf(key->first, key->second)->purgeProtected);
    const QStringList edited = edit(std::move(lines));
    co_await writeIgnoresBySyncthingID(stID, edited);
    co_return true;
}

// Walks the folders as they were when it began and finds each again after
// every await: a sync or folder removed meanwhile is skipped.
QCoro::Task<void> ProjectController::applyDefaultIgnoresToAll()
{
    QList<std::pair<QString, QString>> keys;
    for (const Project &project : m_projects)
        for (const ProjectFolder &folder : project.folders)
            keys.append(std::make_pair(project.id, folder.id));
    for (const auto &key : std::as_const(keys)) {
        const QString projectID = key.first;
        const QString folderID = key.second;
        const std::optional<ProjectFolder> folder = folderOf(projectID, folderID);
        const QStringList defaults = m_defaultIgnores;
        if (!folder || refuseLineBreaks(defaults))
            continue;
        if (folder->syncthingFolderID) {
            const QString stID = *folder->syncthingFolderID;
            const AsyncMutex::Guard guard = co_await ignoresLock(stID).lock();
            co_await writeIgnoresBySyncthingID(stID, defaults);
            continue;
        }
        editFolder(projectID, folderID, [&defaults](ProjectFolder &edited) {
            edited.ignorePatterns = mergedIgnores(defaults, edited.purgeProtected);
        });
    }
    save();
}

// The protection and the folder's whole list change in one save: a record
// holding the one without the other would outlive a process ending between
// two saves.
QCoro::Task<bool> ProjectController::addPurgeProtection(QString stID, QString pattern)
{
    co_return co_await setPurgeProtection(stID, pattern, true);
}

QCoro::Task<bool> ProjectController::removePurgeProtection(QString stID, QString pattern)
{
    co_return co_await setPurgeProtection(stID, pattern, false);
}

QCoro::Task<bool> ProjectController::setPurgeProtection(QString stID, QString pattern, bool protect)
{
    const AsyncMutex::Guard guard = co_await ignoresLock(stID).lock();
    const QStringList line{pattern};
    const auto key = folderByEngineID(stID);
    if (!key || (protect && refuseLineBreaks(line)))
        co_return false;
    // Unprotecting takes only the protection: a line of the user's own stays.
    const QStringList user = userLines(*folderOf(key->first, key->second));
    editFolder(key->first, key->second, [&pattern, &user, protect](ProjectFolder &folder) {
        if (!protect)
            folder.purgeProtected.removeAll(pattern);
        else if (!folder.purgeProtected.contains(pattern))
            folder.purgeProtected.append(pattern);
        folder.ignorePatterns = mergedIgnores(user, folder.purgeProtected);
    });
    save();
    const QStringList lines = folderOf(key->first, key->second)->ignorePatterns;
    const bool sent = co_await sendIgnores(stID, lines);
    co_return sent;
}

} // namespace tw
