#include "design/ElidedLine.h"

#include "design/OneLineText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace tw {
namespace {

// Letters a long name keeps, besides its "…", where its layout has no room.
constexpr int kLeastLetters = 8;
// Less than half a pixel beyond the width draws nothing that shows.
constexpr qreal kUnseenOverhang = 0.5;

} // namespace

QString elidedToFit(const QString &text, const QFont &font, Qt::TextElideMode mode, qreal width)
{
    const QString line = oneLineText(text);
    const QFontMetricsF metrics(font);
    if (metrics.horizontalAdvance(line) <= width + kUnseenOverhang)
        return line;
    return metrics.elidedText(line, mode, width);
}

int oneLineWidth(const QString &text, const QFont &font)
{
    return int(std::ceil(QFontMetricsF(font).horizontalAdvance(oneLineText(text))));
}

int leastOneLineWidth(const QString &text, const QFont &font)
{
    const QFontMetricsF metrics(font);
    const int few = int(std::ceil(metrics.averageCharWidth() * kLeastLetters + metrics.horizontalAdvance(QChar(0x2026))));
    return std::min(oneLineWidth(text, font), few);
}

void drawElidedLine(QPainter &painter, const QRect &area, const QFont &font, const QColor &color,
                    const QString &text, Qt::TextElideMode mode)
{
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, elidedToFit(text, font, mode, area.width()));
}

} // namespace tw
