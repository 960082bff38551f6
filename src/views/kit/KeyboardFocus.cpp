#include "views/kit/KeyboardFocus.h"

#include "design/DestructiveItem.h"
#include "views/kit/EnabledKeepingFocus.h"
#include "views/kit/FocusRing.h"

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QFileDialog>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QScrollArea>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <functional>

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

// Keys that move among a control's parts or press it: they bring the ring
// back, as Tab does. Typing does not.
bool movesOrPresses(int key)
{
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Select:
        return true;
    default:
        return false;
    }
}

bool presses(int key)
{
    return key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Select;
}

QRect rectInWindow(const QWidget &widget)
{
    return QRect(widget.mapTo(widget.window(), QPoint()), widget.size());
}

QList<QPointer<QWidget>> sectionsAround(const QWidget &widget)
{
    QList<QPointer<QWidget>> sections;
    for (QWidget *up = widget.parentWidget(); up; up = up->isWindow() ? nullptr : up->parentWidget())
        sections.append(up);
    return sections;
}

// The harmless stop nearest `at` (in the window's coordinates) in the first
// shown section that has one: one of the same row first, then the closest.
QWidget *nearestStop(const QList<QPointer<QWidget>> &sections, const QRect &at, const QWidget *except)
{
    for (const QPointer<QWidget> &section : sections) {
        if (!section || !section->isVisible())
            continue;
        QWidget *best = nullptr;
        int bestScore = 0;
        for (QWidget *stop : KeyboardFocus::stopsAsRead(*section)) {
            if (stop == except || !isHarmless(*stop))
                continue;
            const QRect r = rectInWindow(*stop);
            const bool sameRow = r.top() <= at.bottom() && at.top() <= r.bottom();
            const int dx = std::max({0, r.left() - at.right(), at.left() - r.right()});
            const int dy = std::max({0, r.top() - at.bottom(), at.top() - r.bottom()});
            const int score = (sameRow ? 0 : 1 << 20) + dx + dy;
            if (!best || score < bestScore) {
                best = stop;
                bestScore = score;
            }
        }
        if (best)
            return best;
    }
    return nullptr;
}

// Runs once the controls laid into a part just shown have shown too: they
// show a turn after it (a crumb bar's house).
void onceLaidIn(QObject *context, std::function<void()> run)
{
    QTimer::singleShot(0, context, [context, run = std::move(run)] { QTimer::singleShot(0, context, run); });
}

// Set on a control while it holds a focus the user gave it (Tab, a click).
constexpr const char *kAimed = "tw_focusAimed";

// The window's first stop as read that a focus given by the program may take.
QWidget *firstHarmlessStop(QWidget &window)
{
    const QList<QWidget *> stops = KeyboardFocus::stopsAsRead(window);
    const auto harmless = std::find_if(stops.cbegin(), stops.cend(), [](QWidget *stop) { return isHarmless(*stop); });
    return harmless == stops.cend() ? nullptr : *harmless;
}

// Who opened a sheet, a question or a part shown in place.
struct Opener
{
    Opener(QWidget *opener, QWidget *place) : opener(opener), place(place)
    {
        if (!opener)
            return;
        name = opener->objectName();
        type = opener->metaObject()->className();
        at = rectInWindow(*opener);
        sections = sectionsAround(*opener);
    }

    // The control to give the focus back to, when there is still one in
    // the place the opened one was shown over.
    QWidget *target() const
    {
        // A button busy with the work it asked for keeps the focus, waiting
        // with a parent until it is enabled again.
        if (!place || !place->isVisible() || (opener && opener->isVisible() && focusHeldFor(*opener)))
            return nullptr;
        if (opener && KeyboardFocus::isStop(*opener)) {
            // Given a focus the user never aimed at (a window's first), it
            // does not take it back either.
            if (isHarmless(*opener) || opener->property(kAimed).toBool())
                return opener;
            return firstHarmlessStop(*place->window());
        }
        // Made anew where it was (a page's inspector built again).
        if (!name.isEmpty())
            for (QWidget *stop : KeyboardFocus::stopsAsRead(*place))
                if (stop->objectName() == name && type == stop->metaObject()->className())
                    return stop;
        return nearestStop(sections, at, nullptr);
    }

    QPointer<QWidget> opener;
    QPointer<QWidget> place;
    // Opened from the keyboard: only then is the focus given back ringed.
    bool byKey = false;
    QString name;
    QByteArray type;
    QRect at;
    QList<QPointer<QWidget>> sections;
};

// The opener, kept as a child of what was opened.
class OpenerRecord : public QObject
{
public:
    static constexpr const char *name = "tw_focusOpener";

    OpenerRecord(QObject &opened, Opener opener) : QObject(&opened), opener(std::move(opener))
    {
        setObjectName(QString::fromLatin1(name));
    }

    static OpenerRecord *of(const QObject &opened)
    {
        return dynamic_cast<OpenerRecord *>(
            opened.findChild<QObject *>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly));
    }

    Opener opener;
    bool focused = false;
};

// A sheet or a question over a window, not a menu, a list's popup or a tip.
bool opensOver(const QWidget &window)
{
    const Qt::WindowType type = window.windowType();
    return window.parentWidget() && (type == Qt::Dialog || type == Qt::Sheet);
}

} // namespace

KeyboardFocus::KeyboardFocus(QObject *parent) : QObject(parent) {}

bool KeyboardFocus::isStop(const QWidget &widget)
{
    return (widget.focusPolicy() & Qt::TabFocus) == Qt::TabFocus && widget.isEnabled() && !widget.focusProxy()
           && widget.isVisible();
}

void KeyboardFocus::openedInPlace(QWidget &part, QWidget *opener)
{
    delete OpenerRecord::of(part);
    new OpenerRecord(part, Opener(opener, part.parentWidget()));
}

QWidget *KeyboardFocus::neighbour(const QWidget &lost)
{
    return nearestStop(sectionsAround(lost), rectInWindow(lost), &lost);
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
        return keyPressed(*widget, *static_cast<QKeyEvent *>(event));
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        // The mouse leads now: no ring, wherever the focus stays.
        m_keyboardLast = false;
        if (m_keyboardLeads)
            mark(nullptr);
        break;
    case QEvent::FocusIn: {
        // A window's activation the platform tells of late, after the window
        // closed (a sheet left by a key before it came to the front), gives
        // its control a focus no one can see: the mark stays where it is.
        if (!widget->window()->isVisible())
            break;
        Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        // Qt names a focus "Tab" also where no key moved it: a dialog shown
        // tells its first control so without giving it the focus, a control
        // disabled or hidden passes it on so. Moved by the program, then.
        if ((reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)
            && (!m_keyboardLast || !widget->hasFocus()))
            reason = Qt::OtherFocusReason;
        if (!aimedAt(*widget, reason)) {
            handOnUnaimed(*widget, reason == Qt::ActiveWindowFocusReason);
            break;
        }
        // A page shown in place of the one that held the focus (a panel's
        // empty state) takes it from Qt when it has no stop of its own.
        if (reason == Qt::OtherFocusReason && !m_handingOn && !widget->isWindow() && !isStop(*widget))
            handOnFromPage(*widget);
        // Moved by the program (arrows among a picker's segments, a row
        // taken away) while the keyboard leads, the mark goes along.
        // A window or a menu giving the focus back keeps the mark as it was;
        // a sheet opened from the keyboard, or a menu or a list worked with
        // keys, had it elsewhere: it comes to the control the focus is back on.
        if (fromKeyboard(reason) || (reason == Qt::OtherFocusReason && m_keyboardLeads)
            || (givenBack(reason) && m_keyboardLeads && markedElsewhere(*widget)))
            mark(widget);
        else if (!givenBack(reason))
            mark(nullptr);
        // A focus the mouse gave is its input, however it was sent.
        if (reason == Qt::MouseFocusReason)
            m_keyboardLast = false;
        break;
    }
    case QEvent::FocusOut:
        // Left for another control: given back later, it was not aimed at.
        if (!givenBack(static_cast<QFocusEvent *>(event)->reason()))
            widget->setProperty(kAimed, QVariant());
        focusLeft(*widget, static_cast<QFocusEvent *>(event)->reason());
        break;
    case QEvent::Show:
        if (widget->isWindow() && opensOver(*widget)) {
            windowShown(*widget);
        } else if (OpenerRecord *record = OpenerRecord::of(*widget); record && !record->focused) {
            record->focused = true;
            // Placed in its layout after it was made.
            if (!record->opener.place)
                record->opener.place = widget->parentWidget();
            record->opener.byKey = m_keyboardLast;
            ++m_partsOpening;
            focusFirstStop(widget, true);
        }
        break;
    case QEvent::Hide:
        if (!event->spontaneous())
            partHidden(*widget);
        break;
    default:
        break;
    }
    return false;
}

bool KeyboardFocus::keyPressed(QWidget &widget, const QKeyEvent &key)
{
    // Offered to the focused widget first, then to its parents, which may
    // answer hasFocus() through their focus proxy.
    m_keyboardLast = true;
    if (&widget != QApplication::focusWidget())
        return false;
    if (isTab(key)) {
        // Asked before the focused widget moves on: the chain is laid again
        // in reading order, whatever was made since.
        const QList<QWidget *> stops = stopsAsRead(*widget.window());
        for (qsizetype i = 1; i < stops.size(); ++i)
            QWidget::setTabOrder(stops[i - 1], stops[i]);
        // The one stop of a window (a note's only button) keeps the
        // focus: Tab shows where it is all the same.
        mark(&widget);
        return false;
    }
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier) || !movesOrPresses(key.key()))
        return false;
    if (auto *view = qobject_cast<QAbstractItemView *>(&widget))
        return showCurrentRow(*view, key);
    if (!m_ring || m_ring->target() != &widget)
        mark(&widget);
    return false;
}

bool KeyboardFocus::showCurrentRow(QAbstractItemView &view, const QKeyEvent &key)
{
    const bool hadRow = view.currentIndex().isValid();
    if (hadRow && m_ring && m_ring->target() == &view)
        return false;
    if (!hadRow) {
        QAbstractItemModel *model = view.model();
        if (!model || !view.selectionModel() || model->rowCount(view.rootIndex()) == 0)
            return false;
        view.selectionModel()->setCurrentIndex(model->index(0, 0, view.rootIndex()), QItemSelectionModel::NoUpdate);
    }
    mark(&view);
    // Taken: the key only showed the row it would have acted on or moved from.
    return !hadRow || presses(key.key());
}

void KeyboardFocus::focusLeft(QWidget &widget, Qt::FocusReason reason)
{
    if (m_ring && m_ring->target() == &widget && !givenBack(reason))
        m_ring->follow(nullptr);
    if (m_handingOn || widget.isWindow() || !widget.window()->isVisible()
        || !(reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::OtherFocusReason))
        return;
    QWidget *now = QApplication::focusWidget();
    if (now && now->window() != widget.window())
        return;
    // Going: its own class's destructor has run.
    const bool going = widget.metaObject() == &QWidget::staticMetaObject && !now;
    if (!going && widget.isEnabled() && widget.isVisible())
        return;
    const QList<QPointer<QWidget>> sections = sectionsAround(widget);
    const QRect at = rectInWindow(widget);
    // Qt passes the focus of a control disabled or hidden to the next in the
    // chain, whatever it does; it is handed to a harmless neighbour instead,
    // before the next one hears of it.
    if (!going && widget.isVisible()) {
        if (QWidget *next = nearestStop(sections, at, &widget); next && next != now) {
            m_handingOn = true;
            focusAgain(next);
            m_handingOn = false;
        }
        return;
    }
    // Hidden or removed: what takes its place is made before the event loop
    // turns again (a crumb bar built anew, a panel), so the focus waits with
    // the window, showing nothing, and the neighbour is chosen then; a part
    // opened meanwhile takes it on its first stop instead.
    const QPointer<QWidget> window = widget.window();
    if (!going) {
        m_handingOn = true;
        window->setFocus(Qt::OtherFocusReason);
        m_handingOn = false;
    }
    const auto handOn = [this, window, sections, at] {
        if (window && window->isVisible() && (!window->focusWidget() || window->focusWidget() == window)
            && m_partsOpening == 0)
            focusAgain(nearestStop(sections, at, nullptr));
    };
    // The neighbour is chosen among the controls shown with a new part too.
    onceLaidIn(this, handOn);
}

bool KeyboardFocus::markedElsewhere(const QWidget &widget) const
{
    const QWidget *marked = m_ring ? m_ring->target() : nullptr;
    return !marked || !marked->isVisible() || marked->window() != widget.window();
}

bool KeyboardFocus::aimedAt(QWidget &widget, Qt::FocusReason reason)
{
    if (fromKeyboard(reason) || reason == Qt::MouseFocusReason) {
        widget.setProperty(kAimed, true);
        return true;
    }
    return isHarmless(widget) || widget.property(kAimed).toBool();
}

void KeyboardFocus::handOnUnaimed(QWidget &widget, bool windowsFirst)
{
    QTimer::singleShot(0, this, [this, widget = QPointer<QWidget>(&widget), windowsFirst] {
        if (!widget || widget->window()->focusWidget() != widget)
            return;
        // A window coming to the front is no key's aim: unmarked there.
        if (QWidget *next = windowsFirst ? firstHarmlessStop(*widget->window()) : neighbour(*widget))
            return focusAgain(next, !windowsFirst);
        m_handingOn = true;
        widget->window()->setFocus(Qt::OtherFocusReason);
        m_handingOn = false;
    });
}

void KeyboardFocus::handOnFromPage(QWidget &page)
{
    const auto handOn = [this, page = QPointer<QWidget>(&page)] {
        if (!page || page->window()->focusWidget() != page || m_partsOpening > 0)
            return;
        // Holding it for a busy button of its own, it keeps it.
        const QList<QWidget *> inside = page->findChildren<QWidget *>();
        if (std::any_of(inside.cbegin(), inside.cend(), [](const QWidget *child) { return focusHeldFor(*child); }))
            return;
        QList<QPointer<QWidget>> sections = sectionsAround(*page);
        sections.prepend(page.data());
        focusAgain(nearestStop(sections, rectInWindow(*page), nullptr));
    };
    onceLaidIn(this, handOn);
}

void KeyboardFocus::windowShown(QWidget &window)
{
    QWidget *opener = QApplication::focusWidget();
    if (!opener || opener->window() == &window)
        opener = window.parentWidget()->window()->focusWidget();
    if (OpenerRecord *record = OpenerRecord::of(window); record && record->opener.opener == opener)
        return;
    delete OpenerRecord::of(window);
    (new OpenerRecord(window, Opener(opener, opener ? opener->window() : nullptr)))->opener.byKey = m_keyboardLast;
}

void KeyboardFocus::focusFirstStop(QPointer<QWidget> part, bool again)
{
    QTimer::singleShot(0, this, [this, part, again] {
        const QList<QWidget *> stops = part && part->isVisible() ? stopsAsRead(*part) : QList<QWidget *>();
        // A part that fills itself as it shows (a page's rows) has its
        // controls shown a turn after they were laid in: they come first.
        if (stops.isEmpty() && part && part->isVisible() && again)
            return focusFirstStop(part, false);
        --m_partsOpening;
        if (!stops.isEmpty())
            focusAgain(stops.first());
    });
}

void KeyboardFocus::partHidden(QWidget &part)
{
    // A button busy with its work, hidden when done: its focus, waiting with
    // a parent, goes on to its neighbour.
    if (QWidget *focus = part.window()->focusWidget(); focusHeldFor(part) && focus && focus->isAncestorOf(&part))
        focusAgain(neighbour(part));
    OpenerRecord *record = OpenerRecord::of(part);
    if (!record)
        return;
    record->focused = false;
    // The closed folder chooser held the keyboard: the platform may give it
    // to none of ours (no window manager, or one that leaves it on the
    // desktop), and a window that is not active hears of no focus moving in
    // it, so Tab would move an unmarked focus. Its opener's window takes it
    // back, as a window manager would. Our own sheets are left to Qt, which
    // activates their parent itself: asked twice, the window's activation
    // comes and goes while the user already types.
    if (qobject_cast<QFileDialog *>(&part) && part.windowHandle()
        && QGuiApplication::focusWindow() == part.windowHandle() && !QApplication::activeWindow()
        && record->opener.place)
        record->opener.place->window()->activateWindow();
    // The focus inside waits with the window, showing nothing, until it
    // goes back: Qt would pass it on to the next control in the chain.
    if (QWidget *focus = QApplication::focusWidget(); !part.isWindow() && focus && part.isAncestorOf(focus)) {
        m_handingOn = true;
        part.window()->setFocus(Qt::OtherFocusReason);
        m_handingOn = false;
    }
    // Copied: a sheet closed is often deleted before the focus goes back.
    QTimer::singleShot(0, this, [this, opener = record->opener, closed = QPointer<QWidget>(&part)] {
        QWidget *now = QApplication::focusWidget();
        // The user went on in another window meanwhile.
        if (now && opener.place && now->window() != opener.place->window() && now->window() != closed)
            return;
        // Opened by the mouse, the keyboard leads only once it moved the mark.
        focusAgain(opener.target(), opener.byKey || m_keyboardLeads);
    });
}

void KeyboardFocus::focusAgain(QWidget *target, bool markable)
{
    if (!target)
        return;
    target->setFocus(Qt::OtherFocusReason);
    mark(m_keyboardLast && markable ? target : nullptr);
}

void KeyboardFocus::mark(QWidget *widget)
{
    m_keyboardLeads = widget != nullptr;
    // A window holding the focus itself (a sheet before its first stop, a
    // page between two parts), or a parent holding it for a busy button, is
    // ringed by nothing: its frame is no control.
    if (widget && (widget->isWindow() || !(widget->focusPolicy() & Qt::TabFocus)))
        widget = nullptr;
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
