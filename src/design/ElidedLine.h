#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

class QPainter;

namespace tw {

// Paints one line of text in the area, left-aligned and centred vertically,
// cut with "…" where the area's width ends: the painted kin of ElidedLabel,
// for delegates and self-drawn widgets.
void drawElidedLine(QPainter &painter, const QRect &area, const QFont &font, const QColor &color,
                    const QString &text, Qt::TextElideMode mode);

} // namespace tw
