// Preloaded into the application, it plays a network mount that stopped
// answering: every look-up (statx, stat, lstat, access) of a path below
// $HELD_LOOKUPS_BELOW never returns while the process lives. The first one
// held creates the file $HELD_LOOKUPS_BELOW.held, so that a test knows a
// thread is stuck.

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const char *heldPrefix()
{
    static const char *const prefix = std::getenv("HELD_LOOKUPS_BELOW");
    return prefix;
}

bool below(const char *path)
{
    const char *prefix = heldPrefix();
    if (prefix == nullptr || path == nullptr)
        return false;
    const std::size_t length = std::strlen(prefix);
    return std::strncmp(path, prefix, length) == 0 && (path[length] == '\0' || path[length] == '/');
}

void holdIfBelow(const char *path)
{
    if (!below(path))
        return;
    static std::atomic_bool told{false};
    if (!told.exchange(true)) {
        const std::string mark = std::string(heldPrefix()) + ".held";
        const int file = ::open(mark.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (file >= 0)
            ::close(file);
    }
    while (true)
        std::this_thread::sleep_for(std::chrono::hours(1));
}

template <typename Function>
Function real(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

int statx(int directory, const char *__restrict path, int flags, unsigned int mask,
          struct statx *__restrict buffer) noexcept
{
    static const auto next = real<decltype(&statx)>("statx");
    holdIfBelow(path);
    return next(directory, path, flags, mask, buffer);
}

int stat(const char *__restrict path, struct stat *__restrict buffer) noexcept
{
    static const auto next = real<decltype(&stat)>("stat");
    holdIfBelow(path);
    return next(path, buffer);
}

int stat64(const char *__restrict path, struct stat64 *__restrict buffer) noexcept
{
    static const auto next = real<decltype(&stat64)>("stat64");
    holdIfBelow(path);
    return next(path, buffer);
}

int lstat(const char *__restrict path, struct stat *__restrict buffer) noexcept
{
    static const auto next = real<decltype(&lstat)>("lstat");
    holdIfBelow(path);
    return next(path, buffer);
}

int lstat64(const char *__restrict path, struct stat64 *__restrict buffer) noexcept
{
    static const auto next = real<decltype(&lstat64)>("lstat64");
    holdIfBelow(path);
    return next(path, buffer);
}

int access(const char *path, int mode) noexcept
{
    static const auto next = real<decltype(&access)>("access");
    holdIfBelow(path);
    return next(path, mode);
}

} // extern "C"
