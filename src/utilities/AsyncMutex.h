#pragma once

#include <coroutine>
#include <deque>

namespace tw {

// A mutex for coroutines on one thread's event loop: `auto guard = co_await
// mutex.lock();` suspends until earlier holders are done, in arrival order. It
// keeps an operation atomic across its own co_awaits. Waiters resume from the
// event loop, never inside the unlocking call. The mutex must outlive its
// waiters.
class AsyncMutex
{
public:
    class Guard
    {
    public:
        Guard() = default;
        explicit Guard(AsyncMutex *mutex) : m_mutex(mutex) {}
        Guard(Guard &&other) noexcept : m_mutex(other.m_mutex) { other.m_mutex = nullptr; }
        Guard &operator=(Guard &&other) noexcept;
        Guard(const Guard &) = delete;
        Guard &operator=(const Guard &) = delete;
        ~Guard() { release(); }
        void release();

    private:
        AsyncMutex *m_mutex = nullptr;
    };

    class Awaiter
    {
    public:
        explicit Awaiter(AsyncMutex &mutex) : m_mutex(mutex) {}
        bool await_ready();
        void await_suspend(std::coroutine_handle<> handle) { m_mutex.m_waiters.push_back(handle); }
        Guard await_resume() { return Guard(&m_mutex); }

    private:
        AsyncMutex &m_mutex;
    };

    AsyncMutex() = default;
    AsyncMutex(const AsyncMutex &) = delete;
    AsyncMutex &operator=(const AsyncMutex &) = delete;

    Awaiter lock() { return Awaiter(*this); }
    bool isLocked() const { return m_locked; }

private:
    void unlock();

    bool m_locked = false;
    std::deque<std::coroutine_handle<>> m_waiters;
};

} // namespace tw
