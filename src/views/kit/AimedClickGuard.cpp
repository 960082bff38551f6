#include "views/kit/AimedClickGuard.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QMouseEvent>

namespace tw {

AimedClickGuard::AimedClickGuard(QObject &watched, QAbstractItemView *view, RowKey key)
    : QObject(&watched), m_view(view), m_key(std::move(key))
{
    watched.installEventFilter(this);
}

void AimedClickGuard::guardButtonsIn(QWidget &root)
{
    QList<QAbstractButton *> buttons = root.findChildren<QAbstractButton *>();
    if (auto *button = qobject_cast<QAbstractButton *>(&root))
        buttons.append(button);
    for (QAbstractButton *button : buttons)
        if (!button->findChild<AimedClickGuard *>(QString(), Qt::FindDirectChildrenOnly))
            new AimedClickGuard(*button, nullptr, {});
}

void AimedClickGuard::guardRowsOf(QAbstractItemView &view, RowKey key)
{
    new AimedClickGuard(*view.viewport(), &view, std::move(key));
}

bool AimedClickGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
        const auto &press = *static_cast<QMouseEvent *>(event);
        // A button is its own target; a view's is the row under the press.
        QString target;
        if (m_view) {
            const QModelIndex row = m_view->indexAt(press.position().toPoint());
            target = row.isValid() ? m_key(row) : QString();
        }
        if (!m_presses.admits(press, target))
            return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tw
