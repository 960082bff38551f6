#include "views/kit/EnabledKeepingFocus.h"

#include <QVariant>
#include <QWidget>

namespace tw {
namespace {

constexpr const char *kFocusHeld = "tw_focusHeldByParent";

} // namespace

void setEnabledKeepingFocus(QWidget &widget, bool enabled)
{
    QWidget *parent = widget.parentWidget();
    // The window's focus widget, which Qt moves on also while the window is
    // inactive.
    if (!enabled && widget.isEnabled() && widget.window()->focusWidget() == &widget && parent) {
        // A widget takes the focus when told, whatever its focus policy.
        parent->setFocus(Qt::OtherFocusReason);
        widget.setProperty(kFocusHeld, true);
    }
    widget.setEnabled(enabled);
    if (enabled && widget.property(kFocusHeld).toBool()) {
        widget.setProperty(kFocusHeld, QVariant());
        if (parent && widget.window()->focusWidget() == parent)
            widget.setFocus(Qt::OtherFocusReason);
    }
}

} // namespace tw
