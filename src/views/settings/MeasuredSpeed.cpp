#include "views/settings/MeasuredSpeed.h"

#include <cmath>
#include <algorithm>
#include <limits>

namespace tw {
namespace {

// 1 Mbit/s is 125 KB/s; a tenth stays free.
constexpr double kKbpsPerMbps = 125.0;
constexpr double kShare = 0.9;

// The fraction cut off, when the figure fits the fields.
std::optional<int> wholeNumber(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double whole = std::trunc(value);
    if (whole < double(std::numeric_limits<int>::min()) || whole > double(std::numeric_limits<int>::max()))
        return std::nullopt;
    return int(whole);
}

} // namespace

std::optional<MeasuredSpeed> MeasuredSpeed::of(const SpeedTestResult &result)
{
    const std::optional<int> down = wholeNumber(result.downMbps);
    const std::optional<int> up = wholeNumber(result.upMbps);
    const std::optional<int> suggested = wholeNumber(result.upMbps * kKbpsPerMbps * kShare);
    if (!down || !up || !suggested)
        return std::nullopt;
    return MeasuredSpeed{*down, *up, std::max(*suggested, 0)};
}

} // namespace tw
