#pragma once

#include "controllers/DirectoryNews.h"
#include "controllers/DirectoryTimeRecord.h"
#include "engine/model/ItemOrigin.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

namespace tw {

// Decides the times of one folder's directories and writes them: on a
// worker thread, one pass per folder at a time, with the folder's record.
//
// A directory's time is the one it carries ("user.com.quellmark.mtime"),
// given where its content last changed:
// - its content changed here (the engine's scanner found an item of it added,
//   changed or removed): it carries its own time, which moves on with the
//   change;
// - it carries a time this computer has not seen on it, or a pull moved it:
//   it takes that time, a teammate's;
// - it carried a time here that a teammate's version took away: it carries
//   it again;
// - it carries none and this computer has no record of it: the engine's
//   index tells whose it is. Made here, it carries its own time (and so does
//   the directory it was made in); a teammate's, it takes the time of the
//   teammate's version.
// Nothing else is written: a time that moved with none of these told (a
// change here the scanner has not found yet) is left as it is, except after
// a start or a lost event, once the folder's scan has told every change
// here: then it was a pull's.
class DirectoryTimePass
{
public:
    // A pull that moved a directory without bringing a new time for it may
    // be a teammate's save whose time comes a moment later (its engine sent
    // the directory before the time was on it): it is given this long.
    static constexpr qint64 newTimeWaitMs = 5000;

    struct Input
    {
        QString root = {};
        // The folder's directories carry their times; where they do not, a
        // directory takes a teammate's time from the engine's index: the
        // time its version carries, or else a new one its version's time.
        bool carries = true;
        bool wholeTree = false;
        bool unexplainedArePulls = false;
        DirectoryNews news = {};
        QHash<QString, ItemOrigin> origins = {};  // answers to what a pass asked
        QString ownShortID = {};
    };
    struct Output
    {
        QStringList written;  // directories whose carried time was written: to be scanned
        QSet<QString> ask;    // directories whose origin the engine must tell
        DirectoryNews deferred;  // the news of those, and of directories waiting for a new time
        bool waiting = false;    // some directory waits for a new time: pass again later
        QHash<QString, ItemOrigin> origins;  // the answers the waiting ones still need
    };

    static Output run(const Input &input, DirectoryTimeRecord &record);
    // The time a version in the engine's index carries, where it can be
    // trusted.
    static std::optional<qint64> carriedIn(const ItemOrigin &origin);
};

} // namespace tw
