#include "views/kit/ReturnShortcut.h"

#include "views/kit/ButtonReturnKey.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QShortcut>

namespace tw {
namespace {

bool isReturn(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

void pressIfAvailable(const QPointer<QAbstractButton> &target)
{
    if (target && target->isEnabled() && target->isVisible())
        target->click();
}

// Return in an open list (a combo box's popup) is the list's: it commits the
// choice and closes the list. The combo box's own filter on its list closes
// it while the key is still asked whether a shortcut may take it, without
// claiming it, so the window's Return shortcut, in reach again, would then
// press the main button too. Claimed here first (the filter installed last
// sees the event first), only by the lists themselves.
class ListKeepsReturn : public QObject
{
public:
    explicit ListKeepsReturn(QObject *list) : QObject(list) { setObjectName(name()); }
    static QString name() { return QStringLiteral("tidewellListKeepsReturn"); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ShortcutOverride && isReturn(static_cast<QKeyEvent *>(event)->key()))
            event->accept();
        return QObject::eventFilter(watched, event);
    }
};

// The open lists of every combo box in the window of `widget` (the
// shortcut's reach) keep their Return.
void keepReturnInLists(QWidget &widget)
{
    const QList<QComboBox *> combos = widget.window()->findChildren<QComboBox *>();
    for (QComboBox *combo : combos) {
        QAbstractItemView *list = combo->view();
        if (!list->findChild<QObject *>(ListKeepsReturn::name(), Qt::FindDirectChildrenOnly))
            list->installEventFilter(new ListKeepsReturn(list));
    }
}

// Looks again each time the panel is shown: its window, and combo boxes
// added after the key was bound, are known by then.
class ListsOnShow : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            keepReturnInLists(*static_cast<QWidget *>(watched));
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void bindReturnKey(QWidget &panel, QAbstractButton &button)
{
    ButtonReturnKey::install();
    keepReturnInLists(panel);
    panel.installEventFilter(new ListsOnShow(&panel));
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *shortcut = new QShortcut(QKeySequence(key), &panel);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, &button,
                         [target = QPointer(&button)] { pressIfAvailable(target); });
    }
}

void bindFieldsReturnKey(QWidget &part, QAbstractButton &button)
{
    QList<QLineEdit *> fields = part.findChildren<QLineEdit *>();
    if (auto *field = qobject_cast<QLineEdit *>(&part))
        fields.prepend(field);
    for (QLineEdit *field : std::as_const(fields))
        QObject::connect(field, &QLineEdit::returnPressed, &button,
                         [target = QPointer(&button)] { pressIfAvailable(target); });
}

} // namespace tw
