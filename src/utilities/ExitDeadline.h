#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tw {

// Bounds the end of the process once its event loop has returned. Pool
// threads, the creation-date worker and Qt's own exit wait for what is under
// way, and a look-up on a vanished network mount never comes back: the
// process would stay for as long as the mount is gone, holding the instance
// lock, with no window left to quit. Armed, it gives the orderly end `grace`;
// past that, `ending` runs on a thread of its own (it lets go of what a
// successor needs and ends the process without waiting for anyone). Going
// out of scope disarms it.
class ExitDeadline
{
public:
    using Ending = std::function<void(int code)>;
    static constexpr std::chrono::seconds defaultGrace{10};

    explicit ExitDeadline(Ending ending, std::chrono::milliseconds grace = defaultGrace);
    ~ExitDeadline();
    ExitDeadline(const ExitDeadline &) = delete;
    ExitDeadline &operator=(const ExitDeadline &) = delete;

    // Starts the count; code is what the process ends with. Once only.
    void arm(int code);

    // Ends the process at once with code, its standard streams flushed,
    // running no exit handler and waiting for no thread.
    [[noreturn]] static void endNow(int code);

private:
    Ending m_ending;
    std::chrono::milliseconds m_grace;
    std::mutex m_mutex;
    std::condition_variable m_over;
    bool m_disarmed = false;
    std::thread m_watch;
};

} // namespace tw
