#pragma once

#include "design/Symbol.h"

#include <QObject>
#include <optional>

class QMenu;
class QSystemTrayIcon;

namespace tw {

class AppEnvironment;

// The tray icon: the health of everything as its mark, the menu on its
// context click, the window on activation. Made only once the desktop has a
// tray; until then it costs nothing.
class StatusTray : public QObject
{
    Q_OBJECT

public:
    StatusTray(AppEnvironment &env, QMenu *menu, QObject *parent = nullptr);
    ~StatusTray() override;

    // Makes and shows the icon; once.
    void show();
    bool isShown() const { return m_icon != nullptr; }
    QSystemTrayIcon *icon() const { return m_icon; }
    // How often the icon's image was set: only when the mark changes.
    int iconSets() const { return m_iconSets; }

signals:
    void activated();

private:
    void scheduleHealthCheck();
    void checkHealth();

    AppEnvironment &m_env;
    QMenu *m_menu;
    QSystemTrayIcon *m_icon = nullptr;
    std::optional<Symbol> m_symbol;
    bool m_checkScheduled = false;
    int m_iconSets = 0;
};

} // namespace tw
