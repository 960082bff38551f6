#pragma once

#include <QColor>
#include <QList>

namespace tw {

// How readable a text colour is on a background: the ratio of their relative
// luminances (each plus 0.05), from 1 (none) to 21 (black on white). A
// translucent text is laid over the background first, as it is drawn.
double contrastRatio(const QColor &text, const QColor &background);

// The least a text needs on its ground, whatever its size: a caption is read
// as closely as the body, and a small red or grey line is often the one that
// says what went wrong.
inline constexpr double textContrast = 4.5;
// The least a mark that carries meaning needs: a symbol, a status dot, a
// progress arc, the edge of a field.
inline constexpr double markContrast = 3.0;

// The colour of the same hue as `colour`, darkened or lightened (whichever
// the background leaves room for) just enough to reach `minimum` on it as
// drawn; `colour` itself when it already does. Both this and readableAlpha
// aim above `minimum`: antialiased, small text and thin strokes draw fainter
// than their colour.
QColor readableShade(const QColor &colour, const QColor &background, double minimum);

// `text` at the least opacity from `strength` (0…1) up that reaches
// `minimum` on every ground as drawn, opaque at most: a secondary grey that
// reads on one ground may not on another.
QColor readableAlpha(const QColor &text, qreal strength, const QList<QColor> &grounds, double minimum);

} // namespace tw
