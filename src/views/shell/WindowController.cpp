#include "views/shell/WindowController.h"

#include <QApplication>
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
    // A sheet or question open over the window is what the keys belong to:
    // activated last, so the window manager leaves it the keyboard rather
    // than the window it blocks.
    QWidget *sheet = blockingModal();
    QWidget &active = sheet ? *sheet : *m_window;
    active.raise();
    active.activateWindow();
}

// The modal window on top of those open over the window, if any.
QWidget *WindowController::blockingModal() const
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || modal == m_window || !modal->isVisible())
        return nullptr;
    for (const QWidget *owner = modal->parentWidget(); owner; owner = owner->parentWidget())
        if (owner == m_window)
            return modal;
    return nullptr;
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
