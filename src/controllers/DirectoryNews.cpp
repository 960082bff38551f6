#include "controllers/DirectoryNews.h"

namespace tw {

// The folder's root is nobody's directory to date: it has no record.
QString DirectoryNews::parentOf(const QString &item)
{
    const qsizetype slash = item.lastIndexOf(QLatin1Char('/'));
    return slash > 0 ? item.left(slash) : QString();
}

void DirectoryNews::merge(const DirectoryNews &later)
{
    for (auto it = later.changedHere.cbegin(); it != later.changedHere.cend(); ++it)
        changedHere[it.key()].append(it.value());
    reported.unite(later.reported);
    foundFirst.unite(later.foundFirst - pulled);
    pulled.unite(later.pulled);
    for (auto it = later.pulledAtMs.cbegin(); it != later.pulledAtMs.cend(); ++it)
        pulledAtMs.insert(it.key(), std::max(it.value(), pulledAtMs.value(it.key())));
    gone.unite(later.gone);
    // The first placement counts: the scanner's report of it may come after
    // a later pull of the same file.
    for (auto it = later.placedAtMs.cbegin(); it != later.placedAtMs.cend(); ++it)
        placedAtMs.insert(it.key(), placedAtMs.value(it.key(), it.value()));
}

void DirectoryNews::mergeAfterJournal(const DirectoryNews &told)
{
    foundFirst -= told.reported;
    merge(told);
    // The journal holds memory's pulls too: where memory saw the pull as
    // well, its verdict stands; where it did not (a pull written down before
    // a restart), the journal's order does.
    foundFirst.unite(told.foundFirst & told.pulled);
}

QSet<QString> DirectoryNews::directories() const
{
    QSet<QString> paths = reported + pulled + gone;
    for (auto it = changedHere.cbegin(); it != changedHere.cend(); ++it)
        paths.insert(it.key());
    return paths;
}

DirectoryNews DirectoryNews::only(const QSet<QString> &paths) const
{
    DirectoryNews news;
    for (const QString &path : paths) {
        if (const auto changes = changedHere.constFind(path); changes != changedHere.cend())
            news.changedHere.insert(path, *changes);
        if (reported.contains(path))
            news.reported.insert(path);
        if (foundFirst.contains(path))
            news.foundFirst.insert(path);
        if (pulled.contains(path))
            news.pulled.insert(path);
        if (pulledAtMs.contains(path))
            news.pulledAtMs.insert(path, pulledAtMs.value(path));
        if (gone.contains(path))
            news.gone.insert(path);
    }
    // The files placed in them: a teammate that stamps nothing moves a
    // directory's time only by those.
    for (auto it = placedAtMs.cbegin(); it != placedAtMs.cend(); ++it)
        if (paths.contains(parentOf(it.key())))
            news.placedAtMs.insert(it.key(), it.value());
    return news;
}

// A file added, changed or removed here, or a directory removed, changed its
// directory's content here; a directory found changed is new here, or only
// its inode moved: the pass asks the engine which, and where the engine
// cannot tell, whether it was found before a pull told of it.
void DirectoryNews::noteLocalChange(const QString &item, bool directory, bool deleted,
                                    std::optional<qint64> foundAtMs)
{
    if (item.isEmpty())
        return;
    if (directory && !deleted) {
        reported.insert(item);
        if (!pulled.contains(item))
            foundFirst.insert(item);
        return;
    }
    if (directory)
        gone.insert(item);
    if (const QString parent = parentOf(item); !parent.isEmpty())
        changedHere[parent].append(Change{item, deleted, foundAtMs});
}

void DirectoryNews::notePlaced(const QString &item, qint64 atMs)
{
    if (!placedAtMs.contains(item))
        placedAtMs.insert(item, atMs);
}

void DirectoryNews::notePull(const QString &item, bool directory, bool deleted, std::optional<qint64> atMs)
{
    if (item.isEmpty())
        return;
    const auto moved = [&](const QString &path) {
        pulled.insert(path);
        if (atMs)
            pulledAtMs.insert(path, std::max(*atMs, pulledAtMs.value(path)));
    };
    if (directory && deleted)
        gone.insert(item);
    else if (directory)
        moved(item);
    if (const QString parent = parentOf(item); !parent.isEmpty())
        moved(parent);
}

} // namespace tw
