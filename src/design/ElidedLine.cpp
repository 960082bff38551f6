#include "design/ElidedLine.h"

#include <QFontMetrics>
#include <QPainter>

namespace tw {

void drawElidedLine(QPainter &painter, const QRect &area, const QFont &font, const QColor &color,
                    const QString &text, Qt::TextElideMode mode)
{
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, QFontMetrics(font).elidedText(text, mode, area.width()));
}

} // namespace tw
