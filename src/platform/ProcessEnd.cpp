#include "platform/ProcessEnd.h"

#include <QPointer>

#include <qcoro/qcorosignal.h>

namespace tw {

ProcessEnd::ProcessEnd(QProcess *process) : QObject(process), m_process(process)
{
    connect(process, &QProcess::finished, this, &ProcessEnd::ended);
    connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            emit ended();
    });
}

QCoro::Task<bool> ProcessEnd::wait(std::chrono::milliseconds limit)
{
    if (m_process->state() == QProcess::NotRunning)
        co_return true;
    const QPointer<ProcessEnd> self(this);
    co_await qCoro(this, &ProcessEnd::ended, limit);
    co_return self && m_process->state() == QProcess::NotRunning;
}

} // namespace tw
