#pragma once

#include "platform/PathPresence.h"

#include <QHash>
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

    // From the disk's answers (PathLookUps). A path without one, its look-up
    // stuck on a mount that stopped answering, is offline: its drive cannot
    // be reached.
    static VolumeState of(const QStringList &paths, const QHash<QString, PathPresence> &answers);
};

} // namespace tw
