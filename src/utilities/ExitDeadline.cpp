#include "utilities/ExitDeadline.h"

#include <cstdio>
#include <unistd.h>

namespace tw {

ExitDeadline::ExitDeadline(Ending ending, std::chrono::milliseconds grace)
    : m_ending(std::move(ending)), m_grace(grace)
{
}

ExitDeadline::~ExitDeadline()
{
    {
        const std::lock_guard lock(m_mutex);
        m_disarmed = true;
    }
    m_over.notify_all();
    if (m_watch.joinable())
        m_watch.join();
}

void ExitDeadline::arm(int code)
{
    if (m_watch.joinable())
        return;
    m_watch = std::thread([this, code] {
        std::unique_lock lock(m_mutex);
        if (m_over.wait_for(lock, m_grace, [this] { return m_disarmed; }))
            return;
        lock.unlock();
        m_ending(code);
    });
}

void ExitDeadline::endNow(int code)
{
    std::fflush(nullptr);
    ::_exit(code);
}

} // namespace tw
