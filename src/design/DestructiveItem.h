#pragma once

#include "design/Symbol.h"

class QAction;
class QWidget;

namespace tw {

// A menu item that destroys something: its symbol in red, and its text
// too where the application's style draws the menus (the light and the
// dark appearance).
void markDestructive(QAction &action, Symbol symbol);
bool isDestructive(const QAction &action);
// A control that removes or replaces something at once, asking nothing: a
// focus handed on from a control that went never lands on it.
void markDestructive(QWidget &widget);
bool isDestructive(const QWidget &widget);

} // namespace tw
