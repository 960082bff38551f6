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
    const bool away = m_away || !m_window->isVisible() || m_window->isMinimized();
    if (m_window->isMaximized() || (away && m_maximizedWhenHidden))
        m_window->showMaximized();
    else
        m_window->showNormal();
    m_away = false;
    m_window->raise();
    m_window->activateWindow();
}

// The maximised state is taken as it changes while the window is shown.
// Once it goes to the tray or the task bar, a window manager reports states
// of a window it no longer shows (maximised and minimised, then neither,
// then minimised alone): none counts until the window is back.
bool WindowController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Hide:
        m_away = m_away || !m_window->isVisible();
        break;
    case QEvent::WindowActivate:
        m_away = false;
        break;
    case QEvent::WindowStateChange:
        if (m_window->isMinimized())
            m_away = true;
        else if (!m_away)
            m_maximizedWhenHidden = m_window->isMaximized();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tw
