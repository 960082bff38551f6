#pragma once

#include <QString>
#include <QStringList>
#include <algorithm>
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
    // What became of the always-on node's copy.
    enum class NodeCopy {
        // Not asked: there is no node, or nothing was removed anywhere.
        NotAsked,
        // Its line took: the copy stays there, out of syncing.
        Hidden,
        // The line did not reach it: its copy stays there and still syncs.
        NotReached,
    };

    // What this Mac's copy does after the run. Its files stay in every case.
    enum class LocalCopy {
        // This run's line keeps it out of syncing: some Mac took the removal
        // or may take it on a later run.
        OutOfSync,
        // No Mac took it or waits for it, and the line an earlier removal
        // left keeps it out of syncing all the same.
        OutOfSyncSinceEarlier,
        // No Mac took it or waits for it, but the engine did not take the
        // list without the line: the records no longer hold it, so the
        // sweep's next pass (every two minutes) sends the folder's lines
        // without it and the copy syncs again. Running the removal again
        // would send it to the members once more.
        LineNotLifted,
        // No Mac took it or waits for it, and its line was lifted.
        SyncsAsBefore,
    };

    // Set when nothing was deleted anywhere; the text says why.
    std::optional<QString> failure = {};
    // Macs that answered that they deleted it or had nothing to delete.
    int removedCount = 0;
    // Names of members without a reachable address.
    QStringList offline = {};
    // Members whose request failed or was refused.
    QList<FailedMac> failed = {};
    NodeCopy node = NodeCopy::NotAsked;
    LocalCopy copy = LocalCopy::OutOfSync;
    // Names of members whose connection address makes no request URL: they
    // were not asked.
    QStringList unaddressable = {};

    bool operator==(const PurgeOutcome &) const = default;

    // Whether some Mac took the removal or may take it when asked again:
    // only then does this Mac's copy stay out of syncing. A lasting refusal
    // comes before anything is deleted there.
    bool reachedOrOwed() const
    {
        return removedCount > 0 || !offline.isEmpty()
               || std::any_of(failed.cbegin(), failed.cend(), [](const FailedMac &mac) { return !mac.lasting; });
    }

    static PurgeOutcome refused(QString message) { return PurgeOutcome{.failure = std::move(message)}; }
};

} // namespace tw
