#pragma once

#include <QtGlobal>

namespace tw {

// What the connected other devices of one folder still need.
struct ClusterNeed
{
    qint64 remoteNeedBytes = 0;
    qint64 peersConnected = 0;
    qint64 peersTotal = 0;

    bool operator==(const ClusterNeed &) const = default;
};

} // namespace tw
