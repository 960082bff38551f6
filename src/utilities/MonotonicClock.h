#pragma once

#include <chrono>
#include <functional>

namespace tw {

// Time that only moves forward, for waits that a change of the wall clock
// must not shorten or stretch.
using MonotonicClock = std::function<std::chrono::milliseconds()>;

inline MonotonicClock steadyClock()
{
    return [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    };
}

} // namespace tw
