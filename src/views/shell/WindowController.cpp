#include "views/shell/WindowController.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

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
    // That may be one over another window of the application (the node's
    // guide over the settings): it comes forward with the window it is over.
    QWidget *sheet = blockingModal();
    if (sheet && sheet->parentWidget() && sheet->parentWidget()->window() != m_window)
        sheet->parentWidget()->window()->raise();
    giveKeysTo(sheet ? *sheet : *m_window);
}

void WindowController::giveKeysTo(QWidget &window)
{
    window.raise();
    window.activateWindow();
}

// The top-most modal window open over any window of the application.
QWidget *WindowController::blockingModal() const
{
    QWidget *modal = QApplication::activeModalWidget();
    return modal && modal != m_window && modal->isVisible() ? modal : nullptr;
}

// The modal window that the window waits for: one of its own sheets or
// questions, or one that blocks every window.
QWidget *WindowController::ownModal() const
{
    QWidget *modal = blockingModal();
    if (!modal)
        return nullptr;
    if (modal->windowModality() == Qt::ApplicationModal)
        return modal;
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
        // A click on the window beside its sheet made it active: its keys
        // would go nowhere, the sheet's Tab, Escape and Return with them.
        if (ownModal())
            QTimer::singleShot(0, this, [this] {
                if (QWidget *sheet = ownModal(); sheet && m_window && m_window->isActiveWindow())
                    giveKeysTo(*sheet);
            });
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
