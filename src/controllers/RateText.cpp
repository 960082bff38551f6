#include "controllers/RateText.h"

#include "controllers/FormatFileSize.h"

#include <cmath>
#include <limits>

namespace tw {

QString rateText(double bytesPerSecond)
{
    const bool usable = std::isfinite(bytesPerSecond) && bytesPerSecond > 0;
    const double capped = std::min(bytesPerSecond, double(std::numeric_limits<qint64>::max() / 2));
    return formatFileSize(usable ? qint64(capped) : 0) + QStringLiteral("/s");
}

} // namespace tw
