#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

class QPainter;

namespace tw {

// One line of a text that may not fit, as ElidedLabel, CapsuleChip and the
// painted rows draw it: on one line (oneLineText), whole when it fits the
// width and cut with "…" otherwise. Widths are measured to the fraction of
// a pixel: whole pixels rounded down would cut a name in a place made
// exactly as wide as it asked for.

// The text as drawn in that width.
QString elidedToFit(const QString &text, const QFont &font, Qt::TextElideMode mode, qreal width);

// The whole pixels the text needs on one line.
int oneLineWidth(const QString &text, const QFont &font);

// The least width a layout may give the text: the whole of a short name, a
// few letters and the "…" of a long one. Layouts take what they lack from
// every item alike, so a short name beside a long one would otherwise be
// cut to its first letter while the long one kept most of its own.
int leastOneLineWidth(const QString &text, const QFont &font);

// Paints one line of text in the area, left-aligned and centred vertically,
// cut with "…" where the area's width ends: the painted kin of ElidedLabel,
// for delegates and self-drawn widgets.
void drawElidedLine(QPainter &painter, const QRect &area, const QFont &font, const QColor &color,
                    const QString &text, Qt::TextElideMode mode);

} // namespace tw
