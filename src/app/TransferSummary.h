#pragma once

#include "app/HealthInputs.h"

#include <QString>
#include <optional>

namespace tw {

// What is being transferred now for all syncs or one: this Mac receiving
// (down) or connected Macs still needing data (up).
struct TransferSummary
{
    enum class Direction { Down, Up };

    Direction direction = Direction::Down;
    qint64 remainingBytes = 0;  // at least 1
    qint64 totalBytes = 0;      // what the remaining bytes are counted against
    std::optional<double> bytesPerSecond = {};
    std::optional<double> etaSeconds = {};

    bool operator==(const TransferSummary &) const = default;
};

// The bytes a folder still has to receive while a transfer can be under way:
// none while it stands on items the engine failed (its pull is over; the
// engine retries them later, and the folder reads as failing meanwhile).
qint64 incomingBytes(const FolderStatus &status);

// Down first: while this Mac receives anything in scope no up summary is
// given. Only byte counts; rate and time left belong to the caller, who
// holds the estimator. Nothing for a sync ID that no sync has.
std::optional<TransferSummary> summarizeTransfers(const HealthInputs &in,
                                                  const std::optional<QString> &projectID = std::nullopt);

} // namespace tw
