#pragma once

#include "design/Symbol.h"

class QAction;

namespace tw {

// A menu item that destroys something: its symbol in red, and its text
// too where the application's style draws the menus (the light and the
// dark appearance).
void markDestructive(QAction &action, Symbol symbol);
bool isDestructive(const QAction &action);

} // namespace tw
