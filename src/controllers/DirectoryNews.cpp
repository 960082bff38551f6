#include "controllers/DirectoryNews.h"

namespace tw {
namespace {

// The folder's root is nobody's directory to date: it has no record.
QString parentOf(const QString &item)
{
    const qsizetype slash = item.lastIndexOf(QLatin1Char('/'));
    return slash > 0 ? item.left(slash) : QString();
}

} // namespace

void DirectoryNews::merge(const DirectoryNews &other)
{
    for (auto it = other.changedHere.cbegin(); it != other.changedHere.cend(); ++it)
        changedHere[it.key()].append(it.value());
    reported.unite(other.reported);
    pulled.unite(other.pulled);
    gone.unite(other.gone);
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
        if (pulled.contains(path))
            news.pulled.insert(path);
        if (gone.contains(path))
            news.gone.insert(path);
    }
    return news;
}

// A file added, changed or removed here, or a directory removed, changed its
// directory's content here; a directory found changed is new here, or only
// its inode moved: the pass tells which.
void DirectoryNews::noteLocalChange(const QString &item, bool directory, bool deleted,
                                    std::optional<qint64> foundAtMs)
{
    if (item.isEmpty())
        return;
    if (directory && !deleted) {
        reported.insert(item);
        return;
    }
    if (directory)
        gone.insert(item);
    if (const QString parent = parentOf(item); !parent.isEmpty())
        changedHere[parent].append(Change{item, deleted, foundAtMs});
}

void DirectoryNews::notePull(const QString &item, bool directory, bool deleted)
{
    if (item.isEmpty())
        return;
    if (directory)
        (deleted ? gone : pulled).insert(item);
    if (const QString parent = parentOf(item); !parent.isEmpty())
        pulled.insert(parent);
}

} // namespace tw
