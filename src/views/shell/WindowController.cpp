#include "views/shell/WindowController.h"

#include <QEvent>
#include <QWindowStateChangeEvent>

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
    const bool away = !m_window->isVisible() || m_window->isMinimized();
    if (m_window->isMaximized() || (away && m_maximizedWhenHidden))
        m_window->showMaximized();
    else
        m_window->showNormal();
    m_window->raise();
    m_window->activateWindow();
}

bool WindowController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window)
        return QObject::eventFilter(watched, event);
    const Qt::WindowStates state = m_window->windowState();
    if (event->type() == QEvent::Hide && !state.testFlag(Qt::WindowMinimized))
        m_maximizedWhenHidden = state.testFlag(Qt::WindowMaximized);
    if (event->type() == QEvent::WindowStateChange && state.testFlag(Qt::WindowMinimized)) {
        const Qt::WindowStates before = static_cast<QWindowStateChangeEvent *>(event)->oldState();
        // Only the state it had when it went away counts; the window
        // manager's later reports of the minimised window may leave it out.
        const bool maximized = state.testFlag(Qt::WindowMaximized) || before.testFlag(Qt::WindowMaximized);
        if (!before.testFlag(Qt::WindowMinimized))
            m_maximizedWhenHidden = maximized;
        else
            m_maximizedWhenHidden = m_maximizedWhenHidden || maximized;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tw
