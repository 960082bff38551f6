#pragma once

#include "engine/model/DeviceConnection.h"

#include <QString>
#include <optional>

namespace tw {

// Which engine connections lead straight to the other Mac, so that plain HTTP
// to their host (LAN status, purge commands) reaches that Mac and no third
// party: not relayed, and on the local network or a tailnet.
class DirectConnection
{
public:
    static bool isDirect(const DeviceConnection &connection);
    // The host to ask, for a direct connection with a readable address.
    static std::optional<QString> hostOf(const DeviceConnection &connection);
    // 100.64.0.0/10 or fd7a:115c:a1e0::/48.
    static bool isTailnetHost(const QString &host);
};

} // namespace tw
