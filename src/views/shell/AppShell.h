#pragma once

#include "app/AppEnvironment.h"

#include <QObject>
#include <QPointer>
#include <QSize>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

class QWidget;

namespace tw {

class AppSignals;
class InstanceListener;
class MenuBarContent;
class ShellWindow;
class StatusNotifierHostWatch;
class StatusTray;
class SyncEngine;
class WindowController;

// The windowed application around one environment: the main window, the
// settings window, the tray and its menu, the menus, the routing of links
// and the one way of quitting. Made once by main(), or on fakes by tests.
class AppShell : public QObject
{
    Q_OBJECT

public:
    // Makes the content of a window inside the given parent.
    using ContentFactory = std::function<QWidget *(QWidget *parent)>;
    using FolderPickerFunction = std::function<QCoro::Task<std::optional<QString>>(QWidget *parent)>;

    static constexpr QSize settingsSize{580, 560};

    struct Injectables
    {
        // Ends the event loop with this code; QCoreApplication::exit by default.
        std::function<void(int)> exit;
        // Run as the application is about to end; by default stops every
        // Syncthing of the default home.
        std::function<void()> aboutToQuit;
        // Whether a close can hide the window to a tray, asked at each close.
        // By default whether the tray icon is up, which the shell shows once
        // the session bus has a tray host.
        std::function<bool()> trayAvailable;
        // The folder chooser; FolderPicker by default.
        FolderPickerFunction folderPicker;
        // The main and the settings window's content; by default the main window
        // with the application's own views, and the settings view.
        ContentFactory mainContent;
        ContentFactory settingsContent;
        // Told once start-up has bootstrapped and the loops run.
        std::function<void()> started;
    };

    AppShell(SyncEngine &engine, AppEnvironment::Services services, Injectables injectables = {},
             QObject *parent = nullptr);
    ~AppShell() override;

    AppEnvironment &environment() const { return *m_env; }
    AppSignals &appSignals() const { return *m_signals; }
    ShellWindow &window() const { return *m_window; }
    QWidget &settingsWindow() const { return *m_settings; }
    WindowController &windowController() const { return *m_windowController; }
    MenuBarContent &trayMenu() const { return *m_trayMenu; }
    StatusTray &tray() const { return *m_tray; }
    const FolderPickerFunction &folderPicker() const { return m_injectables.folderPicker; }

    // Takes what a second copy sends; whether it listens.
    bool listen(const QString &socketPath);
    // Why the last listen() failed, in Qt's or the system's words.
    QString listenFailure() const;
    // A link or "show", from this copy's arguments or a second copy: the
    // link is routed, then the window comes forward.
    void open(const QString &request);
    // The one way of quitting, for the menus, the tray and the signals; once.
    void quit();
    bool isQuitting() const { return m_quitStarted; }

signals:
    // Once, as quitting starts: it no longer takes what a second copy sends.
    void quitStarted();

private:
    void buildMenus();
    void watchTrayHost();
    static QCoro::Task<void> startUp(QPointer<AppShell> self);
    static QCoro::Task<void> runQuit(QPointer<AppShell> self);

    SyncEngine &m_engine;
    Injectables m_injectables;
    // Declared before the windows, so their content goes before it.
    std::unique_ptr<AppEnvironment> m_env;
    AppSignals *m_signals;
    std::unique_ptr<ShellWindow> m_window;
    std::unique_ptr<QWidget> m_settings;
    std::unique_ptr<WindowController> m_windowController;
    std::unique_ptr<MenuBarContent> m_trayMenu;
    StatusTray *m_tray;
    StatusNotifierHostWatch *m_hostWatch = nullptr;
    InstanceListener *m_listener = nullptr;
    bool m_quitStarted = false;
};

} // namespace tw
