#pragma once

class QAbstractButton;
class QShortcut;
class QWidget;

namespace tw {

// The default action of a panel that is not a dialog: Return (and the
// keypad's Enter) clicks the button while the panel is shown in the active
// window, and does nothing while the button is disabled or hidden. The
// shortcuts belong to the panel and go with it.
void bindReturnKey(QWidget &panel, QAbstractButton &button);

} // namespace tw
