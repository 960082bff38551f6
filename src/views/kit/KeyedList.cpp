#include "views/kit/KeyedList.h"

#include "views/kit/AimedClickGuard.h"
#include "views/kit/OpenOverlay.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

namespace tw {

KeyedListBase::KeyedListBase(QLayout *layout)
    : QObject(layout)
    , m_layout(layout)
{
}

QWidget *KeyedListBase::openOverlay() const
{
    QSet<const QWidget *> children;
    for (const QPointer<QWidget> &child : m_children)
        if (child)
            children.insert(child);
    return tw::openOverlay(children);
}

bool KeyedListBase::applyIDs(QStringList ids)
{
    ids.removeDuplicates();
    if (ids == m_ids) {
        m_waiting.reset();
        return true;
    }
    if (QWidget *overlay = openOverlay()) {
        m_waiting = std::move(ids);
        waitBehind(overlay);
        return false;
    }
    m_waiting.reset();
    rebuild(ids);
    return true;
}

void KeyedListBase::rebuild(const QStringList &ids)
{
    for (const QString &id : std::as_const(m_ids)) {
        QWidget *child = m_children.value(id);
        if (!child)
            continue;
        m_layout->removeWidget(child);
        if (!ids.contains(id)) {
            m_children.remove(id);
            child->hide();
            child->deleteLater();
        }
    }
    for (const QString &id : ids) {
        QPointer<QWidget> &child = m_children[id];
        if (!child) {
            child = makeChild(id);
            AimedClickGuard::guardButtonsIn(*child);
        }
        m_layout->addWidget(child);
    }
    m_ids = ids;
}

void KeyedListBase::waitBehind(QWidget *overlay)
{
    if (m_overlay == overlay)
        return;
    if (m_overlay) {
        m_overlay->removeEventFilter(this);
        disconnect(m_overlay, nullptr, this, nullptr);
    }
    m_overlay = overlay;
    overlay->installEventFilter(this);
    connect(overlay, &QObject::destroyed, this, &KeyedListBase::overlayClosed);
}

void KeyedListBase::overlayClosed()
{
    if (m_overlay) {
        m_overlay->removeEventFilter(this);
        disconnect(m_overlay, nullptr, this, nullptr);
    }
    m_overlay = nullptr;
    // After the turn that closed it: a menu's action runs after the menu
    // hid, and must still find its widget.
    QTimer::singleShot(0, this, &KeyedListBase::applyWaiting);
}

bool KeyedListBase::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_overlay && event->type() == QEvent::Hide)
        overlayClosed();
    return QObject::eventFilter(watched, event);
}

void KeyedListBase::applyWaiting()
{
    if (std::optional<QStringList> ids = std::exchange(m_waiting, std::nullopt))
        applyIDs(std::move(*ids));
}

} // namespace tw
