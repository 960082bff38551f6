#include "engine/syncthing/NetworkOptions.h"

#include <QJsonArray>
#include <functional>

namespace tw {
namespace {

const QString kDefault = QStringLiteral("default");
const QString kRelayScheme = QStringLiteral("relay://");

// A range never holds a tab: one pasted from a table's column, or typed
// between two ranges, parts them as a line break does.
bool isSeparator(QChar c)
{
    switch (c.unicode()) {
    case 0x0009: // tab
    case 0x000A: // line feed
    case 0x000B: // vertical tab
    case 0x000C: // form feed
    case 0x000D: // carriage return
    case 0x0085: // next line
    case 0x2028: // line separator
    case 0x2029: // paragraph separator
        return true;
    default:
        return false;
    }
}

QString firstMatching(const std::optional<QStringList> &list, const std::function<bool(const QString &)> &test)
{
    if (list) {
        for (const QString &entry : *list) {
            if (test(entry))
                return entry;
        }
    }
    return {};
}

// The entries of `current` (just "default" when unset) that `keep` accepts,
// "default" when none is, then `custom` when given.
QStringList keptPlusCustom(const std::optional<QStringList> &current,
                           const std::function<bool(const QString &)> &keep, const QString &custom)
{
    QStringList entries;
    for (const QString &entry : current.value_or(QStringList{kDefault})) {
        if (keep(entry))
            entries.append(entry);
    }
    if (entries.isEmpty())
        entries.append(kDefault);
    if (!custom.isEmpty())
        entries.append(custom);
    return entries;
}

} // namespace

NetworkSettings NetworkOptions::settingsFrom(const STOptions &options)
{
    NetworkSettings settings;
    settings.natTraversalEnabled = options.natEnabled.value_or(true);
    settings.relayEnabled = options.relaysEnabled.value_or(true);
    settings.localDiscoveryEnabled = options.localAnnounceEnabled.value_or(true);
    settings.globalDiscoveryEnabled = options.globalAnnounceEnabled.value_or(true);
    settings.customRelayURL =
        firstMatching(options.listenAddresses, [](const QString &entry) { return entry.startsWith(kRelayScheme); });
    settings.customDiscoveryURL =
        firstMatching(options.globalAnnounceServers, [](const QString &entry) { return entry != kDefault; });
    settings.downLimitKbps = options.maxRecvKbps.value_or(0);
    settings.upLimitKbps = options.maxSendKbps.value_or(0);
    settings.alwaysLocalNets = options.alwaysLocalNets.value_or(QStringList()).join(QLatin1Char('\n'));
    return settings;
}

QStringList NetworkOptions::discoveryServers(const std::optional<QStringList> &current, const QString &custom)
{
    return keptPlusCustom(current, [](const QString &entry) { return entry == kDefault; }, custom);
}

QStringList NetworkOptions::listenAddresses(const std::optional<QStringList> &current, const QString &customRelay)
{
    return keptPlusCustom(current, [](const QString &entry) { return !entry.startsWith(kRelayScheme); }, customRelay);
}

QStringList NetworkOptions::splitNetworks(const QString &text)
{
    QStringList networks;
    QString piece;
    const auto flush = [&] {
        const QString trimmed = piece.trimmed();
        if (!trimmed.isEmpty())
            networks.append(trimmed);
        piece.clear();
    };
    for (const QChar c : text) {
        if (isSeparator(c))
            flush();
        else
            piece.append(c);
    }
    flush();
    return networks;
}

QJsonObject NetworkOptions::patchFor(const NetworkSettings &settings, const STOptions &current)
{
    QJsonObject patch;
    patch.insert(QStringLiteral("natEnabled"), settings.natTraversalEnabled);
    patch.insert(QStringLiteral("relaysEnabled"), settings.relayEnabled);
    patch.insert(QStringLiteral("localAnnounceEnabled"), settings.localDiscoveryEnabled);
    patch.insert(QStringLiteral("globalAnnounceEnabled"), settings.globalDiscoveryEnabled);
    patch.insert(QStringLiteral("maxRecvKbps"), settings.downLimitKbps);
    patch.insert(QStringLiteral("maxSendKbps"), settings.upLimitKbps);
    patch.insert(QStringLiteral("globalAnnounceServers"),
                 QJsonArray::fromStringList(discoveryServers(current.globalAnnounceServers, settings.customDiscoveryURL)));
    patch.insert(QStringLiteral("listenAddresses"),
                 QJsonArray::fromStringList(listenAddresses(current.listenAddresses, settings.customRelayURL)));
    patch.insert(QStringLiteral("alwaysLocalNets"), QJsonArray::fromStringList(splitNetworks(settings.alwaysLocalNets)));
    return patch;
}

NetworkSettings NetworkOptions::keptToLoopback(NetworkSettings settings)
{
    settings.natTraversalEnabled = false;
    settings.relayEnabled = false;
    settings.localDiscoveryEnabled = false;
    settings.globalDiscoveryEnabled = false;
    settings.customRelayURL.clear();
    settings.customDiscoveryURL.clear();
    return settings;
}

QJsonObject NetworkOptions::bandwidthPatch(qint64 downKbps, qint64 upKbps)
{
    QJsonObject patch;
    patch.insert(QStringLiteral("maxRecvKbps"), downKbps);
    patch.insert(QStringLiteral("maxSendKbps"), upKbps);
    return patch;
}

} // namespace tw
