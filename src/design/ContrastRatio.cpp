#include "design/ContrastRatio.h"

#include <algorithm>
#include <cmath>

namespace tw {
namespace {

double linear(double channel)
{
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double luminance(const QColor &colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

QColor over(const QColor &text, const QColor &background)
{
    const QColor top = text.toRgb();
    const QColor bottom = background.toRgb();
    const double alpha = top.alphaF();
    const auto mix = [alpha](double a, double b) { return a * alpha + b * (1 - alpha); };
    return QColor::fromRgbF(float(mix(top.redF(), bottom.redF())), float(mix(top.greenF(), bottom.greenF())),
                            float(mix(top.blueF(), bottom.blueF())));
}

// What a shade is worked out to reach, above the bound it is held to:
// antialiased, a small text's stems and a thin stroke cover no pixel wholly
// and draw up to about a fifth fainter than their colour (a caption at
// 5.7 : 1 drew at 4.5 : 1).
double aimedAbove(double minimum)
{
    constexpr double kDrawnMargin = 1.3;
    return minimum * kDrawnMargin;
}

} // namespace

double contrastRatio(const QColor &text, const QColor &background)
{
    const QColor ground = over(background, Qt::white);
    const double a = luminance(over(text, ground));
    const double b = luminance(ground);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor readableShade(const QColor &colour, const QColor &background, double bound)
{
    const double minimum = aimedAbove(bound);
    if (contrastRatio(colour, background) >= minimum)
        return colour;
    const QColor hsl = colour.toHsl();
    // Towards black on a light background, towards white on a dark one.
    const bool darken = luminance(background) > 0.18;
    QColor shade = hsl;
    for (int step = 1; step <= 100; ++step) {
        const double lightness = darken ? hsl.lightnessF() * (1 - step / 100.0)
                                        : hsl.lightnessF() + (1 - hsl.lightnessF()) * step / 100.0;
        shade = QColor::fromHslF(hsl.hslHueF(), hsl.hslSaturationF(), float(lightness));
        if (contrastRatio(shade, background) >= minimum)
            break;
    }
    shade.setAlpha(255);
    return shade.toRgb();
}

QColor readableAlpha(const QColor &text, qreal strength, const QList<QColor> &grounds, double bound)
{
    const double minimum = aimedAbove(bound);
    QColor colour = text;
    for (qreal alpha = strength; alpha < 1; alpha += 0.01) {
        colour.setAlphaF(float(text.alphaF() * alpha));
        if (std::all_of(grounds.cbegin(), grounds.cend(),
                        [&](const QColor &ground) { return contrastRatio(colour, ground) >= minimum; }))
            return colour;
    }
    return text;
}

} // namespace tw
