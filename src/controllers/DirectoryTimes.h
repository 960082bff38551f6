#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace tw {

// The directories of a synced folder with their modification times, and the
// setting of those times. Both touch the disk: run them off the main thread.
class DirectoryTimes
{
public:
    struct Entry
    {
        QString relativePath;             // below the root, no leading slash
        std::optional<qint64> modified;   // whole seconds since 1970; none when unreadable

        bool operator==(const Entry &) const = default;
    };

    // Every directory below root, not the root itself, leaving out hidden
    // ones with all they hold and symbolic links; nothing when root cannot
    // be listed.
    static QList<Entry> list(const QString &root);
    // Gives each entry's directory its time with zero nanoseconds, reached
    // from root without following a link; failures are passed over. Given
    // movedSinceMs, a directory whose time is older than that is left alone:
    // nothing moved it since, so a record that differs holds only the moment
    // a teammate's copy of it changed there, not a time it had here.
    static void apply(const QString &root, const QList<Entry> &entries,
                      std::optional<qint64> movedSinceMs = std::nullopt);
};

} // namespace tw
