#pragma once

#include "utilities/PathOverlap.h"

#include <QString>
#include <optional>

namespace tw {

// What the disk says of a path: whether something is there, the free bytes
// of the volume holding it where they could be read, and where the file
// system puts it, to tell whether two folders meet without asking the disk
// again.
struct PathPresence
{
    bool exists = false;
    std::optional<qint64> freeBytes;
    PathOverlap::Place place;

    bool operator==(const PathPresence &) const = default;

    // Reads the disk: run it off the main thread. A mount-point directory
    // whose volume is not mounted exists.
    static PathPresence read(const QString &path);
};

} // namespace tw
