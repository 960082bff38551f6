#pragma once

#include <QColor>
#include <QFont>

namespace tw {

// How readable a text colour is on a background: the ratio of their relative
// luminances (each plus 0.05), from 1 (none) to 21 (black on white). A
// translucent text is laid over the background first, as it is drawn.
double contrastRatio(const QColor &text, const QColor &background);

// The least a text needs: body text, and captions, symbols and large text.
inline constexpr double bodyContrast = 4.5;
inline constexpr double captionContrast = 3.0;
// Which of the two a text in that font needs: captions (smaller than the
// body font) and large bold titles read at 3 : 1, the rest at 4.5 : 1.
double neededContrast(const QFont &font);

// The colour of the same hue as `colour`, darkened or lightened (whichever
// the background leaves room for) just enough to reach `minimum` on it;
// `colour` itself when it already does.
QColor readableShade(const QColor &colour, const QColor &background, double minimum);

} // namespace tw
