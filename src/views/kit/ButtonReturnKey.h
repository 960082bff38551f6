#pragma once

#include <QObject>

class QAbstractButton;

namespace tw {

// Return and Enter on a focused button press it, as Space does, on every
// button of every window: a Linux desktop presses the focused button with
// either key. The key is the button's before any shortcut of its window can
// take it, so a panel's or a sheet's main button (`bindReturnKey`) has
// Return only while the focus is in a field, a list or nowhere in
// particular: Return on a focused "Cancel" cancels. A check box or a radio
// button is a field here (Space toggles it, Return still sends the form),
// and a widget with a `KeyActivation` of its own keeps its keys.
class ButtonReturnKey : public QObject
{
    Q_OBJECT

public:
    // Installed once on the application, however often asked.
    static void install();
    // Whether Return pressed on the widget, focused, presses it.
    static bool takesReturn(const QWidget &widget);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
};

} // namespace tw
