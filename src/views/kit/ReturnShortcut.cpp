#include "views/kit/ReturnShortcut.h"

#include <QAbstractButton>
#include <QApplication>
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
// choice and closes the list. Qt's list closes itself while the key is
// still asked whether a shortcut may take it, without claiming it, so the
// window's own Return shortcut, in reach again, would then press the main
// button too. Claimed here while the popup is still open.
class PopupKeepsReturn : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ShortcutOverride && isReturn(static_cast<QKeyEvent *>(event)->key())
            && QApplication::activePopupWidget())
            event->accept();
        return QObject::eventFilter(watched, event);
    }
};

void keepReturnInPopups()
{
    static QPointer<PopupKeepsReturn> installed;
    if (installed || !qApp)
        return;
    installed = new PopupKeepsReturn(qApp);
    qApp->installEventFilter(installed);
}

} // namespace

void bindReturnKey(QWidget &panel, QAbstractButton &button)
{
    keepReturnInPopups();
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
