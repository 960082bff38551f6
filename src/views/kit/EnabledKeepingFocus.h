#pragma once

class QWidget;

namespace tw {

// Enables or disables a widget that may hold the focus. Qt passes the focus
// of a widget being disabled on to the next one in the tab order, which
// scrolls a form to it and puts the cursor in a field the user never chose.
// Here the focus stays with the nearest of its parents that keeps it,
// showing nothing, and comes back to the widget once it is enabled again,
// unless the user moved it meanwhile.
// Where the widget is hidden or removed before it is enabled again, its
// focus goes on to its neighbour (`KeyboardFocus`).
void setEnabledKeepingFocus(QWidget &widget, bool enabled);
// Whether the widget's focus waits with a parent of it until it is enabled.
bool focusHeldFor(const QWidget &widget);

} // namespace tw
