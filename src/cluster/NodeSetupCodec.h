#pragma once

#include "cluster/NodeSetupPayload.h"

#include <QUrl>
#include <optional>

namespace tw {

// Reads the link a node's installer opens on this device:
// "tidewellsync://node-setup?addr=…&key=…&name=…" (or the path form
// "tidewellsync:/node-setup?…"); scheme and host in any letter case.
class NodeSetupCodec
{
public:
    // Nothing without an address or key; "Synology NAS" when "name" is
    // missing, but an empty name is kept. The first item of a name decides.
    static std::optional<NodeSetupPayload> fromURL(const QUrl &url);
    // Whether a link's address is one web address and nothing else: "http"
    // or "https", a host name, IPv4 address or bracketed IPv6 address, a
    // port, and nothing after. The set-up command writes no other kind; a
    // link from elsewhere may carry anything.
    static bool isNodeAddress(const QString &address);
};

} // namespace tw
