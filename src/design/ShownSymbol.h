#pragma once

#include "design/DerivedForeground.h"
#include "design/Symbol.h"

#include <optional>

class QAbstractButton;
class QLabel;
class QWidget;

namespace tw {

// Puts a symbol on a widget and notes which one on it, so that a test (or an
// accessibility layer) can tell what a widget shows without comparing
// pixels. The label shows the symbol side × side; the button its icon, in
// the symbols' own grey of the appearance.
void showSymbol(QAbstractButton &button, Symbol symbol);
// The symbol in a colour that follows the appearance: the widget's text
// takes the rule, and the symbol is drawn again in it whenever it changes.
void showSymbol(QLabel &label, Symbol symbol, int side, const ForegroundRule &rule);
void showSymbol(QAbstractButton &button, Symbol symbol, const ForegroundRule &rule);
// A design colour: the shade of its hue a symbol reads in (3 : 1) on
// either appearance.
void showSymbol(QLabel &label, Symbol symbol, int side, const QColor &color);

// The symbol last put on the widget by showSymbol(); nothing when none.
std::optional<Symbol> shownSymbol(const QWidget &widget);

} // namespace tw
