#pragma once

class QAbstractButton;
class QShortcut;
class QWidget;

namespace tw {

// The default action of a panel or a sheet: Return (and the keypad's Enter)
// clicks the button while the panel is shown in the active window and the
// focus is in a field or a list of that window, or on nothing that takes the
// key, and does nothing while the button is disabled or hidden. A focused
// button takes Return itself (`ButtonReturnKey`, installed here): Return on
// "Cancel" cancels. A multi-line field keeps Return for its new lines (it
// claims the key before any shortcut). A dialog's own default button would not do:
// it is lost once the focus visits another button, and is never the
// dialog's when set before the button was placed in it. The shortcuts
// belong to the panel and go with it. Return in an open list (a combo box's)
// only commits the choice there.
void bindReturnKey(QWidget &panel, QAbstractButton &button);

// A part of a form with a button of its own (a settings section, where the
// window has no one main button): Return and Enter in a one-line field of
// the part (a line edit, a spin box) press the button while it is enabled
// and shown. The fields are the part, when it is one, and those it holds
// when bound.
void bindFieldsReturnKey(QWidget &part, QAbstractButton &button);

} // namespace tw
