#pragma once

#include "app/HealthInputs.h"

#include <QList>
#include <QString>
#include <optional>

namespace tw {

// What a connected Mac still lacks of one sync folder, counted against the
// folder's whole size here.
struct PeerShortfall
{
    QString deviceID;
    qint64 bytes = 0;        // at least 1
    qint64 folderBytes = 0;  // the folder's global bytes

    bool operator==(const PeerShortfall &) const = default;
};

// Over the syncs (only those with the given ID, when one is given), folder by
// folder and member by member: every other Mac that is connected, has taken
// the folder and is neither excluded from nor paused for it, for a folder
// whose size is known, with the share it misses (its own report first, then
// the held completion, else all of it), truncated to whole bytes. Amounts
// below one byte are left out.
QList<PeerShortfall> peerShortfalls(const HealthInputs &in, const std::optional<QString> &projectID = std::nullopt);

} // namespace tw
