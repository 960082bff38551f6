#include "views/shell/ReadableStyle.h"

#include "design/ContrastRatio.h"
#include "design/DerivedForeground.h"
#include "design/DestructiveItem.h"
#include "design/Theme.h"

#include <QMenu>
#include <QPainter>
#include <QStyleOption>
#include <algorithm>

namespace tw {
namespace {

// Fusion's corner radius of buttons, fields and progress bars.
constexpr qreal kRadius = 2;

// Fusion's own one-pixel frame of the rectangle, drawn again on top.
void frame(QPainter &painter, const QRect &rect, const QColor &colour, qreal radius, const QBrush &fill = Qt::NoBrush)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.translate(0.5, 0.5);
    painter.setPen(colour);
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(rect.adjusted(0, 0, -1, -1)), radius, radius);
    painter.restore();
}

// Whether the menu's item drawn in that rectangle destroys something.
bool destructiveItemAt(const QWidget *widget, const QRect &rect)
{
    const auto *menu = qobject_cast<const QMenu *>(widget);
    if (!menu)
        return false;
    const QList<QAction *> actions = menu->actions();
    return std::any_of(actions.cbegin(), actions.cend(), [&](QAction *action) {
        return action->isEnabled() && isDestructive(*action) && menu->actionGeometry(action) == rect;
    });
}

} // namespace

ReadableStyle::ReadableStyle(QStyle *base)
    : QProxyStyle(base), m_overFusion(baseStyle()->name().compare(QStringLiteral("fusion"), Qt::CaseInsensitive) == 0)
{
}

QColor ReadableStyle::frameColour(const QPalette &palette)
{
    // Fusion's outline, the window a little darker, in the shade that reads.
    return readableOn(palette.color(QPalette::Window).darker(140), palette, markContrast);
}

void ReadableStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                                  const QWidget *widget) const
{
    // The application rings the focused control itself; Fusion's own mark,
    // a wash of the highlight over the control's face, would only dim its
    // symbol and words.
    if (m_overFusion && element == PE_FrameFocusRect)
        return;
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    if (!m_overFusion)
        return;
    const bool keyboardFocus = (option->state & State_HasFocus) && (option->state & State_KeyboardFocusChange);
    if (element == PE_IndicatorCheckBox && !keyboardFocus)
        frame(*painter, option->rect, frameColour(option->palette), 0);
    // A field's edge is where it can be clicked: Fusion's is lost on the
    // dark window. A focused field keeps the highlight Fusion rings it with.
    if (element == PE_FrameLineEdit && !(option->state & State_HasFocus))
        frame(*painter, option->rect, frameColour(option->palette), kRadius);
    if (element == PE_PanelButtonCommand && (option->state & State_On)) {
        const QColor highlight = option->palette.color(QPalette::Highlight);
        QColor wash = highlight;
        wash.setAlphaF(0.15f);
        frame(*painter, option->rect, highlight, kRadius, wash);
    }
}

void ReadableStyle::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                                const QWidget *widget) const
{
    if (element == CE_MenuItem && !(option->state & State_Selected) && destructiveItemAt(widget, option->rect)) {
        QStyleOptionMenuItem item = *qstyleoption_cast<const QStyleOptionMenuItem *>(option);
        const QColor red = readableOn(Theme::danger(), item.palette, textContrast);
        for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
            for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
                item.palette.setColor(group, role, red);
        QProxyStyle::drawControl(element, &item, painter, widget);
        return;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
    if (m_overFusion && element == CE_ProgressBarGroove)
        frame(*painter, option->rect, frameColour(option->palette), kRadius);
}

void ReadableStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                                       const QWidget *widget) const
{
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    // Fusion draws a spin box's field, edge and all, itself, a pixel in from
    // the top and the bottom, not as a line edit's frame.
    if (const auto *spinBox = qstyleoption_cast<const QStyleOptionSpinBox *>(option);
        m_overFusion && control == CC_SpinBox && spinBox && spinBox->frame && !(option->state & State_HasFocus))
        frame(*painter, option->rect.adjusted(0, 1, 0, -1), frameColour(option->palette), kRadius);
}

} // namespace tw
