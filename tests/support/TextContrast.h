#pragma once

// Text contrast of real widgets, as drawn: each shown label's and flat
// button's text colour against what lies behind it (the nearest ancestor that
// fills its background, a card's fill, or the window). Header only: it needs
// the widgets library, which not every test binary links.

#include "design/CardFrame.h"
#include "design/ContrastRatio.h"

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QToolButton>
#include <cmath>

namespace tw::test {

struct LowContrast
{
    QString what;  // object name or text
    double ratio;
    double needed;
};

inline QColor backgroundBehind(const QWidget &widget)
{
    for (const QWidget *w = widget.parentWidget(); w; w = w->parentWidget()) {
        if (const auto *card = qobject_cast<const CardFrame *>(w)) {
            // A translucent fill (a tile's wash) over what lies behind the card.
            const QColor fill = card->fillColour();
            const QColor under = backgroundBehind(*card);
            const qreal alpha = fill.alphaF();
            const auto mix = [alpha](qreal over, qreal below) { return over * alpha + below * (1 - alpha); };
            return QColor::fromRgbF(float(mix(fill.redF(), under.redF())), float(mix(fill.greenF(), under.greenF())),
                                    float(mix(fill.blueF(), under.blueF())));
        }
        if (w->autoFillBackground() || w->isWindow())
            return w->palette().color(w->backgroundRole());
    }
    return QApplication::palette().color(QPalette::Window);
}


// The text colour of a label or a flat button; none for what draws its own
// text ground (a raised button) or shows no text.
inline std::optional<QColor> textColour(const QWidget &widget)
{
    if (const auto *label = qobject_cast<const QLabel *>(&widget)) {
        if (label->text().isEmpty())
            return std::nullopt;
        return label->palette().color(QPalette::Active, label->foregroundRole());
    }
    const auto *push = qobject_cast<const QPushButton *>(&widget);
    const auto *tool = qobject_cast<const QToolButton *>(&widget);
    if ((push && push->isFlat() && !push->text().isEmpty()) || (tool && tool->autoRaise() && !tool->text().isEmpty()))
        return widget.palette().color(QPalette::Active, QPalette::ButtonText);
    return std::nullopt;
}

// Every shown, enabled text under `root` that reads below its bound.
inline QList<LowContrast> lowContrastTexts(const QWidget &root)
{
    QList<LowContrast> low;
    for (const QWidget *widget : root.findChildren<QWidget *>()) {
        if (!widget->isVisibleTo(&root) || !widget->isEnabled())
            continue;
        const std::optional<QColor> text = textColour(*widget);
        if (!text)
            continue;
        const double ratio = contrastRatio(*text, backgroundBehind(*widget));
        const double needed = textContrast;
        if (ratio < needed) {
            QString what = widget->objectName();
            if (const auto *label = qobject_cast<const QLabel *>(widget))
                what += QLatin1Char(' ') + label->text().left(40);
            else if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
                what += QLatin1Char(' ') + button->text().left(40);
            low.append({what, ratio, needed});
        }
    }
    return low;
}

// Whether a shown colour is the design colour or a shade of it: the same
// hue and saturation, another lightness at most.
inline bool isShadeOf(const QColor &shown, const QColor &design)
{
    const QColor a = shown.toHsl();
    const QColor b = design.toHsl();
    return std::abs(a.hslHueF() - b.hslHueF()) <= 0.01f && std::abs(a.hslSaturationF() - b.hslSaturationF()) <= 0.03f;
}

// The colour a symbol's picture is drawn in: its most opaque pixel's, made
// opaque.
inline QColor symbolInk(const QImage &symbol)
{
    QColor ink(0, 0, 0, 0);
    for (int y = 0; y < symbol.height(); ++y)
        for (int x = 0; x < symbol.width(); ++x)
            if (symbol.pixelColor(x, y).alpha() > ink.alpha())
                ink = symbol.pixelColor(x, y);
    ink.setAlpha(255);
    return ink;
}

// The pixel of the area (the whole picture when none) that stands out most
// from the ground: a text's or a symbol's ink as drawn.
inline QColor strongestPixel(const QImage &shot, const QColor &ground, QRect area = {})
{
    area = area.isNull() ? shot.rect() : area.intersected(shot.rect());
    QColor strongest = ground;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (contrastRatio(shot.pixelColor(x, y), ground) > contrastRatio(strongest, ground))
                strongest = shot.pixelColor(x, y);
    return strongest;
}

} // namespace tw::test
