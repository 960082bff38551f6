#pragma once

#include <QObject>
#include <QProcess>
#include <chrono>

#include <qcoro/qcorotask.h>

namespace tw {

// The end of a child process as one awaitable event, whether it ran and
// exited or never started (which QProcess reports without `finished`).
class ProcessEnd : public QObject
{
    Q_OBJECT
public:
    explicit ProcessEnd(QProcess *process);

    // Whether the process is no longer running (or never started) within the limit.
    QCoro::Task<bool> wait(std::chrono::milliseconds limit);

signals:
    void ended();

private:
    QProcess *m_process;
};

} // namespace tw
