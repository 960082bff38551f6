#pragma once

#include <QString>
#include <functional>

class QMessageBox;
class QWidget;

namespace tw {

// Asks before a destructive or bulk action: a window-modal box over the
// panel that shows its title as its main text (a sheet's title bar may not
// be shown), the message below it, the action's button ("confirm") and
// "Cancel" ("cancel"). The action runs only when its button is pressed;
// `ended` runs however the box closes. The box deletes itself once closed.
// Texts are plain: they carry file names.
QMessageBox *confirmAction(QWidget &parent, const QString &title, const QString &message, const QString &action,
                           bool destructive, std::function<void()> confirmed, std::function<void()> ended = {});

// A box's main and informative texts, both shown as they are (names in them
// come from other Macs, links and files); the main one, the box's title, on
// one line, and a break inside the informative one, where a name it quotes
// would start a line that reads as the box's own, a space (oneLineText). A
// word too long for a line (a name, a path) is shortened in its middle with
// "…" to a line's width, and may break between any two of its letters.
void setPlainTexts(QMessageBox &box, const QString &text, const QString &informative);

} // namespace tw
