#include "RefusedXattrs.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <sys/xattr.h>
#include <unistd.h>

namespace tw::test {
namespace {

std::atomic<bool> armed{false};
char prefix[4096];
std::size_t prefixLength = 0;

bool below(const char *path)
{
    if (!armed.load() || path == nullptr || std::strncmp(path, prefix, prefixLength) != 0)
        return false;
    const char next = path[prefixLength];
    return next == '\0' || next == '/';
}

bool belowFile(int descriptor)
{
    if (!armed.load())
        return false;
    char path[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(descriptor);
    const ssize_t length = ::readlink(link.c_str(), path, sizeof path - 1);
    if (length < 0)
        return false;
    path[length] = '\0';
    return below(path);
}

template <typename Function>
Function real(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

int refused()
{
    errno = ENOTSUP;
    return -1;
}

} // namespace

RefusedXattrs::RefusedXattrs(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    prefixLength = std::min<std::size_t>(encoded.size(), sizeof prefix - 1);
    std::memcpy(prefix, encoded.constData(), prefixLength);
    prefix[prefixLength] = '\0';
    armed = true;
}

RefusedXattrs::~RefusedXattrs() { armed = false; }

} // namespace tw::test

extern "C" {

// The calls a path names, then those an open file names.
#define TW_REFUSED_BY_PATH(name, ...)                                                                        \
    {                                                                                                        \
        static const auto next = tw::test::real<decltype(&name)>(#name);                                     \
        return tw::test::below(path) ? tw::test::refused() : next(__VA_ARGS__);                              \
    }
#define TW_REFUSED_BY_FILE(name, ...)                                                                        \
    {                                                                                                        \
        static const auto next = tw::test::real<decltype(&name)>(#name);                                     \
        return tw::test::belowFile(fd) ? tw::test::refused() : next(__VA_ARGS__);                            \
    }

ssize_t getxattr(const char *path, const char *name, void *value, size_t size) noexcept
    TW_REFUSED_BY_PATH(getxattr, path, name, value, size)
ssize_t lgetxattr(const char *path, const char *name, void *value, size_t size) noexcept
    TW_REFUSED_BY_PATH(lgetxattr, path, name, value, size)
int setxattr(const char *path, const char *name, const void *value, size_t size, int flags) noexcept
    TW_REFUSED_BY_PATH(setxattr, path, name, value, size, flags)
int lsetxattr(const char *path, const char *name, const void *value, size_t size, int flags) noexcept
    TW_REFUSED_BY_PATH(lsetxattr, path, name, value, size, flags)
ssize_t fgetxattr(int fd, const char *name, void *value, size_t size) noexcept
    TW_REFUSED_BY_FILE(fgetxattr, fd, name, value, size)
int fsetxattr(int fd, const char *name, const void *value, size_t size, int flags) noexcept
    TW_REFUSED_BY_FILE(fsetxattr, fd, name, value, size, flags)

} // extern "C"
