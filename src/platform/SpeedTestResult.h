#pragma once

namespace tw {

// One measurement of the internet connection, in megabits (10^6 bits) per second.
struct SpeedTestResult
{
    double downMbps = 0;
    double upMbps = 0;

    bool operator==(const SpeedTestResult &) const = default;
};

} // namespace tw
