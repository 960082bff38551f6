#include "creationdates/FileDates.h"

#include "creationdates/TreeWalk.h"
#include "utilities/ParseDecimal.h"
#include "utilities/TrimSpacesAndTabs.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace tw {

namespace {

bool hasSkippedComponent(const QString &path)
{
    const QStringList components = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return std::any_of(components.begin(), components.end(),
                       [](const QString &component) { return FileDates::skip().contains(component); });
}

} // namespace

const QSet<QString> &FileDates::skip()
{
    static const QSet<QString> names{QStringLiteral(".stfolder"), QStringLiteral(".stversions"),
                                     QStringLiteral(".stignore")};
    return names;
}

std::optional<qint64> FileDates::birthtime(const QString &path)
{
    struct statx info {};
    if (::statx(AT_FDCWD, QFile::encodeName(path).constData(), AT_STATX_SYNC_AS_STAT | AT_SYMLINK_NOFOLLOW,
                STATX_BTIME, &info) != 0)
        return std::nullopt;
    // File systems without birth times leave the bit clear and the field zero.
    if ((info.stx_mask & STATX_BTIME) == 0 || info.stx_btime.tv_sec < 1)
        return std::nullopt;
    return info.stx_btime.tv_sec;
}

std::optional<qint64> FileDates::crtimeXattrValue(const QString &path)
{
    const QByteArray file = QFile::encodeName(path);
    const ssize_t size = ::lgetxattr(file.constData(), attributeName, nullptr, 0);
    if (size < 1)
        return std::nullopt;
    QByteArray value(size, Qt::Uninitialized);
    // The value may have changed size between the two calls; such a read is
    // not trusted.
    if (::lgetxattr(file.constData(), attributeName, value.data(), value.size()) != size)
        return std::nullopt;
    return parseCrtime(value);
}

int FileDates::setCrtimeXattr(const QString &path, qint64 seconds)
{
    const QByteArray text = QByteArray::number(seconds);
    if (::lsetxattr(QFile::encodeName(path).constData(), attributeName, text.constData(), text.size(), 0) == 0)
        return 0;
    return errno;
}

std::optional<qint64> FileDates::parseCrtime(const QByteArray &text)
{
    return parseDecimal(trimSpacesAndTabs(QString::fromUtf8(text)));
}

std::optional<qint64> FileDates::attributeToWrite(qint64 birthtime, std::optional<qint64> attribute)
{
    const qint64 earliest = std::min(attribute.value_or(birthtime), birthtime);
    if (!attribute || *attribute != earliest)
        return earliest;
    return std::nullopt;
}

bool FileDates::reconcileFile(const QString &path, const FileDateAccess &access)
{
    const std::optional<qint64> birth = access.birthtime(path);
    if (!birth)
        return false;
    // An attribute earlier than the birth time stays as it is: the birth time
    // cannot be lowered on Linux, and the attribute carries the earlier date on
    // to the other machines.
    const auto value = attributeToWrite(*birth, access.crtimeXattrValue(path));
    return value && access.setCrtimeXattr(path, *value) == 0;
}

bool FileDates::reconcile(const QString &tree, const FileDateAccess &access, const std::atomic_bool *stop)
{
    if (hasSkippedComponent(tree))
        return false;
    bool written = false;
    TreeWalk::walk(
        tree,
        [&access, &written](const QString &path, const QString &name, std::filesystem::file_type type) {
            if (skip().contains(name))
                return false;
            if (type == std::filesystem::file_type::regular)
                written = reconcileFile(path, access) || written;
            return true;
        },
        stop);
    return written;
}

} // namespace tw
