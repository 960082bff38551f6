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
// pixels. The label shows the tinted symbol, side × side; the button its
// icon.
void showSymbol(QLabel &label, Symbol symbol, int side, const QColor &color);
void showSymbol(QAbstractButton &button, Symbol symbol);
// The symbol in a colour that follows the appearance: the label's text takes
// the rule, and the symbol is drawn again in it whenever it changes.
void showSymbol(QLabel &label, Symbol symbol, int side, const ForegroundRule &rule);

// The symbol last put on the widget by showSymbol(); nothing when none.
std::optional<Symbol> shownSymbol(const QWidget &widget);

} // namespace tw
