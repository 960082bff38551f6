#pragma once

#include "platform/SpeedTestResult.h"

#include <optional>

namespace tw {

// A speed measurement as the Network tab shows it: whole megabits per second
// and the upload limit that leaves a tenth of the measured upload free.
struct MeasuredSpeed
{
    int downMbps = 0;
    int upMbps = 0;
    int suggestedUpKbps = 0;

    bool operator==(const MeasuredSpeed &) const = default;

    // Nothing when a rate or the suggestion is no finite whole number the
    // limit fields can hold: such a figure cannot be shown or applied.
    static std::optional<MeasuredSpeed> of(const SpeedTestResult &result);
};

} // namespace tw
