#include "cluster/NodeSetupCodec.h"

#include <QUrlQuery>

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

} // namespace

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
