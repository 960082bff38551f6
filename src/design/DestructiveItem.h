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
// A control whose one press reaches past the screen it is on (pausing all
// syncing, a page open to the phones of the network): like a destructive
// one, it takes the focus only from the user's own Tab or click.
void markWideEffect(QWidget &widget);
// Whether a focus that the program hands on, gives back or gives a window
// at first may land on the widget.
bool isHarmless(const QWidget &widget);

} // namespace tw
