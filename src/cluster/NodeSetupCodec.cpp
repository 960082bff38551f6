#include "cluster/NodeSetupCodec.h"

#include "lan/PeerAddress.h"
#include "utilities/HostName.h"
#include "utilities/ParseDecimal.h"

#include <QRegularExpression>
#include <QUrlQuery>
#include <algorithm>

namespace tw {
namespace {

// The first item named `name` decides, even when it has no value (a null
// text, unlike the empty value of "name=").
std::optional<QString> firstValue(const QList<std::pair<QString, QString>> &items, QLatin1String name)
{
    for (const auto &[key, value] : items) {
        if (key == name)
            return value.isNull() ? std::nullopt : std::optional(value);
    }
    return std::nullopt;
}

bool isNodeSetupLink(const QUrl &url)
{
    if (url.scheme().compare(QLatin1String("tidewellsync"), Qt::CaseInsensitive) != 0)
        return false;
    return url.host().compare(QLatin1String("node-setup"), Qt::CaseInsensitive) == 0
        || url.path(QUrl::FullyDecoded).compare(QLatin1String("/node-setup"), Qt::CaseInsensitive) == 0;
}

// An IP address in brackets, without a zone: a zone may hold any text.
bool isBracketedAddress(const QString &host)
{
    const QString inner = host.mid(1, host.size() - 2);
    return host.endsWith(u']') && !inner.isEmpty() &&
           std::all_of(inner.begin(), inner.end(),
                       [](QChar c) { return isAsciiAlphanumeric(c) || c == u':' || c == u'.'; }) &&
           PeerAddress::isIpAddress(inner);
}

bool isPort(QStringView text)
{
    const bool digits = !text.isEmpty() && text.size() <= 5 &&
                        std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    const std::optional<qint64> port = digits ? parseDecimal(text) : std::nullopt;
    return port && *port >= 1 && *port <= 65535;
}

} // namespace

bool NodeSetupCodec::isNodeAddress(const QString &address)
{
    static const QRegularExpression scheme(QStringLiteral("^https?://"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch found = scheme.match(address);
    if (!found.hasMatch())
        return false;
    const QString hostAndPort = address.mid(found.capturedLength());
    const std::optional<QString> host = PeerAddress::hostOfConnectionAddress(hostAndPort);
    if (!host || !QStringView(hostAndPort).mid(host->size()).startsWith(u':'))
        return false;
    const bool hostShape = host->startsWith(u'[') ? isBracketedAddress(*host) : isHostName(*host);
    return hostShape && isPort(QStringView(hostAndPort).mid(host->size() + 1));
}

std::optional<NodeSetupPayload> NodeSetupCodec::fromURL(const QUrl &url)
{
    if (!url.isValid() || !isNodeSetupLink(url))
        return std::nullopt;
    const QList<std::pair<QString, QString>> items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    const std::optional<QString> address = firstValue(items, QLatin1String("addr"));
    const std::optional<QString> key = firstValue(items, QLatin1String("key"));
    if (!address || address->isEmpty() || !key || key->isEmpty())
        return std::nullopt;
    const QString name = firstValue(items, QLatin1String("name")).value_or(QStringLiteral("Synology NAS"));
    return NodeSetupPayload{.baseURL = *address, .apiKey = *key, .name = name};
}

} // namespace tw
