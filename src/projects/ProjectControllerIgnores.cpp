// The ignore lines of each engine folder: the user's lines followed by the
// protection lines a remote removal needs while it runs. The record keeps
// the whole list as last written; an engine failure is dropped and the next
// write brings the engine in line. Writers hold the folder's lock across
// their awaits: two read-modify-writes interleaved would lose a line.

#include "projects/ProjectController.h"

#include "engine/SyncEngine.h"

namespace tw {

QStringList ProjectController::mergedIgnores(const QStringList &base, const QStringList &extra)
{
    QStringList merged = base;
    for (const QString &line : extra)
        if (!merged.contains(line))
            merged.append(line);
    return merged;
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

QCoro::Task<void> ProjectController::writeIgnoresBySyncthingID(QString stID, QStringList userPatterns)
{
    if (refuseLineBreaks(userPatterns))
        co_return;
    QStringList lines = userPatterns;
    if (const auto key = folderByEngineID(stID)) {
        lines = mergedIgnores(userPatterns, folderOf(key->first, key->second)->purgeProtected);
        editFolder(key->first, key->second, [&lines](ProjectFolder &folder) { folder.ignorePatterns = lines; });
        save();
    }
    try {
        co_await m_engine.updateIgnorePatterns(stID, lines);
    } catch (const std::exception &) {
    }
}

AsyncMutex &ProjectController::ignoresLock(const QString &stID)
{
    std::unique_ptr<AsyncMutex> &lock = m_ignoreLocks[canonical(stID)];
    if (!lock)
        lock = std::make_unique<AsyncMutex>();
    return *lock;
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

QCoro::Task<void> ProjectController::addPurgeProtection(QString stID, QString pattern)
{
    const AsyncMutex::Guard guard = co_await ignoresLock(stID).lock();
    const QStringList line{pattern};
    const auto key = folderByEngineID(stID);
    if (!key || refuseLineBreaks(line))
        co_return;
    editFolder(key->first, key->second, [&pattern](ProjectFolder &folder) {
        if (!folder.purgeProtected.contains(pattern))
            folder.purgeProtected.append(pattern);
    });
    save();
    const QStringList lines = folderOf(key->first, key->second)->ignorePatterns;
    co_await writeIgnoresBySyncthingID(stID, lines);
}

QCoro::Task<void> ProjectController::removePurgeProtection(QString stID, QString pattern)
{
    const AsyncMutex::Guard guard = co_await ignoresLock(stID).lock();
    const auto key = folderByEngineID(stID);
    if (!key)
        co_return;
    QStringList remaining;
    editFolder(key->first, key->second, [&](ProjectFolder &folder) {
        folder.purgeProtected.removeAll(pattern);
        remaining = folder.ignorePatterns;
        remaining.removeAll(pattern);
    });
    save();
    co_await writeIgnoresBySyncthingID(stID, remaining);
}

} // namespace tw
