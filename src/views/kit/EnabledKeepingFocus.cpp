#include "views/kit/EnabledKeepingFocus.h"

#include <QGroupBox>
#include <QVariant>
#include <QWidget>

namespace tw {
namespace {

constexpr const char *kFocusHeld = "tw_focusHeldByParent";

// The nearest ancestor that keeps the focus it is told to take: a group box
// of no focus of its own (a form's section) passes it on to its first
// field, a widget with a focus proxy to that proxy.
QWidget *focusHolder(const QWidget &widget)
{
    QWidget *holder = widget.parentWidget();
    while (holder && (holder->focusProxy() ||
                      (qobject_cast<QGroupBox *>(holder) && holder->focusPolicy() == Qt::NoFocus)))
        holder = holder->parentWidget();
    return holder;
}

} // namespace

void setEnabledKeepingFocus(QWidget &widget, bool enabled)
{
    QWidget *holder = focusHolder(widget);
    // The window's focus widget, which Qt moves on also while the window is
    // inactive.
    if (!enabled && widget.isEnabled() && widget.window()->focusWidget() == &widget && holder) {
        // A widget takes the focus when told, whatever its focus policy.
        holder->setFocus(Qt::OtherFocusReason);
        widget.setProperty(kFocusHeld, true);
    }
    widget.setEnabled(enabled);
    if (enabled && widget.property(kFocusHeld).toBool()) {
        widget.setProperty(kFocusHeld, QVariant());
        if (holder && widget.window()->focusWidget() == holder)
            widget.setFocus(Qt::OtherFocusReason);
    }
}

} // namespace tw

namespace tw {

bool focusHeldFor(const QWidget &widget)
{
    return widget.property(kFocusHeld).toBool();
}

} // namespace tw
