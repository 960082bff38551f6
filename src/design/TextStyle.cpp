#include "design/TextStyle.h"

#include <QApplication>

namespace tw {

namespace {

qreal designPoints(TextStyle style)
{
    switch (style) {
    case TextStyle::Body:
        return 13;
    case TextStyle::Callout:
        return 12;
    case TextStyle::Caption:
    case TextStyle::Caption2:
        return 10;
    }
    return 13;
}

} // namespace

QFont styledFont(TextStyle style, QFont::Weight weight)
{
    QFont font = QApplication::font();
    const qreal body = font.pointSizeF() > 0 ? font.pointSizeF() : 10;
    font.setPointSizeF(std::max<qreal>(7, body * designPoints(style) / 13));
    font.setWeight(weight);
    return font;
}

QColor secondaryTextColor(const QPalette &palette)
{
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.55f);
    return color;
}

} // namespace tw
