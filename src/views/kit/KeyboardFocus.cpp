#include "views/kit/KeyboardFocus.h"

#include "views/kit/FocusRing.h"

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QScrollArea>
#include <algorithm>

namespace tw {
namespace {

// A focus moved by the keyboard, or given by the program to a sheet's
// first field, as opposed to a click or a window coming to the front.
bool fromKeyboard(Qt::FocusReason reason)
{
    return reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason;
}

// A window coming to the front or a menu closing gives the focus back where
// it was: the mark stays as it was.
bool givenBack(Qt::FocusReason reason)
{
    return reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
}

bool isTab(const QKeyEvent &key)
{
    return (key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab)
           && !(key.modifiers() & (Qt::ControlModifier | Qt::AltModifier));
}

// The shown children of `parent`, row by row from the top, each row from the left.
QList<QWidget *> childrenAsRead(const QWidget &parent)
{
    QList<QWidget *> children;
    for (QObject *object : parent.children())
        if (auto *child = qobject_cast<QWidget *>(object); child && !child->isWindow() && child->isVisibleTo(&parent))
            children.append(child);
    std::stable_sort(children.begin(), children.end(),
                     [](const QWidget *a, const QWidget *b) { return a->y() < b->y(); });
    QList<QWidget *> ordered;
    const auto flush = [&](qsizetype from, qsizetype to) {
        std::stable_sort(children.begin() + from, children.begin() + to,
                         [](const QWidget *a, const QWidget *b) { return a->x() < b->x(); });
        ordered.append(children.mid(from, to - from));
    };
    // A widget whose top lies above the middle of one in the row is beside it.
    qsizetype rowStart = 0;
    int rowMiddle = 0;
    for (qsizetype i = 0; i < children.size(); ++i) {
        const int middle = children[i]->geometry().center().y();
        if (i > rowStart && children[i]->y() > rowMiddle) {
            flush(rowStart, i);
            rowStart = i;
            rowMiddle = middle;
        } else {
            rowMiddle = i == rowStart ? middle : std::max(rowMiddle, middle);
        }
    }
    flush(rowStart, children.size());
    return ordered;
}

void collectStops(const QWidget &parent, QList<QWidget *> &stops)
{
    for (QWidget *child : childrenAsRead(parent)) {
        if (KeyboardFocus::isStop(*child))
            stops.append(child);
        // A compound control's parts (a spin box's field) pass their focus
        // on and are no stops; a tab widget's pages, behind its bar, are.
        collectStops(*child, stops);
    }
}

} // namespace

KeyboardFocus::KeyboardFocus(QObject *parent) : QObject(parent) {}

bool KeyboardFocus::isStop(const QWidget &widget)
{
    return (widget.focusPolicy() & Qt::TabFocus) == Qt::TabFocus && widget.isEnabled() && !widget.focusProxy()
           && widget.isVisible();
}

QList<QWidget *> KeyboardFocus::stopsAsRead(QWidget &window)
{
    QList<QWidget *> stops;
    collectStops(window, stops);
    return stops;
}

bool KeyboardFocus::eventFilter(QObject *watched, QEvent *event)
{
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget)
        return false;
    switch (event->type()) {
    case QEvent::Polish:
        // Its content's stops are reached and scrolled into view; the area
        // itself has nothing to do.
        if (qobject_cast<QScrollArea *>(widget))
            widget->setFocusPolicy(Qt::NoFocus);
        break;
    case QEvent::KeyPress:
        // Asked before the focused widget moves on: the chain is laid again
        // in reading order, whatever was made since.
        // Offered to the focused widget first, then to its parents, which
        // may answer hasFocus() through their focus proxy.
        if (isTab(*static_cast<QKeyEvent *>(event)) && widget == QApplication::focusWidget()) {
            const QList<QWidget *> stops = stopsAsRead(*widget->window());
            for (qsizetype i = 1; i < stops.size(); ++i)
                QWidget::setTabOrder(stops[i - 1], stops[i]);
            // The one stop of a window (a note's only button) keeps the
            // focus: Tab shows where it is all the same.
            mark(widget);
        }
        break;
    case QEvent::FocusIn: {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        // Moved by the program (arrows among a picker's segments, a row
        // taken away) while the keyboard leads, the mark goes along.
        if (fromKeyboard(reason) || (reason == Qt::OtherFocusReason && m_keyboardLeads))
            mark(widget);
        else if (!givenBack(reason))
            mark(nullptr);
        break;
    }
    case QEvent::FocusOut:
        if (m_ring && m_ring->target() == widget && !givenBack(static_cast<QFocusEvent *>(event)->reason()))
            m_ring->follow(nullptr);
        break;
    default:
        break;
    }
    return false;
}

void KeyboardFocus::mark(QWidget *widget)
{
    m_keyboardLeads = widget != nullptr;
    if (!m_ring)
        m_ring = new FocusRing;
    m_ring->follow(widget);
    if (!widget)
        return;
    // The whole stop, not its text cursor, which is all ensureWidgetVisible
    // brings into view of a text field: a multi-line field showed its first line.
    for (QWidget *up = widget->parentWidget(); up; up = up->parentWidget())
        if (auto *scroll = qobject_cast<QScrollArea *>(up); scroll && scroll->widget()
                                                             && scroll->widget()->isAncestorOf(widget)) {
            constexpr int margin = 8;
            const QRect stop(widget->mapTo(scroll->widget(), QPoint()), widget->size());
            scroll->ensureVisible(stop.center().x(), stop.center().y(), stop.width() / 2 + margin,
                                  stop.height() / 2 + margin);
            break;
        }
}

} // namespace tw
