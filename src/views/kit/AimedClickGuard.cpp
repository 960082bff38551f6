#include "views/kit/AimedClickGuard.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>

namespace tw {

AimedClickGuard::AimedClickGuard(QObject *button) : QObject(button)
{
    button->installEventFilter(this);
}

void AimedClickGuard::guardButtonsIn(QWidget &root)
{
    QList<QAbstractButton *> buttons = root.findChildren<QAbstractButton *>();
    if (auto *button = qobject_cast<QAbstractButton *>(&root))
        buttons.append(button);
    for (QAbstractButton *button : buttons)
        if (!button->findChild<AimedClickGuard *>(QString(), Qt::FindDirectChildrenOnly))
            new AimedClickGuard(button);
}

bool AimedClickGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        m_lastPress = static_cast<QMouseEvent *>(event)->timestamp();
    } else if (event->type() == QEvent::MouseButtonDblClick) {
        // Qt sends the second press of a double-click as this event alone,
        // to whatever is under the pointer: it counts here only after a
        // press of this button within the double-click time.
        const quint64 at = static_cast<QMouseEvent *>(event)->timestamp();
        const quint64 interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
        if (!m_lastPress || at < *m_lastPress || at - *m_lastPress > interval)
            return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tw
