#pragma once

#include <QHostAddress>
#include <optional>

namespace tw {

// The IPv4 address an IPv4-mapped IPv6 address ("::ffff:192.168.1.5") stands
// for; nothing for any other address, IPv4 ones included.
std::optional<QHostAddress> mappedIPv4(const QHostAddress &address);

} // namespace tw
