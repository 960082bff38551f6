#include "controllers/DirectoryTimes.h"

#include "creationdates/FileDates.h"
#include "creationdates/FolderItem.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace tw {
namespace {

bool below(const QString &relative)
{
    return !relative.isEmpty() && relative != QStringLiteral("..") && !relative.startsWith(QStringLiteral("../"))
        && !QDir::isAbsolutePath(relative);
}

} // namespace

// Dirs rather than AllDirs: with AllDirs the iterator would also go inside
// hidden directories such as the engine's own.
QList<DirectoryTimes::Entry> DirectoryTimes::list(const QString &root)
{
    QList<Entry> entries;
    const QDir base(root);
    QDirIterator it(root, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isSymLink() || !info.isDir())
            continue;
        // Computed rather than cut off by length: the stored root may end in
        // a slash or be spelt otherwise than the iterator spells it.
        const QString relative = base.relativeFilePath(info.filePath());
        if (!below(relative))
            continue;
        const QDateTime modified = info.lastModified();
        entries.append({relative, modified.isValid() ? std::optional(modified.toSecsSinceEpoch()) : std::nullopt});
    }
    return entries;
}

namespace {

std::optional<FolderItem> directory(const QString &root, const QString &path)
{
    std::optional<FolderItem> item = FolderItem::open(root, path);
    if (!item || item->type() != std::filesystem::file_type::directory)
        return std::nullopt;
    return item;
}

std::optional<qint64> carriedBy(const FolderItem &item)
{
    const std::optional<QByteArray> text = item.directoryAttribute(FileDates::modifiedAttributeName);
    return text ? FileDates::parseCrtime(*text) : std::nullopt;
}

} // namespace

std::optional<qint64> DirectoryTimes::carried(const QString &root, const QString &path)
{
    const std::optional<FolderItem> item = directory(root, path);
    return item ? carriedBy(*item) : std::nullopt;
}

} // namespace tw
