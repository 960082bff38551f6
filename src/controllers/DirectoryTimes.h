#pragma once

#include <QList>
#include <QString>
#include <QHash>
#include <QStringList>
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
    // madeSinceMs, only a directory made here since then is given its time
    // (one whose making the file system does not tell is left alone): a
    // directory that was here before holds times of its own, which a record
    // that never moves on would take back.
    static void apply(const QString &root, const QList<Entry> &entries,
                      std::optional<qint64> madeSinceMs = std::nullopt);

    // The time a directory carries (FileDates::modifiedAttributeName) is the
    // one its content was given where it last changed. stamp() writes each
    // directory's own time into it, where they differ; carry() gives each
    // directory the time it carries, where they differ, and leaves one that
    // carries none alone. Both write nothing that is already so (every write
    // changes the inode, which the engine sends as a change) and answer the
    // paths they wrote.
    static QStringList stamp(const QString &root, const QStringList &paths);
    static QStringList carry(const QString &root, const QStringList &paths);
    // Stamps each directory that carries no time yet (one new here), and the
    // directory it was made in; answers the paths written.
    // Directories into which a file was made here while their restore was
    // due (directory, file): once restored, each takes the file's birth
    // time where that is later than the time it carries, as the user's
    // save is newer than the teammate's change the pull brought. Answers
    // the directories moved on, for stamping.
    static QStringList bringForward(const QString &root, const QHash<QString, QString> &savedInto);
    static QStringList stampNew(const QString &root, const QStringList &paths);
    // Directories (path → time stamped here) whose carried time a pull
    // took away: each takes that time back, on itself and as its carried
    // time. Answers those written, for sending again.
    static QStringList restamp(const QString &root, const QHash<QString, qint64> &stampedHere);
    // Of paths, those that need no restore any more: gone, or carrying a time.
    static QStringList settled(const QString &root, const QStringList &paths);
    // The time a directory carries; nothing when it carries none.
    static std::optional<qint64> carried(const QString &root, const QString &path);
};

} // namespace tw
