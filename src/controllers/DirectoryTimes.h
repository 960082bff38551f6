#pragma once

#include <QList>
#include <QString>
#include <QHash>
#include <QStringList>
#include <optional>

namespace tw {

// The directories of a synced folder with their modification times, and the
// times they carry. Both touch the disk: run them off the main thread.
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
    // The time a directory carries; nothing when it carries none.
    static std::optional<qint64> carried(const QString &root, const QString &path);
};

} // namespace tw
