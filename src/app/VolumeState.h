#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

namespace tw {

// Whether each sync folder's path is there and how much room its volume has.
struct VolumeState
{
    QMap<QString, bool> online;       // every path probed
    QMap<QString, qint64> freeBytes;  // only where the volume could be read

    bool operator==(const VolumeState &) const = default;

    // Reads the disk: run it off the main thread. A mount-point directory
    // whose volume is not mounted exists, and so reads as online.
    static VolumeState probe(const QStringList &paths);
};

} // namespace tw
