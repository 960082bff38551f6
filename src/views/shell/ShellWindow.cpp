#include "views/shell/ShellWindow.h"

#include <QCloseEvent>
#include <QScreen>
#include <QWindow>

namespace tw {

ShellWindow::ShellWindow(std::function<bool()> trayAvailable, QWidget *parent)
    : QMainWindow(parent), m_trayAvailable(std::move(trayAvailable))
{
    setWindowTitle(QStringLiteral("TidewellMesh"));
    fitToScreen();
}

QSize ShellWindow::minimumSizeFor(const QSize &available, const QMargins &frame)
{
    if (!available.isValid() || available.isEmpty())
        return minimumWindowSize;
    return minimumWindowSize.boundedTo(available.shrunkBy(frame).expandedTo(QSize(1, 1)));
}

void ShellWindow::fitToScreen()
{
    const QScreen *screen = this->screen();
    if (!screen)
        return;
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const QSize available = screen->availableSize();
    const QSize least = minimumSizeFor(available, frame);
    if (minimumSize() != least)
        setMinimumSize(least);
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    const QSize room = available.shrunkBy(frame);
    if (width() > room.width() || height() > room.height())
        resize(size().boundedTo(room).expandedTo(least));
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

void ShellWindow::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    // A window manager frames the window after it is shown, or moves it to
    // another screen.
    fitToScreen();
}

void ShellWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // The window may have moved to another screen since it was made.
    fitToScreen();
    if (m_shown)
        return;
    m_shown = true;
    emit firstShown();
}

} // namespace tw
