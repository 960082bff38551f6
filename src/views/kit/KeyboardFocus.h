#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QWidget;

namespace tw {

class FocusRing;

// The keyboard's way through every window, installed once on the
// application (like `WheelFocusGuard`):
// - Tab goes from stop to stop in the order the eye reads the window (see
//   `stopsAsRead`), however late a stop was made (a card made after the
//   tile below it, the toolbar's buttons made with each page);
// - a stop reached from the keyboard shows the `FocusRing`, and is scrolled
//   into view inside its scroll area;
// - a scroll area is no stop of its own: its content's stops are.
class KeyboardFocus : public QObject
{
    Q_OBJECT

public:
    explicit KeyboardFocus(QObject *parent = nullptr);

    // The widgets of `window` Tab stops on, in reading order: the window's
    // tree walked depth first, the children of each widget taken row by
    // row from the top (widgets whose heights overlap share a row), each
    // row from the left.
    static QList<QWidget *> stopsAsRead(QWidget &window);
    // Whether Tab may stop on the widget as it is now.
    static bool isStop(const QWidget &widget);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void mark(QWidget *widget);

    // The ring is made again when the widget it lay over goes, taking it along.
    QPointer<FocusRing> m_ring;
    bool m_keyboardLeads = false;
};

} // namespace tw
