#include "views/kit/AimedPress.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>

namespace tw {

bool AimedPress::admits(const QMouseEvent &press, const QString &target)
{
    const quint64 at = press.timestamp();
    if (press.type() != QEvent::MouseButtonDblClick) {
        m_last = Press{at, target};
        return true;
    }
    const quint64 interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    const bool aimed = m_last && at >= m_last->time && at - m_last->time <= interval && m_last->target == target;
    // A third press starts over: it is no second press of this one.
    m_last.reset();
    return aimed;
}

} // namespace tw
