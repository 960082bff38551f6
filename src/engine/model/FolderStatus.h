#pragma once

#include "engine/model/FolderState.h"

#include <QString>

namespace tw {

struct FolderStatus
{
    QString id;
    FolderState state = FolderState::Unknown;
    double completion = 0;  // fraction 0.0 ... 1.0
    qint64 globalBytes = 0;
    qint64 localBytes = 0;
    qint64 needBytes = 0;
    qint64 errorCount = 0;
    QString error{};  // the engine's text while the folder is in error, else empty
    // What paired Macs are told: the engine's own word for the state, and
    // the number of items still needed.
    QString stateWord{};
    qint64 needItems = 0;

    bool operator==(const FolderStatus &) const = default;

    // The folder is stopped in error, or runs but failed to sync some items
    // (the engine retries them; until then they stay out of step).
    bool hasErrors() const { return state == FolderState::Error || errorCount > 0; }
};

} // namespace tw
