#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

namespace tw {

// Whether two folders' trees meet: one is the other or lies inside it. Two
// engine folders whose trees meet would each pass their files, and their
// deletions, to the other's devices.
class PathOverlap
{
public:
    // Where the file system puts a path: links followed, and a path not made
    // yet taken through its nearest existing parent.
    struct Place
    {
        struct Identity
        {
            quint64 device = 0;
            quint64 inode = 0;
            bool operator==(const Identity &) const = default;
        };
        QString path;
        bool exists = false;
        // The folders it passes through, from its nearest existing parent (or
        // itself, when it exists) up to the root.
        QList<Identity> chain;
        bool operator==(const Place &) const = default;
    };

    // As written: absolute paths cleaned of ".", ".." and doubled or trailing
    // slashes, compared exactly. Reads nothing.
    static bool written(const QString &a, const QString &b);
    // Reads the disk, and never returns while a mount on the way does not
    // answer: only `PathLookUps` calls it, through `PathPresence`.
    static Place place(const QString &path);
    // As the file system has them: a folder reached under two spellings (a
    // link, a case-blind volume, a bind mount) is one folder. Reads nothing.
    static bool placed(const Place &a, const Place &b);
};

} // namespace tw
