#pragma once

#include <QMenu>
#include <functional>

namespace tw {

class AppEnvironment;

// The tray icon's menu: the engine's state and rates, pause or resume all
// syncing, open the window, quit. It reads the engine controller and
// follows it while open.
class MenuBarContent : public QMenu
{
    Q_OBJECT

public:
    MenuBarContent(AppEnvironment &env, std::function<void()> openWindow, std::function<void()> quit,
                   QWidget *parent = nullptr);

    QAction *stateAction() const { return m_state; }
    QAction *ratesAction() const { return m_rates; }
    QAction *pauseAction() const { return m_pause; }
    QAction *openAction() const { return m_open; }
    QAction *quitAction() const { return m_quit; }

private:
    void update();

    AppEnvironment &m_env;
    QAction *m_state;
    QAction *m_rates;
    QAction *m_pause;
    QAction *m_open;
    QAction *m_quit;
};

} // namespace tw
