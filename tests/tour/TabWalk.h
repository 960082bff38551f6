#pragma once

#include "ScreenChecks.h"
#include "WaitUntil.h"

#include "views/kit/KeyActivation.h"

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTest>
#include <QTextEdit>

namespace tw::tabwalk {

// Whether the widget does something of its own when clicked, typed into or
// pressed from the keyboard.
inline bool isAction(const QWidget &widget)
{
    if (qobject_cast<const QScrollBar *>(&widget) || widget.testAttribute(Qt::WA_TransparentForMouseEvents))
        return false;
    if (auto *label = qobject_cast<const QLabel *>(&widget))
        return label->textInteractionFlags() & (Qt::LinksAccessibleByKeyboard | Qt::TextSelectableByKeyboard);
    if (auto *text = qobject_cast<const QPlainTextEdit *>(&widget))
        return !text->isReadOnly();
    if (auto *text = qobject_cast<const QTextEdit *>(&widget))
        return !text->isReadOnly();
    return qobject_cast<const QAbstractButton *>(&widget) || qobject_cast<const QLineEdit *>(&widget)
           || qobject_cast<const QAbstractSpinBox *>(&widget) || qobject_cast<const QComboBox *>(&widget)
           || qobject_cast<const QAbstractItemView *>(&widget) || qobject_cast<const QTabBar *>(&widget)
           || qobject_cast<const QAbstractSlider *>(&widget)
           || widget.findChild<QObject *>(QString::fromLatin1(KeyActivation::objectName), Qt::FindDirectChildrenOnly)
           || (widget.testAttribute(Qt::WA_SetCursor) && widget.cursor().shape() == Qt::PointingHandCursor);
}

// An action of the window a user sees and may want: shown, enabled, not a
// part of another control (a tab bar's scroll arrows, a spin box's field).
inline bool isOffered(const QWidget &widget, const QWidget &window)
{
    if (widget.window() != &window || !widget.isEnabled() || !isAction(widget) || widget.focusProxy())
        return false;
    if (screenchecks::visibleRectIn(widget, window).isEmpty())
        return false;
    for (const QWidget *up = widget.parentWidget(); up && up != &window; up = up->parentWidget())
        if (qobject_cast<const QTabBar *>(up) || qobject_cast<const QAbstractSpinBox *>(up)
            || qobject_cast<const QComboBox *>(up))
            return false;
    return true;
}

// A segment or radio button of an exclusive group is reached through the
// group's one stop; its arrows move among the rest.
inline bool reachedThroughGroup(const QWidget &widget, const QList<QWidget *> &stops)
{
    auto *button = qobject_cast<const QAbstractButton *>(&widget);
    QButtonGroup *group = button ? button->group() : nullptr;
    if (!group || !group->exclusive())
        return false;
    const QList<QAbstractButton *> members = group->buttons();
    return std::any_of(members.cbegin(), members.cend(), [&](QAbstractButton *m) { return stops.contains(m); });
}

// The area of a stop its mark may change: the stop and a few pixels round.
inline QRect markedArea(const QWidget &stop, const QWidget &window)
{
    return QRect(stop.mapTo(&window, QPoint()), stop.size()).adjusted(-4, -4, 4, 4).intersected(window.rect());
}

// One stop: its mark seen (pixels that change when it has the focus, at
// 3 : 1 on what they cover), or the fault.
inline std::optional<QString> markFault(QWidget &stop, QWidget &window, QImage *tile)
{
    const QRect area = markedArea(stop, window);
    const QImage focused = window.grab(area).toImage();
    stop.clearFocus();
    const QImage plain = window.grab(area).toImage();
    stop.setFocus(Qt::TabFocusReason);
    if (tile)
        *tile = focused;
    if (focused.size() != plain.size())
        return std::nullopt;
    // Seen where enough pixels change at 3 : 1: a ring's length, not a speck.
    int marked = 0, changed = 0;
    double best = 1;
    for (int y = 0; y < focused.height(); ++y)
        for (int x = 0; x < focused.width(); ++x) {
            if (focused.pixel(x, y) == plain.pixel(x, y))
                continue;
            const double ratio = screenchecks::symbols::ratio(focused.pixel(x, y), plain.pixel(x, y));
            ++changed;
            marked += ratio >= 2.95;
            best = std::max(best, ratio);
        }
    if (changed == 0)
        return screenchecks::describe(stop) + QStringLiteral(": a stop of Tab shows no mark");
    if (marked < 24)
        return screenchecks::describe(stop) + QStringLiteral(": its focus mark reads at %1 : 1").arg(best, 0, 'f', 2);
    return std::nullopt;
}

// What a stop is for the pictures of marks: its type, a type of ours with
// its name (a Mac's chip and the "more" chip), a checkable button apart.
inline QString kindOf(const QWidget &stop)
{
    QString kind = QString::fromLatin1(stop.metaObject()->className());
    if (kind.startsWith(QLatin1String("tw::")))
        kind += '#' + stop.objectName();
    if (auto *button = qobject_cast<const QAbstractButton *>(&stop); button && button->isCheckable())
        kind += QStringLiteral(" (checkable)");
    return kind;
}

// The widget the keyboard's Tab lands on from the focused one, sent as a
// person presses it. A multi-line field that types Tab is left through its
// parent, as by Ctrl+Tab.
inline QWidget *pressTab(QWidget &window)
{
    QWidget *from = window.focusWidget() ? window.focusWidget() : &window;
    const bool typesTab = (qobject_cast<QPlainTextEdit *>(from) && !static_cast<QPlainTextEdit *>(from)->tabChangesFocus())
                          || (qobject_cast<QTextEdit *>(from) && !static_cast<QTextEdit *>(from)->tabChangesFocus());
    if (typesTab && from->parentWidget()) {
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QCoreApplication::sendEvent(from->parentWidget(), &tab);
    } else {
        QTest::keyClick(from, Qt::Key_Tab);
    }
    return window.focusWidget();
}

// Walks the window with Tab from its first stop round to it again: each
// stop shows a mark at 3 : 1, does something, and every action of the window
// is one of the stops. The window's scroll positions and focus are as they
// were after; the marks seen are kept in `tiles` by kind of stop.
inline QStringList walkFaults(QWidget &window, QMap<QString, QImage> &tiles)
{
    QStringList faults;
    window.activateWindow();
    if (!waitUntil([&] { return window.isActiveWindow(); }, 2000))
        return {QStringLiteral("the window does not become active for its Tab walk")};
    QMap<QScrollBar *, int> scrolled;
    for (QScrollBar *bar : window.findChildren<QScrollBar *>())
        scrolled.insert(bar, bar->value());
    QWidget *before = window.focusWidget();
    QList<QWidget *> stops;
    for (int presses = 0; presses < 300; ++presses) {
        QWidget *stop = pressTab(window);
        if (!stop || stops.contains(stop))
            break;
        stops.append(stop);
        const QString kind = kindOf(*stop);
        QImage tile;
        if (const std::optional<QString> fault = markFault(*stop, window, tiles.contains(kind) ? nullptr : &tile))
            faults << *fault;
        else if (!tile.isNull())
            tiles.insert(kind, tile);
        if (!isAction(*stop))
            faults << screenchecks::describe(*stop) + QStringLiteral(": a stop of Tab that does nothing");
    }
    for (QWidget *widget : window.findChildren<QWidget *>())
        if (isOffered(*widget, window) && !stops.contains(widget) && !reachedThroughGroup(*widget, stops))
            faults << screenchecks::describe(*widget) + QStringLiteral(": no stop of Tab reaches it");
    // A click's focus: the mark goes and the keyboard no longer leads.
    (before ? before : &window)->setFocus(Qt::MouseFocusReason);
    for (auto it = scrolled.cbegin(); it != scrolled.cend(); ++it)
        it.key()->setValue(it.value());
    return faults;
}

} // namespace tw::tabwalk
