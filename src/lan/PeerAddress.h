#pragma once

#include <QString>
#include <QUrl>
#include <optional>

namespace tw {

// Address texts as they reach us from sockets and from the engine's connection
// list, made comparable. Sockets on a dual-stack listener report IPv4 peers as
// IPv4-mapped IPv6 ("::ffff:192.168.1.5"), the engine writes IPv6 hosts in
// brackets and link-local ones with a zone ("[fe80::1%eth0]"); all of these
// name the same host as their plain form.
class PeerAddress
{
public:
    // The canonical text of an address: brackets and zone dropped, IPv4-mapped
    // IPv6 turned into IPv4, IPv6 in Qt's compressed lower-case form. A text
    // that is not an IP address is returned trimmed and lower-cased.
    static QString normalized(const QString &address);

    // Whether two address texts name the same host. Every loopback address
    // matches every other: a client that connects to 127.0.0.2 arrives from
    // 127.0.0.1. Empty texts match nothing.
    static bool sameHost(const QString &a, const QString &b);

    // The host of an engine connection address ("192.168.1.20:22000",
    // "[fe80::1%eth0]:22000"): a bracketed IPv6 host keeps its brackets, the
    // port after the last colon is dropped. Nothing for an empty address or a
    // bracket that is never closed.
    static std::optional<QString> hostOfConnectionAddress(const QString &address);

    // The URL of `path` (beginning with "/") on `port` of a host as
    // hostOfConnectionAddress gives it: dotted IPv4, IPv6 in brackets (a
    // link-local one with its zone, "[fe80::1%eth0]"), or a host name. The
    // one place every request to a paired Mac gets its URL: a zone goes into
    // a URL as "%25eth0", which a URL written as text would get wrong.
    // Nothing for any other text; a host that could be read more than one
    // way (a user part, a path, a second port) is never guessed at.
    static std::optional<QUrl> requestUrl(const QString &host, quint16 port, const QString &path);

    // Whether the text is an IP address (brackets and zone allowed), not a name.
    static bool isIpAddress(const QString &address);

    // Whether a host lies on a network we may talk to in plain HTTP: private
    // IPv4 ranges, loopback, link-local, the shared CGNAT range that tailnets
    // use, and IPv6 loopback, link-local and unique-local addresses. A relay's
    // public address, or any name, is not.
    static bool isLocalNetworkHost(const QString &host);
};

} // namespace tw
