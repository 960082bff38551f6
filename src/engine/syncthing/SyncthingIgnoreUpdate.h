#pragma once

#include "engine/syncthing/rest/SyncthingAPI.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <qcoro/qcorotask.h>

namespace tw {

// Replaces a folder's ignore lines without leaving the folder broken.
//
// A line Syncthing cannot use stops the folder (and one holding a line break
// would become several patterns, since Syncthing keeps one per line of
// ".stignore"), so such lines are refused before anything is sent
// (SyncthingIgnoreSyntax). Should Syncthing refuse a line all the same, it
// answers 2xx with an "error" text and stops the folder; the previous lines
// are written back and the update is refused with that text. Should that
// write-back fail too, the folder may stay stopped with the refused line in
// place, and the error says so.
class SyncthingIgnoreUpdate
{
public:
    // Throws SyncEngineError::refused naming the first line Syncthing would
    // refuse, and why.
    static void checkLines(const QStringList &lines);

    // Checks the lines, reads the current ones, writes the new ones, and on a
    // reported error writes the old ones back and throws
    // refused(<Syncthing's text>). When the old lines cannot be written back,
    // it throws refused(<Syncthing's text> " (the previous ignore patterns
    // could not be put back: " <that failure's text> "; the folder may stay
    // stopped until its ignore patterns are fixed)") instead. A folder whose
    // current lines Syncthing cannot read has none to write back: a refusal
    // is then thrown as Syncthing's text alone.
    static QCoro::Task<void> replace(SyncthingAPI api, QString folderID, QStringList lines);
};

} // namespace tw
