#include "design/ProgressArc.h"

#include <algorithm>

namespace tw {

double progressArc(double progress, double minimum)
{
    // NaN compares false both ways; it counts as no progress.
    const double limited = progress > 0 ? std::min(progress, 1.0) : 0.0;
    return std::max(limited, minimum);
}

} // namespace tw
