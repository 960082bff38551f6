#include "utilities/MappedIPv4.h"

namespace tw {

std::optional<QHostAddress> mappedIPv4(const QHostAddress &address)
{
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return std::nullopt;
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    if (!mapped)
        return std::nullopt;
    return QHostAddress(ipv4);
}

} // namespace tw
