#include "views/kit/WheelFocusGuard.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QEvent>
#include <QScrollBar>

namespace tw {

WheelFocusGuard::WheelFocusGuard(QObject *parent) : QObject(parent) {}

bool WheelFocusGuard::guards(const QWidget &widget)
{
    return qobject_cast<const QAbstractSpinBox *>(&widget) || qobject_cast<const QComboBox *>(&widget) ||
           (qobject_cast<const QAbstractSlider *>(&widget) && !qobject_cast<const QScrollBar *>(&widget));
}

bool WheelFocusGuard::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::Polish && type != QEvent::Wheel)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || !guards(*widget))
        return false;
    if (type == QEvent::Polish) {
        // The application gives the focus to a widget that asks for it by
        // wheel before the widget sees the wheel: polished widgets are made
        // before any wheel reaches them.
        if ((widget->focusPolicy() & Qt::WheelFocus) == Qt::WheelFocus)
            widget->setFocusPolicy(Qt::StrongFocus);
        return false;
    }
    if (widget->hasFocus())
        return false;
    // Filtered but not accepted: the application offers it to the parents.
    event->ignore();
    return true;
}

} // namespace tw
