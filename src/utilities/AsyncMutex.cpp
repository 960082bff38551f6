#include "utilities/AsyncMutex.h"

#include <QTimer>

namespace tw {

AsyncMutex::Guard &AsyncMutex::Guard::operator=(Guard &&other) noexcept
{
    if (this != &other) {
        release();
        m_mutex = other.m_mutex;
        other.m_mutex = nullptr;
    }
    return *this;
}

void AsyncMutex::Guard::release()
{
    if (m_mutex) {
        m_mutex->unlock();
        m_mutex = nullptr;
    }
}

bool AsyncMutex::Awaiter::await_ready()
{
    if (m_mutex.m_locked)
        return false;
    m_mutex.m_locked = true;
    return true;
}

void AsyncMutex::unlock()
{
    if (m_waiters.empty()) {
        m_locked = false;
        return;
    }
    // Ownership passes straight to the next waiter; it stays locked meanwhile.
    std::coroutine_handle<> next = m_waiters.front();
    m_waiters.pop_front();
    QTimer::singleShot(0, [next] { next.resume(); });
}

} // namespace tw
