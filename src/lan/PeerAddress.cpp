#include "lan/PeerAddress.h"

#include "utilities/HostName.h"
#include "utilities/MappedIPv4.h"

#include <QHostAddress>
#include <algorithm>
#include <array>
#include <utility>

namespace tw {
namespace {

QString stripBracketsAndZone(QString text)
{
    text = text.trimmed();
    if (text.startsWith(u'[') && text.endsWith(u']'))
        text = text.mid(1, text.size() - 2);
    const qsizetype zone = text.indexOf(u'%');
    if (zone >= 0)
        text.truncate(zone);
    return text;
}

// The address itself, with IPv4-mapped IPv6 turned into IPv4; null when the
// text is no IP address.
QHostAddress parsed(const QString &address)
{
    const QHostAddress host(stripBracketsAndZone(address));
    return mappedIPv4(host).value_or(host);
}

// A zone as a URL may carry it: unreserved characters only, as every
// interface name has ("eth0", "enp0s31f6", "wlan0").
bool isZone(const QString &zone)
{
    return !zone.isEmpty() && std::all_of(zone.cbegin(), zone.cend(), [](QChar c) {
        return isAsciiAlphanumeric(c) || c == u'-' || c == u'.' || c == u'_' || c == u'~';
    });
}

// The host as a URL writes it: IPv6 in brackets with its zone's "%" encoded.
std::optional<QString> urlHost(const QString &host)
{
    const bool bracketed = host.startsWith(u'[');
    if (bracketed != host.endsWith(u']'))
        return std::nullopt;
    const QString inner = bracketed ? host.mid(1, host.size() - 2) : host;
    const qsizetype percent = inner.indexOf(u'%');
    const QHostAddress address(percent < 0 ? inner : inner.left(percent));
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        const QString zone = percent < 0 ? QString() : inner.mid(percent + 1);
        if (percent >= 0 && !isZone(zone))
            return std::nullopt;
        const QString zoneText = zone.isEmpty() ? QString() : QString(QStringLiteral("%25") + zone);
        return QString(u'[' + address.toString() + zoneText + u']');
    }
    if (bracketed || percent >= 0)
        return std::nullopt;
    if (address.protocol() == QAbstractSocket::IPv4Protocol)
        return address.toString();
    return isHostName(host) ? std::optional(host) : std::nullopt;
}

bool inAnySubnet(const QHostAddress &host, const auto &subnets)
{
    for (const auto &[network, prefix] : subnets) {
        if (host.isInSubnet(QHostAddress(QString::fromLatin1(network)), prefix))
            return true;
    }
    return false;
}

} // namespace

QString PeerAddress::normalized(const QString &address)
{
    const QHostAddress host = parsed(address);
    if (host.isNull())
        return address.trimmed().toLower();
    return host.toString();
}

bool PeerAddress::sameHost(const QString &a, const QString &b)
{
    const QHostAddress hostA = parsed(a);
    const QHostAddress hostB = parsed(b);
    if (!hostA.isNull() && !hostB.isNull() && hostA.isLoopback() && hostB.isLoopback())
        return true;
    const QString textA = normalized(a);
    return !textA.isEmpty() && textA == normalized(b);
}

std::optional<QString> PeerAddress::hostOfConnectionAddress(const QString &address)
{
    if (address.startsWith(u'[')) {
        const qsizetype close = address.indexOf(u']');
        if (close < 0)
            return std::nullopt;
        return address.left(close + 1);
    }
    const qsizetype colon = address.lastIndexOf(u':');
    if (colon >= 0)
        return address.left(colon);
    if (address.isEmpty())
        return std::nullopt;
    return address;
}

std::optional<QUrl> PeerAddress::requestUrl(const QString &host, quint16 port, const QString &path)
{
    const std::optional<QString> written = urlHost(host);
    if (!written || port == 0 || !path.startsWith(u'/'))
        return std::nullopt;
    const QUrl url(QStringLiteral("http://") + *written + u':' + QString::number(port) + path, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    return url;
}

bool PeerAddress::isIpAddress(const QString &address)
{
    return !parsed(address).isNull();
}

bool PeerAddress::isLocalNetworkHost(const QString &host)
{
    static constexpr std::array<std::pair<const char *, int>, 6> ipv4Networks{{
        {"10.0.0.0", 8},
        {"172.16.0.0", 12},
        {"192.168.0.0", 16},
        {"127.0.0.0", 8},
        {"169.254.0.0", 16},
        {"100.64.0.0", 10},  // shared address space, where tailnets live
    }};
    static constexpr std::array<std::pair<const char *, int>, 3> ipv6Networks{{
        {"::1", 128},
        {"fe80::", 10},
        {"fc00::", 7},  // unique-local, tailnets' IPv6 included
    }};
    const QHostAddress address = parsed(host);
    if (address.protocol() == QAbstractSocket::IPv4Protocol)
        return inAnySubnet(address, ipv4Networks);
    if (address.protocol() == QAbstractSocket::IPv6Protocol)
        return inAnySubnet(address, ipv6Networks);
    return false;
}

} // namespace tw
