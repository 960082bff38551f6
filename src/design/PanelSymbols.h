#pragma once

#include "design/Symbol.h"

#include <QColor>
#include <QPen>

class QPainter;

namespace tw {

// Drawn symbols are laid out on a grid of this side, scaled to the asked
// rectangle, in one ink; the icon engine then colours the shape for the
// appearance, and badges tint it.
constexpr qreal kSymbolGrid = 24;

inline QColor symbolInk()
{
    return QColor(110, 110, 115);
}

// A stroke of the grid's width, but never thinner than about one and a half
// pixels where the painter draws it: a thinner one covers no pixel whole
// and shows as a faint grey on a small symbol.
QPen symbolStroke(const QPainter &painter, qreal width, Qt::PenStyle style = Qt::SolidLine);

// The icon theme name of a symbol of the folder panels, joining sheets and
// settings window; empty where common themes have none.
QString panelSymbolThemeName(Symbol symbol);

// Draws such a symbol's stand-in on the grid (the painter already scaled to
// it); other symbols draw nothing.
void drawPanelSymbol(QPainter &painter, Symbol symbol);

} // namespace tw
