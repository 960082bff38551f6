#pragma once

#include "engine/model/NetworkSettings.h"
#include "engine/syncthing/rest/STOptions.h"

#include <QJsonObject>
#include <QStringList>

namespace tw {

// Translation between the application's network settings and Syncthing's
// global options. "default" in Syncthing's address lists stands for its
// built-in listen addresses or discovery servers; it is kept, and at most one
// custom entry is added to each list.
struct NetworkOptions
{
    // Absent options read as: switches on, texts empty, limits 0.
    static NetworkSettings settingsFrom(const STOptions &options);
    // The patch of exactly the nine options the settings stand for, merged
    // into the current address lists.
    static QJsonObject patchFor(const NetworkSettings &settings, const STOptions &current);
    // What a loopback-only run may apply: NAT traversal, relays and both
    // discoveries off and no custom relay or discovery server, so that
    // settings edited in the window cannot undo the start's hardening.
    static NetworkSettings keptToLoopback(NetworkSettings settings);
    // The patch of the two global rate limits alone.
    static QJsonObject bandwidthPatch(qint64 downKbps, qint64 upKbps);

    // "default" entries only (["default"] when none), then the custom server.
    static QStringList discoveryServers(const std::optional<QStringList> &current, const QString &custom);
    // Every entry but relays (["default"] when none is left), then the custom relay.
    static QStringList listenAddresses(const std::optional<QStringList> &current, const QString &customRelay);
    // One network per line: split at every line-break character and tab,
    // each piece trimmed, empty pieces dropped.
    static QStringList splitNetworks(const QString &text);
};

} // namespace tw
