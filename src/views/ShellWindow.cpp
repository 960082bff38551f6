#include "views/ShellWindow.h"

#include <QCloseEvent>
#include <QScreen>

namespace tw {

ShellWindow::ShellWindow(std::function<bool()> trayAvailable, QWidget *parent)
    : QMainWindow(parent), m_trayAvailable(std::move(trayAvailable))
{
    setWindowTitle(QStringLiteral("TidewellMesh"));
    if (const QScreen *screen = this->screen())
        setMinimumSize(minimumSizeFor(screen->availableSize()));
}

QSize ShellWindow::minimumSizeFor(const QSize &available)
{
    if (!available.isValid() || available.isEmpty())
        return minimumContentSize;
    return minimumContentSize.boundedTo(available);
}

void ShellWindow::closeEvent(QCloseEvent *event)
{
    if (m_quitting) {
        event->accept();
        return;
    }
    event->ignore();
    if (m_trayAvailable && m_trayAvailable())
        hide();
    else
        showMinimized();
}

void ShellWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // The window may have moved to another screen since it was made.
    if (const QScreen *screen = this->screen())
        setMinimumSize(minimumSizeFor(screen->availableSize()));
    if (m_shown)
        return;
    m_shown = true;
    emit firstShown();
}

} // namespace tw
