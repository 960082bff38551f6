#include "design/TextStyle.h"

#include "design/ContrastRatio.h"
#include "design/DerivedForeground.h"

#include <QApplication>
#include <QWidget>

namespace tw {
namespace {

constexpr qreal kBodyPoints = 13;

struct StyleMetrics
{
    qreal points;
    QFont::Weight weight;
};

StyleMetrics metricsOf(TextStyle style)
{
    switch (style) {
    case TextStyle::LargeTitle:
        return {26, QFont::Normal};
    case TextStyle::Title:
        return {22, QFont::Normal};
    case TextStyle::Title2:
        return {17, QFont::Normal};
    case TextStyle::Title3:
        return {15, QFont::Normal};
    case TextStyle::Headline:
        return {13, QFont::Bold};
    case TextStyle::Subheadline:
        return {11, QFont::Normal};
    case TextStyle::Body:
        return {13, QFont::Normal};
    case TextStyle::Callout:
        return {12, QFont::Normal};
    case TextStyle::Footnote:
    case TextStyle::Caption:
    case TextStyle::Caption2:
        return {10, QFont::Normal};
    }
    return {kBodyPoints, QFont::Normal};
}

// The base scaled by points / body points, in whichever unit the base is
// sized (a font set in pixels stays in pixels).
QFont scaled(const QFont &base, qreal macPoints, QFont::Weight weight)
{
    QFont font = base;
    const qreal factor = macPoints / kBodyPoints;
    if (base.pointSizeF() > 0)
        font.setPointSizeF(base.pointSizeF() * factor);
    else if (base.pixelSize() > 0)
        font.setPixelSize(qMax(1, qRound(base.pixelSize() * factor)));
    font.setWeight(weight);
    return font;
}

} // namespace

QFont textStyleFont(TextStyle style)
{
    return textStyleFont(style, QApplication::font());
}

QFont textStyleFont(TextStyle style, const QFont &base)
{
    const StyleMetrics metrics = metricsOf(style);
    return scaled(base, metrics.points, metrics.weight);
}

QFont pointsFont(qreal macPoints, QFont::Weight weight)
{
    return scaled(QApplication::font(), macPoints, weight);
}

QFont styledFont(TextStyle style, QFont::Weight weight)
{
    QFont font = textStyleFont(style);
    font.setWeight(weight);
    return font;
}

QColor secondaryTextColor(const QPalette &palette)
{
    return windowTextAt(secondaryStrength).colourOn(palette);
}

QColor secondaryRowTextColor(const QPalette &palette)
{
    return readableAlpha(palette.color(QPalette::Text), 0.6, {palette.color(QPalette::Base)}, textContrast);
}

void applyTextStyle(QWidget &widget, TextStyle style)
{
    widget.setFont(textStyleFont(style));
}

} // namespace tw
