#pragma once

#include "utilities/PathOverlap.h"

#include <QString>
#include <optional>

namespace tw {

// What the disk says of a path: whether something is there, the free bytes
// of the volume holding it where they could be read, where the file system
// puts it, to tell whether two folders meet without asking the disk again,
// and whether that file system keeps user extended attributes (FAT and exFAT
// drives refuse them, and Syncthing then fails every item it is asked to
// carry them for).
struct PathPresence
{
    bool exists = false;
    std::optional<qint64> freeBytes;
    PathOverlap::Place place;
    bool keepsUserXattrs = true;

    bool operator==(const PathPresence &) const = default;

    // Reads the disk: run it off the main thread. A mount-point directory
    // whose volume is not mounted exists.
    static PathPresence read(const QString &path);
    // False only when the file system refuses user extended attributes
    // outright; any other answer (a path not there, no permission) says
    // nothing against them. Reads the disk.
    static bool keepsUserXattrsAt(const QString &path);
};

} // namespace tw
