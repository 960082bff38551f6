#include "StallMeter.h"

#include <algorithm>

namespace tw::bench {

StallMeter::StallMeter(const QElapsedTimer &clock, std::function<bool()> counting)
    : m_clock(clock), m_counting(std::move(counting))
{
    m_ticker.setTimerType(Qt::PreciseTimer);
    m_ticker.setInterval(tickMs);
    QObject::connect(&m_ticker, &QTimer::timeout, [this] {
        const qint64 now = m_clock.nsecsElapsed();
        if (m_counting())
            m_longestGapNs = std::max(m_longestGapNs, now - m_lastTickNs);
        m_lastTickNs = now;
    });
}

void StallMeter::start()
{
    m_ticker.start();
}

double StallMeter::stop()
{
    const qint64 now = m_clock.nsecsElapsed();
    m_longestGapNs = std::max(m_longestGapNs, now - m_lastTickNs);
    m_ticker.stop();
    return std::max(0.0, double(m_longestGapNs) / 1e6 - tickMs);
}

} // namespace tw::bench
