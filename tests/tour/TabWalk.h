#pragma once

#include "ScreenChecks.h"
#include "WaitUntil.h"

#include "views/kit/KeyActivation.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTabBar>
#include <QTest>

// The tour's walk of a window with Tab, as a person without a mouse goes.
namespace tw::tabwalk {

// Whether the widget does something when clicked, typed into or pressed.
inline bool isAction(const QWidget &w)
{
    if (qobject_cast<const QScrollBar *>(&w) || w.testAttribute(Qt::WA_TransparentForMouseEvents))
        return false;
    if (auto *label = qobject_cast<const QLabel *>(&w))
        return label->textInteractionFlags() & (Qt::LinksAccessibleByKeyboard | Qt::TextSelectableByKeyboard);
    if (auto *text = qobject_cast<const QAbstractScrollArea *>(&w); text && text->inherits("QPlainTextEdit"))
        return !static_cast<const QPlainTextEdit *>(&w)->isReadOnly();
    return qobject_cast<const QAbstractButton *>(&w) || qobject_cast<const QLineEdit *>(&w)
           || qobject_cast<const QAbstractSpinBox *>(&w) || qobject_cast<const QComboBox *>(&w)
           || qobject_cast<const QAbstractItemView *>(&w) || qobject_cast<const QTabBar *>(&w)
           || w.findChild<QObject *>(QString::fromLatin1(KeyActivation::objectName), Qt::FindDirectChildrenOnly)
           || (w.testAttribute(Qt::WA_SetCursor) && w.cursor().shape() == Qt::PointingHandCursor);
}

// An action shown in the window and no part of another control, that no
// stop reaches: a segment of an exclusive group is reached through its one
// stop, arrows moving among the rest.
inline bool unreached(const QWidget &w, const QWidget &window, const QList<QWidget *> &stops)
{
    if (w.window() != &window || !w.isEnabled() || !isAction(w) || w.focusProxy() || stops.contains(&w)
        || screenchecks::visibleRectIn(w, window).isEmpty() || qobject_cast<const QTabBar *>(w.parentWidget()))
        return false;
    auto *button = qobject_cast<const QAbstractButton *>(&w);
    const QButtonGroup *group = button ? button->group() : nullptr;
    const QList<QAbstractButton *> members = group && group->exclusive() ? group->buttons() : QList<QAbstractButton *>();
    return std::none_of(members.cbegin(), members.cend(), [&](QAbstractButton *m) { return stops.contains(m); });
}

// Enough pixels of `marked` (a ring's length, not a speck) at 3 : 1 or more
// against the same place in `plain`; else the best ratio seen, said of the stop's `what`.
inline std::optional<QString> faintMark(const QWidget &stop, const QImage &marked, const QImage &plain, const char *what)
{
    int count = 0;
    double best = 1;
    for (int y = 0; y < marked.height() && plain.size() == marked.size(); ++y)
        for (int x = 0; x < marked.width(); ++x) {
            const double ratio = screenchecks::symbols::ratio(marked.pixel(x, y), plain.pixel(x, y));
            count += ratio >= 2.95;
            best = std::max(best, ratio);
        }
    if (count >= 24)
        return std::nullopt;
    return screenchecks::describe(stop)
           + QStringLiteral(": its %1 reads at %2 : 1").arg(QLatin1String(what)).arg(best, 0, 'f', 2);
}

// The area around a stop where its mark shows.
inline QRect markArea(const QWidget &stop, const QWidget &window)
{
    return QRect(stop.mapTo(&window, QPoint()), stop.size()).adjusted(-4, -4, 4, 4) & window.rect();
}

// The stop's mark as it takes the focus; the stop and its surroundings are
// kept in `tile`.
inline std::optional<QString> markFault(QWidget &stop, QWidget &window, QImage &tile)
{
    const QRect area = markArea(stop, window);
    tile = window.grab(area).toImage();
    stop.clearFocus();
    const QImage plain = window.grab(area).toImage();
    stop.setFocus(Qt::TabFocusReason);
    return faintMark(stop, tile, plain, "focus mark");
}

// The ring the focus was given back with, as the window shows it now: the
// same measure as a stop's mark, against the place without the ring.
inline std::optional<QString> ringFault(QWidget &target)
{
    QWidget &window = *target.window();
    QWidget *ring = nullptr;
    for (QWidget *child : target.findChildren<QWidget *>(QStringLiteral("focusRing"), Qt::FindDirectChildrenOnly))
        if (child->isVisible())
            ring = child;
    if (!ring)
        return screenchecks::describe(target) + QStringLiteral(": has the focus back without its ring");
    const QRect area = markArea(target, window);
    const QImage ringed = window.grab(area).toImage();
    ring->hide();
    const QImage plain = window.grab(area).toImage();
    ring->show();
    return faintMark(target, ringed, plain, "ring");
}

// A ring shown in any window, where the mouse alone was used.
inline std::optional<QString> ringShown()
{
    for (QWidget *widget : QApplication::allWidgets())
        if (widget->objectName() == QLatin1String("focusRing") && widget->isVisible() && widget->parentWidget())
            return QStringLiteral("a ring on ") + screenchecks::describe(*widget->parentWidget())
                   + QStringLiteral(" after the mouse alone");
    return std::nullopt;
}

// Walks the window with Tab round to its first stop again: each stop shows
// a mark, does something, and every action of the window is a stop. Scroll
// positions and the focus are as they were after; one mark of each kind of
// stop (its type, ours with its name, a checkable button apart) is kept.
inline QStringList walkFaults(QWidget &window, QMap<QString, QImage> &tiles)
{
    // A window under its own sheet hands the keys to the sheet, walked in its step.
    for (QWidget *up = QApplication::activeModalWidget(); up && up != &window; up = up->parentWidget())
        if (up->parentWidget() == &window)
            return {};
    window.activateWindow();
    if (!waitUntil([&] { return window.isActiveWindow(); }, 2000))
        return {QStringLiteral("the window does not become active for its Tab walk")};
    QStringList faults;
    QMap<QScrollBar *, int> scrolled;
    for (QScrollBar *bar : window.findChildren<QScrollBar *>())
        scrolled.insert(bar, bar->value());
    QWidget *before = window.focusWidget();
    QList<QWidget *> stops;
    while (stops.size() < 300) {
        // A multi-line field types Tab: it is left through its parent.
        QWidget *from = window.focusWidget() ? window.focusWidget() : &window;
        QTest::keyClick(from->inherits("QPlainTextEdit") ? from->parentWidget() : from, Qt::Key_Tab);
        QWidget *stop = window.focusWidget();
        if (!stop || stops.contains(stop))
            break;
        stops.append(stop);
        QString kind = QString::fromLatin1(stop->metaObject()->className());
        kind += (kind.startsWith(QLatin1String("tw::")) ? '#' + stop->objectName() : QString())
                + (stop->property("checkable").toBool() ? QStringLiteral(" (checkable)") : QString());
        QImage tile;
        if (const std::optional<QString> fault = markFault(*stop, window, tile))
            faults << *fault;
        else if (!tiles.contains(kind))
            tiles.insert(kind, tile);
        if (!isAction(*stop))
            faults << screenchecks::describe(*stop) + QStringLiteral(": a stop of Tab that does nothing");
    }
    for (QWidget *widget : window.findChildren<QWidget *>())
        if (unreached(*widget, window, stops))
            faults << screenchecks::describe(*widget) + QStringLiteral(": no stop of Tab reaches it");
    // A click's focus: the mark goes and the keyboard no longer leads.
    if (QWidget *last = window.focusWidget())
        last->clearFocus();
    (before ? before : &window)->setFocus(Qt::MouseFocusReason);
    window.setAttribute(Qt::WA_KeyboardFocusChange, false);
    for (auto it = scrolled.cbegin(); it != scrolled.cend(); ++it)
        it.key()->setValue(it.value());
    return faults;
}

} // namespace tw::tabwalk
