#pragma once

#include "utilities/Clock.h"

#include <QDateTime>
#include <memory>

namespace tw {

// A clock that moves only when the test moves it.
class ManualClock
{
public:
    ManualClock() : m_now(std::make_shared<QDateTime>(QDateTime(QDate(2024, 3, 4), QTime(10, 0), Qt::UTC))) {}

    Clock clock() const
    {
        return [now = m_now] { return *now; };
    }
    void advanceMs(qint64 milliseconds) { *m_now = m_now->addMSecs(milliseconds); }

private:
    std::shared_ptr<QDateTime> m_now;
};

} // namespace tw
