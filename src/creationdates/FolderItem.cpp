#include "creationdates/FolderItem.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>

namespace tw {

namespace {

namespace fs = std::filesystem;

fs::file_type typeOf(mode_t mode)
{
    if (S_ISREG(mode))
        return fs::file_type::regular;
    if (S_ISDIR(mode))
        return fs::file_type::directory;
    if (S_ISLNK(mode))
        return fs::file_type::symlink;
    return fs::file_type::unknown;
}

// O_NOFOLLOW with O_DIRECTORY refuses a link (ENOTDIR) instead of entering it.
int enter(int directory, const QString &name)
{
    return ::openat(directory, QFile::encodeName(name).constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

} // namespace

std::optional<FolderItem> FolderItem::open(const QString &folder, const QString &relative)
{
    QStringList components = relative.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (components.isEmpty() || components.contains(QStringLiteral(".")) || components.contains(QStringLiteral("..")))
        return std::nullopt;
    const QByteArray name = QFile::encodeName(components.takeLast());
    int directory = ::open(QFile::encodeName(folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (const QString &component : std::as_const(components)) {
        if (directory < 0)
            return std::nullopt;
        const int next = enter(directory, component);
        ::close(directory);
        directory = next;
    }
    struct statx info {};
    if (directory < 0
        || ::statx(directory, name.constData(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) {
        if (directory >= 0)
            ::close(directory);
        return std::nullopt;
    }
    // File systems without birth times leave the bit clear.
    const std::optional<qint64> born = (info.stx_mask & STATX_BTIME) != 0 && info.stx_btime.tv_sec > 0
        ? std::optional(qint64(info.stx_btime.tv_sec) * 1000 + info.stx_btime.tv_nsec / 1'000'000)
        : std::nullopt;
    const timespec modified{static_cast<time_t>(info.stx_mtime.tv_sec), static_cast<long>(info.stx_mtime.tv_nsec)};
    return FolderItem(directory, name, typeOf(info.stx_mode), modified, born);
}

FolderItem::FolderItem(int directory, QByteArray name, std::filesystem::file_type type, timespec modified,
                       std::optional<qint64> bornMs)
    : m_directory(directory), m_name(std::move(name)), m_type(type), m_modified(modified), m_bornMs(bornMs)
{
}

FolderItem::FolderItem(FolderItem &&other) noexcept
    : m_directory(std::exchange(other.m_directory, -1))
    , m_name(std::move(other.m_name))
    , m_type(other.m_type)
    , m_modified(other.m_modified)
    , m_bornMs(other.m_bornMs)
{
}

FolderItem::~FolderItem()
{
    if (m_directory >= 0)
        ::close(m_directory);
}

int FolderItem::setModificationTime(qint64 secondsSince1970) const
{
    if (m_modified.tv_sec == secondsSince1970 && m_modified.tv_nsec == 0)
        return 0;
    const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(secondsSince1970), 0}};
    if (::utimensat(m_directory, m_name.constData(), times, AT_SYMLINK_NOFOLLOW) == 0)
        return 0;
    return errno;
}

int FolderItem::openDirectory() const
{
    if (m_type != std::filesystem::file_type::directory)
        return -1;
    return ::openat(m_directory, m_name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

std::optional<QByteArray> FolderItem::directoryAttribute(const char *name) const
{
    const int directory = openDirectory();
    if (directory < 0)
        return std::nullopt;
    std::optional<QByteArray> value;
    const ssize_t size = ::fgetxattr(directory, name, nullptr, 0);
    if (size >= 0) {
        QByteArray read(size, Qt::Uninitialized);
        // The value may have changed size between the two calls; such a read
        // is not trusted.
        if (::fgetxattr(directory, name, read.data(), read.size()) == size)
            value = read;
    }
    ::close(directory);
    return value;
}

int FolderItem::setDirectoryAttribute(const char *name, const QByteArray &value) const
{
    const int directory = openDirectory();
    if (directory < 0)
        return m_type == std::filesystem::file_type::directory ? errno : ENOTDIR;
    const int result = ::fsetxattr(directory, name, value.constData(), value.size(), 0) == 0 ? 0 : errno;
    ::close(directory);
    return result;
}

} // namespace tw
