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
// Syncthing stores the lines one per line of ".stignore", so a line holding a
// line break would become several patterns (a subfolder named "a\n*" would
// ignore everything); such lines are refused before anything is sent. It also
// accepts an invalid pattern with a 2xx answer that carries an "error" text,
// and then stops the folder; the previous lines are written back and the
// update fails with that text. Should that write-back fail too, the folder may
// stay stopped with the refused line in place, and the error says so.
class SyncthingIgnoreUpdate
{
public:
    // Throws SyncEngineError::backend naming the first line that holds a CR,
    // an LF or a NUL.
    static void checkLines(const QStringList &lines);

    // Checks the lines, reads the current ones, writes the new ones, and on a
    // reported error writes the old ones back and throws
    // backend(<Syncthing's text>). When the old lines cannot be written back,
    // it throws backend(<Syncthing's text> " (the previous ignore patterns
    // could not be put back: " <that failure's text> "; the folder may stay
    // stopped until its ignore patterns are fixed)") instead.
    static QCoro::Task<void> replace(SyncthingAPI api, QString folderID, QStringList lines);
};

} // namespace tw
