#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <functional>

namespace tw {

// Runs the event loop until the condition holds or the time is up; answers
// whether it held. For tests that watch detached tasks.
inline bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Runs the event loop for a while, for tests that show something does not
// happen.
inline void runEventLoopFor(int milliseconds)
{
    waitUntil([] { return false; }, milliseconds);
}

} // namespace tw
