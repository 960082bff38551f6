#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QAbstractItemView;
class QKeyEvent;
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
// - a scroll area is no stop of its own: its content's stops are;
// - the ring shows only while the keyboard leads: a press of the mouse takes
//   it away, a key that moves or presses brings it back;
// - a sheet, a question or a part opened in place (a folder's panel) gives
//   the focus back to the control that opened it when it goes (or to the
//   one made anew in its place), ringed when the last input was a key and
//   the keyboard opened it or led in it since; a part opened in place gives
//   it first to its own first stop;
// - a widget that is no stop (a panel's empty page) hands a focus the
//   program gave it to the stop nearest it;
// - a focused control that is disabled, hidden or removed hands the focus
//   to its neighbour (`neighbour`), never to one that destroys something or
//   acts past its screen (`isHarmless`): those take it only from the user's
//   own Tab or click, never as a window's first focus or given back;
// - a key on a list whose current row shows no mark first shows it.
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
    // The part, shown in place of what `opener` was in, takes the focus on
    // its first stop once shown, and gives it back to `opener` (or to the
    // control of its type and name made anew in the part's place) when it
    // is hidden.
    static void openedInPlace(QWidget &part, QWidget *opener);
    // The stop a focus leaving `lost` goes to: in the smallest part of the
    // window around it that has one, the stop nearest it, one of its own row
    // first, never one marked destructive (`markDestructive`).
    static QWidget *neighbour(const QWidget &lost);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void mark(QWidget *widget);
    bool keyPressed(QWidget &widget, const QKeyEvent &key);
    bool showCurrentRow(QAbstractItemView &view, const QKeyEvent &key);
    // Whether the focus may stay where it came for that reason.
    static bool aimedAt(QWidget &widget, Qt::FocusReason reason);
    // Whether the mark is on no control shown in the widget's window.
    bool markedElsewhere(const QWidget &widget) const;
    // Once the event loop turns, a focus the user did not aim at goes on:
    // to the window's first harmless stop, or to the neighbour.
    void handOnUnaimed(QWidget &widget, bool windowsFirst);
    void focusLeft(QWidget &widget, Qt::FocusReason reason);
    // Once the event loop turns, a focus given to a widget that is no stop
    // goes on to the stop nearest it.
    void handOnFromPage(QWidget &page);
    void windowShown(QWidget &window);
    // Once the event loop turns, `part`'s first stop takes the focus.
    void focusFirstStop(QPointer<QWidget> part, bool again);
    void partHidden(QWidget &part);
    // Marked after a key, where `markable`.
    void focusAgain(QWidget *target, bool markable = true);

    // The ring is made again when the widget it lay over goes, taking it along.
    QPointer<FocusRing> m_ring;
    bool m_keyboardLeads = false;
    // Whether the last key or button pressed was a key.
    bool m_keyboardLast = false;
    bool m_handingOn = false;
    // Parts shown that are yet to give the focus to their first stop.
    int m_partsOpening = 0;
};

} // namespace tw
