#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <optional>

namespace tw {

// What the engine's events told of one folder's directories since its last
// directory pass. Only brings a decision forward: the pass decides from what
// the directories carry and the record, and a lost event only delays it.
struct DirectoryNews
{
    // An item of a directory changed here, as the engine's scanner found it.
    struct Change
    {
        QString item;
        bool deleted = false;
        std::optional<qint64> foundAtMs;

        bool operator==(const Change &) const = default;
    };

    QHash<QString, QList<Change>> changedHere;  // directory → changes found in it
    QSet<QString> reported;  // directories found changed themselves: new here, or their inode moved
    QSet<QString> foundFirst;  // of those, the ones found here before any pull told of them
    QSet<QString> pulled;    // directories a pull moved: made, updated, or an item in them
    QHash<QString, qint64> pulledAtMs;  // when each was last moved, where told
    QSet<QString> gone;      // directories deleted, here or by a pull
    // Files pulls placed, with when (ms since 1970), the first placement
    // counting: the engine's scanner may find such a file again.
    QHash<QString, qint64> placedAtMs;

    bool isEmpty() const
    {
        return changedHere.isEmpty() && reported.isEmpty() && foundFirst.isEmpty() && pulled.isEmpty()
            && gone.isEmpty() && placedAtMs.isEmpty();
    }
    // Adds what was told after this.
    void merge(const DirectoryNews &later);
    // Adds what memory holds to what a journal held: memory was told after
    // it (a journal may lack the last batch a kill cut off); where both tell
    // of a directory, memory says whether it was found first.
    void mergeAfterJournal(const DirectoryNews &told);
    // About how many directories and placed files it names.
    qsizetype size() const
    {
        return changedHere.size() + reported.size() + pulled.size() + gone.size() + placedAtMs.size();
    }
    // Every directory named, for a pass that looks at those only.
    QSet<QString> directories() const;
    // The news of these directories only.
    DirectoryNews only(const QSet<QString> &paths) const;

    // The directory an item of the folder is in; none for the folder's root.
    static QString parentOf(const QString &item);

    void noteLocalChange(const QString &item, bool directory, bool deleted, std::optional<qint64> foundAtMs);
    void notePlaced(const QString &item, qint64 atMs);
    void notePull(const QString &item, bool directory, bool deleted, std::optional<qint64> atMs = {});
};

} // namespace tw
