#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <optional>

namespace tw {

// What this computer last saw and set of each directory of one folder: the
// time the directory carried, and when this computer put a teammate's time
// on it. Kept in a file of its own per folder so that a restart decides as
// the run before would have. Touched by one directory pass at a time, off
// the main thread.
class DirectoryTimeRecord
{
public:
    struct Entry
    {
        std::optional<qint64> carried;  // none: it carried none when decided
        // When this computer moved it to a teammate's time (seconds since
        // 1970); 0: it did not; unknownToEngine: the engine held no record of
        // it when it was seen (not scanned yet, or ignored).
        qint64 takenAt = 0;
        // The time a stamp made here replaced: a teammate's version that
        // brings it back only had not seen the stamp yet.
        std::optional<qint64> replaced = {};
        // When this computer last changed the entry (seconds since 1970; 0:
        // before it was kept). A file saved since then by a teammate that
        // stamps nothing moves the directory on; one saved before (a tree
        // still arriving) does not.
        qint64 settledAt = 0;

        // The same decision, whenever it was made.
        bool operator==(const Entry &other) const
        {
            return carried == other.carried && takenAt == other.takenAt && replaced == other.replaced;
        }
    };

    static constexpr qint64 unknownToEngine = -1;

    explicit DirectoryTimeRecord(QString file = {});

    // Reads the file, once; an unreadable or foreign file counts as empty.
    void load();
    // Writes it if anything changed since; a failed write is tried again by
    // the next save.
    void save();

    const Entry *find(const QString &path) const;
    // Files pulls placed within the last window, with when (ms since 1970):
    // the engine's scanner may find such a file again, even after a restart.
    // The first placement within the window counts.
    static constexpr qint64 placedWindowMs = 120'000;
    void notePlaced(const QString &item, qint64 atMs);
    std::optional<qint64> placedAt(const QString &item) const;
    void set(const QString &path, Entry entry);
    // A directory gone; what was below it is told gone one by one, and a
    // walk keeps only what it found.
    void forget(const QString &path);
    // Everything but the paths kept.
    void keepOnly(const QSet<QString> &kept);
    qsizetype size() const { return m_entries.size(); }
    const QString &file() const { return m_file; }

private:
    QString m_file;
    QHash<QString, Entry> m_entries;
    QHash<QString, qint64> m_placed;
    bool m_changed = false;
    bool m_loaded = false;
};

} // namespace tw
