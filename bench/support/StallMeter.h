#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <functional>

namespace tw::bench {

// The longest stall of the main thread in a stretch: the largest gap between
// ticks of a 2 ms timer, less the interval. Gaps count while `counting`
// answers true, and the one open when the stretch ends counts too.
class StallMeter
{
public:
    static constexpr int tickMs = 2;

    StallMeter(const QElapsedTimer &clock, std::function<bool()> counting);

    void start();
    // Ends the stretch; answers the stall in milliseconds.
    double stop();

private:
    const QElapsedTimer &m_clock;
    std::function<bool()> m_counting;
    QTimer m_ticker;
    qint64 m_lastTickNs = 0;
    qint64 m_longestGapNs = 0;
};

} // namespace tw::bench
