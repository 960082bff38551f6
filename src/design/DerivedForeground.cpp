#include "design/DerivedForeground.h"

#include "design/ContrastRatio.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace tw {
namespace {

DerivedForeground *ruleOf(const QWidget &widget)
{
    return widget.findChild<DerivedForeground *>(QString(), Qt::FindDirectChildrenOnly);
}

QPalette inheritedPalette(const QWidget &widget)
{
    if (const QWidget *parent = widget.parentWidget(); parent && !widget.isWindow())
        return parent->palette();
    return QApplication::palette(&widget);
}

// `wash` laid over the opaque `background`.
QColor washed(const QColor &background, const QColor &wash)
{
    if (!wash.isValid())
        return background;
    const qreal alpha = wash.alphaF();
    const auto mix = [alpha](qreal over, qreal under) { return over * alpha + under * (1 - alpha); };
    return QColor::fromRgbF(float(mix(wash.redF(), background.redF())), float(mix(wash.greenF(), background.greenF())),
                            float(mix(wash.blueF(), background.blueF())));
}

} // namespace

QColor ForegroundRule::colourOn(const QPalette &inherited) const
{
    switch (kind) {
    case Kind::WindowText: {
        QColor colour = inherited.color(QPalette::WindowText);
        colour.setAlphaF(float(colour.alphaF() * strength));
        return colour;
    }
    case Kind::Link:
        return inherited.color(QPalette::Link);
    case Kind::Tint:
        break;
    }
    // Texts stand on the window, on cards and lists (the view colour), and
    // on the faint washes of the window text that tiles, group boxes and the
    // inspector lay over the window (together up to about 8 %).
    QColor pageWash = inherited.color(QPalette::WindowText);
    pageWash.setAlphaF(0.08f);
    const QColor window = inherited.color(QPalette::Window);
    QColor shade = readableShade(tint, washed(window, wash), minimum);
    shade = readableShade(shade, washed(inherited.color(QPalette::Base), wash), minimum);
    return readableShade(shade, washed(washed(window, pageWash), wash), minimum);
}

ForegroundRule windowTextAt(qreal strength)
{
    return {.kind = ForegroundRule::Kind::WindowText, .strength = strength, .tint = {}, .minimum = 0};
}

ForegroundRule linkText()
{
    return {.kind = ForegroundRule::Kind::Link, .strength = 1, .tint = {}, .minimum = 0};
}

ForegroundRule readableTint(const QColor &colour, double minimum, const QColor &wash)
{
    return {.kind = ForegroundRule::Kind::Tint, .strength = 1, .tint = colour, .minimum = minimum, .wash = wash};
}

DerivedForeground::DerivedForeground(QWidget &widget, const ForegroundRule &rule)
    : QObject(&widget), m_widget(widget), m_rule(rule)
{
    widget.installEventFilter(this);
}

void DerivedForeground::apply(QWidget &widget, const ForegroundRule &rule)
{
    if (DerivedForeground *existing = ruleOf(widget)) {
        if (existing->m_rule == rule)
            return;
        existing->m_rule = rule;
        existing->update();
        return;
    }
    (new DerivedForeground(widget, rule))->update();
}

bool DerivedForeground::follows(const QWidget &widget)
{
    return ruleOf(widget) != nullptr;
}

bool DerivedForeground::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_widget) {
        switch (event->type()) {
        case QEvent::PaletteChange:
        case QEvent::ParentChange:
        case QEvent::ApplicationPaletteChange:
            update();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void DerivedForeground::update()
{
    const QColor colour = m_rule.colourOn(inheritedPalette(m_widget));
    QPalette palette = m_widget.palette();
    bool changed = false;
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            if (palette.color(group, role) != colour || !palette.isBrushSet(group, role)) {
                palette.setColor(group, role, colour);
                changed = true;
            }
        }
    }
    // Setting the palette tells this filter again; then nothing differs.
    if (changed)
        m_widget.setPalette(palette);
}

QColor readableOn(const QColor &colour, const QPalette &palette, double minimum, const QColor &wash)
{
    return readableTint(colour, minimum, wash).colourOn(palette);
}

void tintText(QWidget &widget, const QColor &colour, const QColor &wash)
{
    DerivedForeground::apply(widget, readableTint(colour, neededContrast(widget.font()), wash));
}

} // namespace tw
