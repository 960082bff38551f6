#pragma once

#include <QString>

#include <chrono>

namespace tw::test {

// Watches the calls that look a path up (statx, stat, lstat, access: what
// QFileInfo and QDir make) on paths below a prefix while it lives: it counts
// those the thread that made it makes, and holds every one, from any thread,
// for `delay`, as a slow or vanished mount holds them. The test binary's own
// definitions come before the C library's, so calls made inside Qt are seen
// too. One at a time.
class StatHook
{
public:
    // Held until the hook is released, as a mount that stopped answering
    // holds them.
    static constexpr std::chrono::milliseconds untilReleased = std::chrono::milliseconds::max();

    explicit StatHook(const QString &prefix, std::chrono::milliseconds delay = {});
    ~StatHook();
    StatHook(const StatHook &) = delete;
    StatHook &operator=(const StatHook &) = delete;

    // The calls made on the thread that made this hook.
    int callsOnOwnThread() const;
    // Lets every held call go on and stops watching.
    void release();
};

} // namespace tw::test
