#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tw {

// How removing a subfolder from the other Macs of a sync went.
struct PurgeOutcome
{
    // Set when nothing was deleted anywhere; the text says why.
    std::optional<QString> failure = {};
    // Macs that answered that they deleted it or had nothing to delete.
    int removedCount = 0;
    // Names of members without a reachable address.
    QStringList offline = {};
    // Names of members whose request failed or was refused.
    QStringList failed = {};

    bool operator==(const PurgeOutcome &) const = default;

    static PurgeOutcome refused(QString message) { return PurgeOutcome{.failure = std::move(message)}; }
};

} // namespace tw
