#include "controllers/FormatDuration.h"

#include <cmath>
#include <limits>

namespace tw {
namespace {

// Beyond this many minutes the count no longer fits a 64-bit integer.
constexpr double largestMinutes = 9.2e18;

QString secondsText(double seconds)
{
    // std::round rounds halves away from zero, as the texts require.
    double n = 5 * std::round(seconds / 5);
    if (!(n >= 5))
        n = 5;
    return QStringLiteral("~%1 s").arg(qint64(n));
}

QString minutesText(qint64 minutes)
{
    if (minutes <= 59)
        return QStringLiteral("~%1 min").arg(minutes);
    const qint64 hours = minutes / 60;
    const qint64 rest = minutes % 60;
    if (rest == 0)
        return QStringLiteral("~%1 h").arg(hours);
    return QStringLiteral("~%1 h %2 min").arg(hours).arg(rest);
}

} // namespace

QString formatDuration(double seconds)
{
    // Times left come from rates and are finite; anything else reads as the
    // shortest text rather than as garbage.
    if (std::isnan(seconds) || seconds < 60)
        return secondsText(std::isnan(seconds) ? 0 : seconds);
    const double minutes = std::round(seconds / 60);
    return minutesText(minutes >= largestMinutes ? std::numeric_limits<qint64>::max() : qint64(minutes));
}

} // namespace tw
