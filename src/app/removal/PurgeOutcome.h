#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tw {

// A Mac whose removal request failed or was refused.
struct FailedMac
{
    QString name;
    // Its refusal in words; empty when it gave no answer or no reason.
    QString reason = {};
    // Running again cannot help until something changes on either Mac.
    bool lasting = false;

    bool operator==(const FailedMac &) const = default;
};

// How removing a subfolder from the other Macs of a sync went.
struct PurgeOutcome
{
    // Set when nothing was deleted anywhere; the text says why.
    std::optional<QString> failure = {};
    // Macs that answered that they deleted it or had nothing to delete.
    int removedCount = 0;
    // Names of members without a reachable address.
    QStringList offline = {};
    // Members whose request failed or was refused.
    QList<FailedMac> failed = {};

    bool operator==(const PurgeOutcome &) const = default;

    static PurgeOutcome refused(QString message) { return PurgeOutcome{.failure = std::move(message)}; }
};

} // namespace tw
