#include "StatHook.h"

#include <QFile>

#include <atomic>
#include <cstring>
#include <dlfcn.h>
#include <pthread.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tw::test {
namespace {

// Plain statics: a pool thread may still be in a stat when the hook ends.
std::atomic<bool> armed{false};
std::atomic<int> ownThreadCalls{0};
pthread_t ownThread;
char prefix[4096];
std::size_t prefixLength = 0;
std::chrono::milliseconds delay{};

bool below(const char *path)
{
    if (path == nullptr || std::strncmp(path, prefix, prefixLength) != 0)
        return false;
    const char next = path[prefixLength];
    return next == '\0' || next == '/';
}

void note(const char *path)
{
    if (!armed.load() || !below(path))
        return;
    if (pthread_equal(pthread_self(), ownThread))
        ++ownThreadCalls;
    if (delay == StatHook::untilReleased) {
        while (armed.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } else if (delay.count() > 0) {
        std::this_thread::sleep_for(delay);
    }
}

template <typename Function>
Function real(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

StatHook::StatHook(const QString &path, std::chrono::milliseconds wait)
{
    const QByteArray encoded = QFile::encodeName(path);
    prefixLength = std::min<std::size_t>(encoded.size(), sizeof prefix - 1);
    std::memcpy(prefix, encoded.constData(), prefixLength);
    prefix[prefixLength] = '\0';
    delay = wait;
    ownThread = pthread_self();
    ownThreadCalls = 0;
    armed = true;
}

StatHook::~StatHook() { release(); }

void StatHook::release() { armed = false; }

int StatHook::callsOnOwnThread() const { return ownThreadCalls.load(); }

} // namespace tw::test

extern "C" {

int statx(int directory, const char *__restrict path, int flags, unsigned int mask,
          struct statx *__restrict buffer) noexcept
{
    static const auto next = tw::test::real<decltype(&statx)>("statx");
    tw::test::note(path);
    return next(directory, path, flags, mask, buffer);
}

int stat(const char *__restrict path, struct stat *__restrict buffer) noexcept
{
    static const auto next = tw::test::real<decltype(&stat)>("stat");
    tw::test::note(path);
    return next(path, buffer);
}

int stat64(const char *__restrict path, struct stat64 *__restrict buffer) noexcept
{
    static const auto next = tw::test::real<decltype(&stat64)>("stat64");
    tw::test::note(path);
    return next(path, buffer);
}

int lstat(const char *__restrict path, struct stat *__restrict buffer) noexcept
{
    static const auto next = tw::test::real<decltype(&lstat)>("lstat");
    tw::test::note(path);
    return next(path, buffer);
}

int lstat64(const char *__restrict path, struct stat64 *__restrict buffer) noexcept
{
    static const auto next = tw::test::real<decltype(&lstat64)>("lstat64");
    tw::test::note(path);
    return next(path, buffer);
}

int access(const char *path, int mode) noexcept
{
    static const auto next = tw::test::real<decltype(&access)>("access");
    tw::test::note(path);
    return next(path, mode);
}

} // extern "C"
