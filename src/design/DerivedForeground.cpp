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

// Texts stand on the window, on cards and lists (the view colour), and on
// the faint washes of the window text that tiles, group boxes and the
// inspector lay over the window (together up to about 8 %); `wash` over each.
QList<QColor> groundsOf(const QPalette &inherited, const QColor &wash)
{
    QColor pageWash = inherited.color(QPalette::WindowText);
    pageWash.setAlphaF(0.08f);
    const QColor window = inherited.color(QPalette::Window);
    return {washed(window, wash), washed(inherited.color(QPalette::Base), wash), washed(washed(window, pageWash), wash)};
}

} // namespace

QColor ForegroundRule::colourOn(const QPalette &inherited) const
{
    const QList<QColor> grounds = groundsOf(inherited, wash);
    switch (kind) {
    case Kind::WindowText:
        if (strength <= 0)
            return Qt::transparent;
        return readableAlpha(inherited.color(QPalette::WindowText), strength, grounds, minimum);
    case Kind::Link:
        return readableShade(readableShade(readableShade(inherited.color(QPalette::Link), grounds[0], minimum),
                                           grounds[1], minimum),
                             grounds[2], minimum);
    case Kind::Tint:
        break;
    }
    QColor shade = tint;
    for (const QColor &ground : grounds)
        shade = readableShade(shade, ground, minimum);
    return shade;
}

ForegroundRule windowTextAt(qreal strength, double minimum)
{
    return {.kind = ForegroundRule::Kind::WindowText, .strength = strength, .tint = {}, .minimum = minimum};
}

ForegroundRule linkText()
{
    return {.kind = ForegroundRule::Kind::Link, .strength = 1, .tint = {}, .minimum = textContrast};
}

ForegroundRule readableTint(const QColor &colour, double minimum, const QColor &wash)
{
    return {.kind = ForegroundRule::Kind::Tint, .strength = 1, .tint = colour, .minimum = minimum, .wash = wash};
}

DerivedForeground::DerivedForeground(QWidget &widget, const ForegroundRule &rule,
                                     const QList<QPalette::ColorRole> &roles)
    : QObject(&widget), m_widget(widget), m_rule(rule), m_roles(roles)
{
    widget.installEventFilter(this);
}

void DerivedForeground::apply(QWidget &widget, const ForegroundRule &rule, const QList<QPalette::ColorRole> &roles)
{
    if (DerivedForeground *existing = ruleOf(widget)) {
        if (existing->m_rule == rule && existing->m_roles == roles)
            return;
        existing->m_rule = rule;
        existing->m_roles = roles;
        existing->update();
        return;
    }
    (new DerivedForeground(widget, rule, roles))->update();
}

QList<QPalette::ColorRole> DerivedForeground::textRoles()
{
    return {QPalette::WindowText, QPalette::ButtonText, QPalette::Text};
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
    for (const QPalette::ColorRole role : std::as_const(m_roles)) {
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

void tintMark(QWidget &widget, const QColor &colour, QPalette::ColorRole role)
{
    DerivedForeground::apply(widget, readableTint(colour, markContrast), {role});
}

void tintText(QWidget &widget, const QColor &colour, const QColor &wash)
{
    DerivedForeground::apply(widget, readableTint(colour, textContrast, wash));
}

} // namespace tw
