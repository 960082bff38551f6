#pragma once

#include <QString>

namespace tw {

struct NetworkSettings
{
    bool natTraversalEnabled = false;
    bool relayEnabled = false;
    bool localDiscoveryEnabled = false;
    bool globalDiscoveryEnabled = false;
    QString customRelayURL;
    QString customDiscoveryURL;
    qint64 downLimitKbps = 0;
    qint64 upLimitKbps = 0;
    QString alwaysLocalNets;  // one network per line

    bool operator==(const NetworkSettings &) const = default;
};

} // namespace tw
