// The ignore lines of each engine folder: the protection lines a remote
// removal needs, followed by the user's lines. Syncthing applies the first
// line that matches, so a user's negated line ("!*-master.mov") placed first
// would let files of a protected subfolder sync, deletions included. The
// record keeps the whole list as last written; an engine failure is dropped
// and the next write brings the engine in line. Writers hold the folder's
// lock across their awaits: two read-modify-writes interleaved would lose a
// line. A write's failure is answered to its caller, and the folder's lines
// are compared with the engine's again by the next reconcile pass, which
// sends the recorded ones. A line Syncthing cannot use stops the folder, so
// no write holding one is made; lines of the records Syncthing cannot use
// (from a list written before it was checked) are left out of what is sent
// and shown on the folder's sync, and lines Syncthing refused all the same
// are sent again only once they change.

#include "projects/ProjectController.h"

#include "engine/PlatformError.h"
#include "engine/SyncEngine.h"
#include "engine/SyncEngineError.h"
#include "engine/syncthing/SyncthingIgnoreSyntax.h"
#include "utilities/IsolatedName.h"

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
// inside an entry would become several patterns, which the user hears in
// words of their own. Any other line Syncthing cannot use would stop the
// folder.
std::optional<QString> ProjectController::refuseUnusable(const QStringList &lines)
{
    const bool broken = std::any_of(lines.cbegin(), lines.cend(), [](const QString &line) {
        return line.contains(QLatin1Char('\r')) || line.contains(QLatin1Char('\n')) || line.contains(QChar(0));
    });
    std::optional<QString> refusal = broken ? std::optional(lineBreakText) : std::nullopt;
    if (!refusal)
        if (const std::optional<QString> unusable = SyncthingIgnoreSyntax::refusal(lines))
            refusal = *unusable + QStringLiteral(" The folder\u2019s ignore list was left as it was.");
    if (refusal) {
        setLastErrorMessage(*refusal);
        m_ignoreRefusalShown = refusal;
    }
    return refusal;
}

QStringList ProjectController::usableIgnores(const QStringList &lines)
{
    QStringList usable;
    for (const QString &line : lines)
        if (!SyncthingIgnoreSyntax::problem(line))
            usable.append(line);
    return usable;
}

std::optional<QString> ProjectController::unusableLinesText(const ProjectFolder &folder)
{
    QStringList sentences;
    for (const QString &line : wantedIgnores(folder)) {
        const std::optional<QString> problem = SyncthingIgnoreSyntax::problem(line);
        if (!problem)
            continue;
        const QString sentence =
            QStringLiteral("Syncthing can\u2019t use the ignore pattern \u201C%1\u201D of the folder \u201C%2\u201D "
                           "(%3), so the folder syncs without it.")
                .arg(SyncthingIgnoreSyntax::named(line), isolatedName(folder.label), *problem);
        if (!sentences.contains(sentence))
            sentences.append(sentence);
    }
    return sentences.isEmpty() ? std::nullopt : std::optional(sentences.join(QLatin1Char(' ')));
}

std::optional<QString> ProjectController::ignoreRefusal(const QString &engineID) const
{
    const auto found = m_ignoreRefusals.constFind(canonical(engineID));
    return found == m_ignoreRefusals.constEnd() ? std::nullopt : std::optional(*found);
}

void ProjectController::showIgnoreRefusal(const QString &stID, std::optional<QString> text)
{
    if (ignoreRefusal(stID) == text)
        return;
    if (text)
        m_ignoreRefusals.insert(canonical(stID), *text);
    else
        m_ignoreRefusals.remove(canonical(stID));
    emit ignoreRefusalsChanged();
}

bool ProjectController::ignoresRefused(const QString &stID, const QStringList &lines) const
{
    const auto found = m_refusedIgnoreLines.constFind(canonical(stID));
    return found != m_refusedIgnoreLines.constEnd() && *found == lines;
}

QStringList ProjectController::wantedIgnores(const ProjectFolder &folder)
{
    return mergedIgnores(userLines(folder), folder.purgeProtected);
}

QCoro::Task<std::optional<QString>> ProjectController::writeIgnoresBySyncthingID(QString stID,
                                                                                QStringList userPatterns)
{
    if (const std::optional<QString> refusal = refuseUnusable(userPatterns))
        co_return refusal;
    QStringList lines = userPatterns;
    if (const auto key = folderByEngineID(stID)) {
        lines = mergedIgnores(userPatterns, folderOf(key->first, key->second)->purgeProtected);
        editFolder(key->first, key->second, [&lines](ProjectFolder &folder) { folder.ignorePatterns = lines; });
        save();
    }
    const QPointer<ProjectController> self(this);
    const std::optional<QString> failure = co_await sendIgnores(stID, usableIgnores(lines));
    if (!self)
        co_return failure;
    // A later write that lands takes back the refusal it still shows: the
    // list is as the user now wants it.
    if (!failure && m_ignoreRefusalShown && m_lastErrorMessage == m_ignoreRefusalShown)
        setLastErrorMessage(std::nullopt);
    co_return failure;
}

QCoro::Task<std::optional<QString>> ProjectController::sendIgnores(QString stID, QStringList lines)
{
    const QPointer<ProjectController> self(this);
    const QString key = canonical(stID);
    m_ignoresInPlace.remove(key);
    std::optional<QString> failure;
    bool refused = false;
    try {
        co_await m_engine.updateIgnorePatterns(stID, lines);
    } catch (const SyncEngineError &error) {
        refused = error.kind() == SyncEngineError::Kind::Refused;
        failure = describeError(error);
    } catch (const std::exception &error) {
        failure = describeError(error);
    }
    if (!self)
        co_return failure;
    const auto owner = folderByEngineID(stID);
    const std::optional<ProjectFolder> folder = owner ? folderOf(owner->first, owner->second) : std::nullopt;
    if (!failure) {
        m_ignoresInPlace.insert(key);
        m_refusedIgnoreLines.remove(key);
        showIgnoreRefusal(stID, folder ? unusableLinesText(*folder) : std::nullopt);
        co_return std::nullopt;
    }
    if (!refused)
        co_return QStringLiteral("Couldn\u2019t save the ignore patterns \u2014 ") + *failure;
    m_refusedIgnoreLines.insert(key, lines);
    showIgnoreRefusal(stID, QStringLiteral("Syncthing refused the ignore patterns of the folder \u201C%1\u201D: %2")
                                .arg(isolatedName(folder ? folder->label : stID), *failure));
    co_return QStringLiteral("Syncthing refused the ignore patterns \u2014 ") + *failure;
}

std::shared_ptr<AsyncMutex> ProjectController::sharedIgnoresLock(const QString &stID)
{
    std::shared_ptr<AsyncMutex> &lock = m_ignoreLocks[canonical(stID)];
    if (!lock)
        lock = std::make_shared<AsyncMutex>();
    return lock;
}

QCoro::Task<std::optional<QString>> ProjectController::editIgnores(QString stID, IgnoreEdit edit)
{
    const AsyncMutex::Guard guard = co_await ignoresLock(stID).lock();
    QStringList lines;
    try {
        lines = co_await m_engine.ignorePatterns(stID);
    } catch (const std::exception &error) {
        // Writing an edit of lines never read would drop the folder's own.
        co_return QStringLiteral("Couldn\u2019t read the ignore patterns, so nothing was changed \u2014 ") +
            describeError(error);
    }
    // The edit sees the user's lines only: the write puts the protection
    // lines back in front, and they would otherwise be there twice.
    if (const auto key = folderByEngineID(stID))
        lines = userLines(lines, folderOf(key->first, key->second)->purgeProtected);
    const QStringList edited = edit(std::move(lines));
    const std::optional<QString> failure = co_await writeIgnoresBySyncthingID(stID, edited);
    co_return failure;
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
        if (!folder || refuseUnusable(defaults))
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
    if (!key || (protect && refuseUnusable(line)))
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
    // An old line of the records that Syncthing refuses would have the whole
    // list refused, and the protection with it.
    const QStringList lines = usableIgnores(folderOf(key->first, key->second)->ignorePatterns);
    const std::optional<QString> failure = co_await sendIgnores(stID, lines);
    co_return !failure;
}

} // namespace tw
