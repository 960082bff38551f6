#pragma once

#include <QString>

class QAction;
class QMenu;

namespace tw {

// Adds a row to a menu that tells something (the state, the rates, what a
// Mac is) rather than doing it. It stays enabled, so it is drawn as text:
// a disabled row is the faint grey of a command that cannot be used now,
// about 1.9 : 1 on the menu. Choosing it only closes the menu.
QAction *addInformationRow(QMenu &menu, const QString &text = {});

} // namespace tw
