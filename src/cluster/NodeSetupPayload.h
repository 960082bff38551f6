#pragma once

#include <QString>

namespace tw {

// What a node set-up link carries: the always-on node's address and API key
// as sent, and the name to show for it.
struct NodeSetupPayload
{
    QString baseURL;
    QString apiKey;
    QString name;

    bool operator==(const NodeSetupPayload &) const = default;
};

} // namespace tw
