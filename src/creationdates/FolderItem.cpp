#include "creationdates/FolderItem.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
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
    struct stat info {};
    if (directory < 0 || ::fstatat(directory, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (directory >= 0)
            ::close(directory);
        return std::nullopt;
    }
    return FolderItem(directory, name, typeOf(info.st_mode), info.st_mtim);
}

FolderItem::FolderItem(int directory, QByteArray name, std::filesystem::file_type type, timespec modified)
    : m_directory(directory), m_name(std::move(name)), m_type(type), m_modified(modified)
{
}

FolderItem::FolderItem(FolderItem &&other) noexcept
    : m_directory(std::exchange(other.m_directory, -1))
    , m_name(std::move(other.m_name))
    , m_type(other.m_type)
    , m_modified(other.m_modified)
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

} // namespace tw
