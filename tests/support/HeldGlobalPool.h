#pragma once

#include <QSemaphore>
#include <QThreadPool>
#include <memory>
#include <utility>

namespace tw {

// Takes every thread of the global pool until released, so that work started
// there waits for the test: a task awaiting it surely suspends, whatever the
// machine's load, and the test decides when it finishes. Its tasks hold the
// semaphores themselves, so releasing need not wait for them.
class HeldGlobalPool
{
public:
    HeldGlobalPool() = default;
    HeldGlobalPool(const HeldGlobalPool &) = delete;
    HeldGlobalPool &operator=(const HeldGlobalPool &) = delete;
    ~HeldGlobalPool() { release(); }

    // Answers whether every thread was taken in time.
    [[nodiscard]] bool hold(int timeoutMs = 5000)
    {
        QThreadPool &pool = *QThreadPool::globalInstance();
        m_threads = pool.maxThreadCount();
        for (int i = 0; i < m_threads; ++i)
            pool.start([gates = m_gates] {
                gates->started.release();
                gates->stuck.acquire();
            });
        return m_gates->started.tryAcquire(m_threads, timeoutMs);
    }

    void release() { m_gates->stuck.release(std::exchange(m_threads, 0)); }

private:
    struct Gates
    {
        QSemaphore started;
        QSemaphore stuck;
    };
    std::shared_ptr<Gates> m_gates = std::make_shared<Gates>();
    int m_threads = 0;
};

} // namespace tw
