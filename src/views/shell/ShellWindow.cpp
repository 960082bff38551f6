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
    m_framed = !frame.isNull();
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
    // A window manager frames the window after it is shown: its frame counts
    // from then on. Later moves are left alone: one that maximises the window
    // comes before its maximised state, and a window shrunk then would keep
    // the shrunk size as the one it goes back to.
    if (!m_framed)
        fitToScreen();
}

void ShellWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Only the first show fits: a window shown again keeps its size, and one
    // coming back from the task bar may still read normal while its size is
    // the maximised one.
    if (m_shown)
        return;
    m_shown = true;
    // The window may have moved to another screen since it was made.
    fitToScreen();
    connect(windowHandle(), &QWindow::screenChanged, this, &ShellWindow::fitToScreen);
    emit firstShown();
}

} // namespace tw
