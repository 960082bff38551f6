#include "views/kit/ButtonReturnKey.h"

#include "views/kit/KeyActivation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QRadioButton>

namespace tw {
namespace {

const QString filterName = QStringLiteral("tidewellButtonReturnKey");

bool isPlainReturn(const QKeyEvent &key)
{
    return (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) &&
           !(key.modifiers() & ~Qt::KeypadModifier);
}

} // namespace

void ButtonReturnKey::install()
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application || application->findChild<ButtonReturnKey *>(filterName, Qt::FindDirectChildrenOnly))
        return;
    auto *filter = new ButtonReturnKey(application);
    filter->setObjectName(filterName);
    application->installEventFilter(filter);
}

bool ButtonReturnKey::takesReturn(const QWidget &widget)
{
    return qobject_cast<const QAbstractButton *>(&widget) && !qobject_cast<const QCheckBox *>(&widget) &&
           !qobject_cast<const QRadioButton *>(&widget) && widget.isEnabled() && widget.isVisible() &&
           !widget.findChild<QObject *>(QString::fromLatin1(KeyActivation::objectName), Qt::FindDirectChildrenOnly);
}

bool ButtonReturnKey::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return false;
    // Its window's focus, the key sent to it: the keys can reach a window
    // before Qt counts it active again (a folder chooser closed under a
    // window manager), when hasFocus() answers no and the window's Return
    // shortcut would press its main button in the focused one's place.
    auto *button = qobject_cast<QAbstractButton *>(watched);
    if (!button || button->window()->focusWidget() != button || !isPlainReturn(*static_cast<QKeyEvent *>(event))
        || !takesReturn(*button))
        return false;
    if (type == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    // Once per press, however long the key is held.
    if (!static_cast<QKeyEvent *>(event)->isAutoRepeat())
        button->click();
    return true;
}

} // namespace tw
