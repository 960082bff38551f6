#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QWidget;

namespace tw {

// The text styles the screens are laid out in, named after the Mac's. Each
// is a size relative to the application font, which stands for the body
// style (13 points on a Mac), so the screens follow the desktop's font and
// its size.
enum class TextStyle { LargeTitle, Title, Title2, Title3, Headline, Subheadline, Body, Callout, Footnote, Caption, Caption2 };

// The style's font, made from `base` (the application font when omitted).
QFont textStyleFont(TextStyle style);
QFont textStyleFont(TextStyle style, const QFont &base);

// A font of a size given in Mac points ("12-point medium"), relative to the
// application font as the styles are.
QFont pointsFont(qreal macPoints, QFont::Weight weight = QFont::Normal);

// The style's font at another weight.
QFont styledFont(TextStyle style, QFont::Weight weight = QFont::Normal);

// Secondary text: the window text at about half strength, for either
// palette; tertiary text asks for a little less. Either is made as much
// stronger as it needs to read at 4.5 : 1 on the window, the views and the
// faint washes of tiles (`windowTextAt`), and both ask for less than that
// in either appearance, so the two draw the same grey: tertiary names the
// tone a text has, not a fainter grey.
inline constexpr qreal secondaryStrength = 0.55;
inline constexpr qreal tertiaryStrength = 0.45;
QColor secondaryTextColor(const QPalette &palette);
// The same for the rows of a list, drawn on its base in its text colour.
QColor secondaryRowTextColor(const QPalette &palette);

// Sets the widget's font to the style's.
void applyTextStyle(QWidget &widget, TextStyle style);

} // namespace tw
