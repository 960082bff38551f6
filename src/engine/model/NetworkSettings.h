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

    // What the application shows before the engine has told its own: every
    // way of finding and reaching other devices on, no limits.
    static NetworkSettings initial()
    {
        NetworkSettings network;
        network.natTraversalEnabled = true;
        network.relayEnabled = true;
        network.localDiscoveryEnabled = true;
        network.globalDiscoveryEnabled = true;
        return network;
    }
};

} // namespace tw
