#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace tw {

// Finds this machine's address on a Tailscale network, recognised by its IPv4
// address alone: one inside 100.64.0.0/10, the shared address space that
// Tailscale hands out. Holds no state; may run on any thread.
class TailscaleDetector
{
public:
    // One entry of the host's interface-address list, as far as the choice
    // needs it.
    struct InterfaceAddress
    {
        unsigned int flags = 0;  // IFF_UP, IFF_LOOPBACK, ...
        int family = 0;          // AF_INET, AF_INET6, ...
        QString address;         // numeric host text; empty unless IPv4
    };

    // The first address in range of an interface that is up and not loopback,
    // in dotted decimal form, or nothing.
    static std::optional<QString> localTailscaleIPv4();

    // The choice itself, over a list in the system's order.
    static std::optional<QString> firstTailscaleIPv4(const std::vector<InterfaceAddress> &interfaces);

    // Whether a dotted-decimal IPv4 text lies in 100.64.0.0/10.
    static bool isCGNAT(const QString &address);

private:
    static std::vector<InterfaceAddress> interfaceAddresses();
};

} // namespace tw
