#pragma once

#include "app/TransferSummary.h"

#include <QString>
#include <optional>

namespace tw {

// The status bar's second line while the engine runs: the transfer in
// progress, or else the current up and down rates in bytes per second.
QString statusDetailText(const std::optional<TransferSummary> &summary, double upRate, double downRate);

} // namespace tw
