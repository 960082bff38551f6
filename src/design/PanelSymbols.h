#pragma once

#include "design/Symbol.h"

#include <QColor>
#include <QPen>

class QPainter;

namespace tw {

// Drawn symbols are laid out on a grid of this side, scaled to the asked
// rectangle, in one neutral grey that badges tint.
constexpr qreal kSymbolGrid = 24;

inline QColor symbolInk()
{
    return QColor(110, 110, 115);
}

inline QPen symbolStroke(qreal width, Qt::PenStyle style = Qt::SolidLine)
{
    return QPen(symbolInk(), width, style, Qt::RoundCap, Qt::RoundJoin);
}

// The icon theme name of a symbol of the folder panels, joining sheets and
// settings window; empty where common themes have none.
QString panelSymbolThemeName(Symbol symbol);

// Draws such a symbol's stand-in on the grid (the painter already scaled to
// it); other symbols draw nothing.
void drawPanelSymbol(QPainter &painter, Symbol symbol);

} // namespace tw
