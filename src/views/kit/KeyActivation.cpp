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
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    const bool space = key->key() == Qt::Key_Space && m_keys == Keys::ReturnAndSpace;
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if ((!space && !enter) || (key->modifiers() & ~Qt::KeypadModifier))
        return false;
    if (!key->isAutoRepeat())
        m_press();
    return true;
}

} // namespace tw
