#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

namespace tw {

// The text sizes the pages name, relative to the desktop's body font as the
// design's sizes are to its 13-point body text.
enum class TextStyle { Body, Callout, Caption, Caption2 };

QFont styledFont(TextStyle style, QFont::Weight weight = QFont::Normal);

// Secondary text: the window text at about half strength, for either palette.
QColor secondaryTextColor(const QPalette &palette);

} // namespace tw
