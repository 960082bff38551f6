#pragma once

#include <QMainWindow>
#include <QMargins>
#include <QSize>
#include <functional>

namespace tw {

// The application's top-level window. Closing it never ends the process:
// with a tray to come back from it hides, without one it minimises, asked
// anew at each close since a panel may come or go. Only once quitting does
// a close go through.
class ShellWindow : public QMainWindow
{
    Q_OBJECT

public:
    // The least size of the whole window: menu bar, toolbar, banner and
    // status bar included.
    static constexpr QSize minimumWindowSize{760, 780};

    explicit ShellWindow(std::function<bool()> trayAvailable, QWidget *parent = nullptr);

    // From now on closes are accepted.
    void setQuitting() { m_quitting = true; }
    // The least size on a screen of this available size, the window's frame
    // (its title bar) taking `frame` of it: the standard one, lowered where
    // the screen is smaller (a 1366 × 768 laptop).
    static QSize minimumSizeFor(const QSize &available, const QMargins &frame = {});

signals:
    // The first time the window is shown; start-up runs from here.
    void firstShown();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    // Sets the minimum for the screen the window is on, and shrinks a window
    // that does not fit its screen's available area, frame included. Run at
    // the first show, once the window is framed, and when it goes to another
    // screen.
    void fitToScreen();

    std::function<bool()> m_trayAvailable;
    bool m_quitting = false;
    bool m_shown = false;
    // Whether the window manager's frame was known at the last fit.
    bool m_framed = false;
};

} // namespace tw
