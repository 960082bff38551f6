#pragma once

#include <QChar>
#include <QString>

namespace tw {

// A letter or digit of ASCII; other scripts' never make a host name.
bool isAsciiAlphanumeric(QChar c);

// Letters, digits, dots and hyphens, a letter or digit first: a DNS or mDNS
// name or an IPv4 address as written, never read as an option.
bool isHostName(const QString &name);

} // namespace tw
