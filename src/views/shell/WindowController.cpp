#include "views/shell/WindowController.h"

#include <QEvent>

namespace tw {

WindowController::WindowController(QWidget *window) : m_window(window)
{
    if (m_window)
        m_window->installEventFilter(this);
}

void WindowController::show()
{
    if (!m_window)
        return;
    if (m_window->isMaximized() || (!m_window->isVisible() && m_maximizedWhenHidden))
        m_window->showMaximized();
    else
        m_window->showNormal();
    m_window->raise();
    m_window->activateWindow();
}

bool WindowController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Hide)
        m_maximizedWhenHidden = m_window->windowState().testFlag(Qt::WindowMaximized);
    return QObject::eventFilter(watched, event);
}

} // namespace tw
