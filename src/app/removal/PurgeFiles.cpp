#include "app/removal/PurgeFiles.h"

#include "platform/AllocatedSize.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>

namespace tw {
namespace {

std::optional<struct stat> linkStatus(const QString &path)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return info;
}

std::optional<QString> realPath(const QString &path)
{
    char *resolved = ::realpath(QFile::encodeName(path).constData(), nullptr);
    if (!resolved)
        return std::nullopt;
    const QString result = QFile::decodeName(resolved);
    std::free(resolved);
    return result;
}

// realpath() of the longest prefix that exists, followed by the rest as
// written: canonicalFilePath() gives nothing at all below a missing parent.
// An entry that is there but cannot be resolved (a dangling or looping link)
// gives nothing, so that it is never taken for a place inside the folder.
// A path the file system cannot take resolves to nothing; each step up must
// shorten the path (QFileInfo::path() stops shortening past 32,767
// characters), so the walk ends on any input.
std::optional<QString> resolvedPath(const QString &absolutePath)
{
    QString existing = QDir::cleanPath(absolutePath);
    if (QFile::encodeName(existing).size() >= PATH_MAX)
        return std::nullopt;
    QStringList rest;
    while (!linkStatus(existing)) {
        const qsizetype slash = existing.lastIndexOf(QLatin1Char('/'));
        if (slash < 0 || existing == QLatin1String("/"))
            return std::nullopt;
        rest.prepend(existing.mid(slash + 1));
        existing.truncate(std::max<qsizetype>(slash, 1));
    }
    const std::optional<QString> resolved = realPath(existing);
    if (!resolved)
        return std::nullopt;
    rest.prepend(*resolved);
    return QDir::cleanPath(rest.join(QLatin1Char('/')));
}

// Without a data home Qt "trashes" into ./files of the working directory and
// reports success; a trash path that is empty or relative is such a move.
bool moveToTrash(const QString &path)
{
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty() || !QDir().mkpath(dataHome))
        return false;
    QString trashed;
    return QFile::moveToTrash(path, &trashed) && !trashed.isEmpty() && QDir::isAbsolutePath(trashed);
}

bool removeOutright(const QString &path)
{
    const std::optional<struct stat> info = linkStatus(path);
    if (!info)
        return false;
    return S_ISDIR(info->st_mode) ? QDir(path).removeRecursively() : QFile::remove(path);
}

} // namespace

QString purgeTargetPath(const QString &root, const QString &relativePath)
{
    return QDir::cleanPath(root + QLatin1Char('/') + relativePath);
}

bool purgeTargetContained(const QString &root, const QString &relativePath)
{
    if (!QDir::isAbsolutePath(root))
        return false;
    const std::optional<QString> resolvedRoot = resolvedPath(root);
    const std::optional<QString> parent = resolvedPath(QFileInfo(purgeTargetPath(root, relativePath)).path());
    if (!resolvedRoot || !parent)
        return false;
    const QString prefix = resolvedRoot->endsWith(QLatin1Char('/')) ? *resolvedRoot : *resolvedRoot + QLatin1Char('/');
    return *parent == *resolvedRoot || parent->startsWith(prefix);
}

bool purgeTargetParentPlain(const QString &root, const QString &relativePath)
{
    const std::optional<QString> resolvedRoot = realPath(root);
    const std::optional<QString> parent = realPath(QFileInfo(purgeTargetPath(root, relativePath)).path());
    const QString written = QFileInfo(QDir::cleanPath(relativePath)).path();
    return resolvedRoot && parent && *parent == QDir::cleanPath(*resolvedRoot + QLatin1Char('/') + written);
}

bool purgeTargetIsSymLink(const QString &path)
{
    const std::optional<struct stat> info = linkStatus(path);
    return info && S_ISLNK(info->st_mode);
}

bool purgeTargetExists(const QString &path)
{
    return linkStatus(path).has_value();
}

bool purgeTargetMissing(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

qint64 itemSize(const QString &path)
{
    const std::optional<struct stat> info = linkStatus(path);
    if (!info)
        return 0;
    if (S_ISDIR(info->st_mode))
        return allocatedSizeBelow(path);
    return qint64(info->st_blocks) * 512;
}

std::optional<qint64> discardPurgeTarget(const QString &path)
{
    const qint64 size = itemSize(path);
    if (moveToTrash(path) || removeOutright(path))
        return size;
    return std::nullopt;
}

} // namespace tw
