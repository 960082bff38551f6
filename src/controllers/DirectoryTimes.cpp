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

void DirectoryTimes::apply(const QString &root, const QList<Entry> &entries, std::optional<qint64> madeSinceMs)
{
    for (const Entry &entry : entries) {
        if (!entry.modified)
            continue;
        const std::optional<FolderItem> item = FolderItem::open(root, entry.relativePath);
        if (!item || item->type() != std::filesystem::file_type::directory)
            continue;
        if (!madeSinceMs || item->bornMs().value_or(-1) >= *madeSinceMs)
            item->setModificationTime(*entry.modified);
    }
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

QStringList DirectoryTimes::stamp(const QString &root, const QStringList &paths)
{
    QStringList written;
    for (const QString &path : paths) {
        const std::optional<FolderItem> item = directory(root, path);
        if (!item || carriedBy(*item) == item->modifiedSeconds())
            continue;
        if (item->setDirectoryAttribute(FileDates::modifiedAttributeName,
                                        QByteArray::number(item->modifiedSeconds())) == 0)
            written.append(path);
    }
    return written;
}

QStringList DirectoryTimes::carry(const QString &root, const QStringList &paths)
{
    QStringList written;
    for (const QString &path : paths) {
        const std::optional<FolderItem> item = directory(root, path);
        const std::optional<qint64> time = item ? carriedBy(*item) : std::nullopt;
        // setModificationTime() leaves a directory alone that has the time.
        if (time && item->setModificationTime(*time) == 0 && item->modifiedSeconds() != *time)
            written.append(path);
    }
    return written;
}

QStringList DirectoryTimes::bringForward(const QString &root, const QHash<QString, QString> &savedInto)
{
    QStringList moved;
    for (auto it = savedInto.cbegin(); it != savedInto.cend(); ++it) {
        const std::optional<FolderItem> item = directory(root, it.key());
        const std::optional<FolderItem> file = FolderItem::open(root, it.value());
        const std::optional<qint64> born = file ? file->bornMs() : std::nullopt;
        if (item && born && *born / 1000 > item->modifiedSeconds() && item->setModificationTime(*born / 1000) == 0)
            moved.append(it.key());
    }
    return moved;
}

QStringList DirectoryTimes::restamp(const QString &root, const QHash<QString, qint64> &stampedHere)
{
    QStringList written;
    for (auto it = stampedHere.cbegin(); it != stampedHere.cend(); ++it) {
        const std::optional<FolderItem> item = directory(root, it.key());
        if (!item || carriedBy(*item) || item->setModificationTime(it.value()) != 0)
            continue;
        if (item->setDirectoryAttribute(FileDates::modifiedAttributeName, QByteArray::number(it.value())) == 0)
            written.append(it.key());
    }
    return written;
}

QStringList DirectoryTimes::stampNew(const QString &root, const QStringList &paths)
{
    QStringList fresh;
    for (const QString &path : paths) {
        const std::optional<FolderItem> item = directory(root, path);
        if (!item || carriedBy(*item))
            continue;
        fresh.append(path);
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        if (slash > 0)
            fresh.append(path.left(slash));
    }
    return stamp(root, fresh);
}

QStringList DirectoryTimes::settled(const QString &root, const QStringList &paths)
{
    QStringList done;
    for (const QString &path : paths) {
        const std::optional<FolderItem> item = directory(root, path);
        if (!item || carriedBy(*item))
            done.append(path);
    }
    return done;
}

std::optional<qint64> DirectoryTimes::carried(const QString &root, const QString &path)
{
    const std::optional<FolderItem> item = directory(root, path);
    return item ? carriedBy(*item) : std::nullopt;
}

} // namespace tw
