#pragma once

#include <QObject>

class QWidget;

namespace tw {

// Spin boxes, combo boxes and sliders take the mouse wheel only while they
// have the focus: a wheel turned over a form scrolls the form and never
// changes a value the pointer happens to pass over. Installed once on the
// application, it watches every widget: such a widget no longer takes the
// focus from a wheel, and a wheel over it without the focus goes on to its
// parents, the page's scroll area among them.
class WheelFocusGuard : public QObject
{
public:
    explicit WheelFocusGuard(QObject *parent = nullptr);

    // Whether the wheel would change the widget's value (a scroll bar only
    // scrolls, so it keeps the wheel).
    static bool guards(const QWidget &widget);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace tw
