#include "lan/DirectConnection.h"

#include "lan/PeerAddress.h"

#include <QHostAddress>

namespace tw {

bool DirectConnection::isDirect(const DeviceConnection &connection)
{
    if (!connection.connected || connection.connectionType.startsWith(QLatin1String("relay")))
        return false;
    if (connection.isLocal)
        return true;
    const std::optional<QString> host = PeerAddress::hostOfConnectionAddress(connection.address);
    return host && isTailnetHost(*host);
}

std::optional<QString> DirectConnection::hostOf(const DeviceConnection &connection)
{
    if (!isDirect(connection))
        return std::nullopt;
    return PeerAddress::hostOfConnectionAddress(connection.address);
}

bool DirectConnection::isTailnetHost(const QString &host)
{
    const QHostAddress address(PeerAddress::normalized(host));
    if (address.isNull())
        return false;
    return address.isInSubnet(QHostAddress(QStringLiteral("100.64.0.0")), 10)
           || address.isInSubnet(QHostAddress(QStringLiteral("fd7a:115c:a1e0::")), 48);
}

} // namespace tw
