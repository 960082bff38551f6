#include "views/WindowController.h"

namespace tw {

void WindowController::show()
{
    if (!m_window)
        return;
    if (m_window->isMaximized())
        m_window->showMaximized();
    else
        m_window->showNormal();
    m_window->raise();
    m_window->activateWindow();
}

} // namespace tw
