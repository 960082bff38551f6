#include "views/kit/KeyActivation.h"

#include <QKeyEvent>
#include <QWidget>

namespace tw {

KeyActivation::KeyActivation(QWidget &widget, std::function<void()> press, Keys keys)
    : QObject(&widget), m_press(std::move(press)), m_keys(keys)
{
    setObjectName(QString::fromLatin1(objectName));
    if ((widget.focusPolicy() & Qt::TabFocus) != Qt::TabFocus)
        widget.setFocusPolicy(Qt::StrongFocus);
    widget.installEventFilter(this);
}

void KeyActivation::install(QWidget &widget, std::function<void()> press, Keys keys)
{
    new KeyActivation(widget, std::move(press), keys);
}

bool KeyActivation::eventFilter(QObject *, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    const bool space = key->key() == Qt::Key_Space && m_keys == Keys::ReturnAndSpace;
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if ((!space && !enter) || (key->modifiers() & ~Qt::KeypadModifier))
        return false;
    // The key is this widget's before any shortcut of its window (a panel's
    // Return-bound button) can take it.
    if (type == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    if (!key->isAutoRepeat())
        m_press();
    return true;
}

} // namespace tw
