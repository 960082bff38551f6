#pragma once

#include <QString>

namespace tw {

// The one health value of a sync, a folder or a Mac, recomputed from live
// state whenever it is needed and never stored.
struct SyncHealth
{
    // Waiting: nothing here needs syncing, but whether another Mac has
    // content to send is not told yet (its first file list has not come,
    // and nothing says whether it is empty or still being read).
    enum class Kind { Syncing, Stopped, AllSynced, Paused, Offline, Error, Waiting };

    Kind kind = Kind::AllSynced;
    double progress = 0;  // fraction, meaningful only while syncing

    static SyncHealth syncing(double progress) { return {Kind::Syncing, progress}; }
    static SyncHealth stopped() { return {Kind::Stopped}; }
    static SyncHealth allSynced() { return {Kind::AllSynced}; }
    static SyncHealth paused() { return {Kind::Paused}; }
    static SyncHealth offline() { return {Kind::Offline}; }
    static SyncHealth error() { return {Kind::Error}; }
    static SyncHealth waiting() { return {Kind::Waiting}; }

    // The progress only tells two syncing values apart, and only when exactly
    // equal.
    bool operator==(const SyncHealth &other) const;

    // The display text; the percentage is rounded, the value is not.
    QString label() const;
};

} // namespace tw
