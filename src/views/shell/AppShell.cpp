#include "views/shell/AppShell.h"

#include "services/FeedbackService.h"
#include "views/settings/SettingsView.h"
#include "views/window/MainWindow.h"
#include "views/window/ViewFactories.h"

#include "app/AppPreferences.h"
#include "app/AppSignals.h"
#include "app/InstanceChannel.h"
#include "app/InstanceListener.h"
#include "app/LinkRouter.h"
#include "engine/SyncEngine.h"
#include "engine/syncthing/process/SyncthingProcess.h"
#include "platform/StatusNotifierHostWatch.h"
#include "views/joining/IncomingView.h"
#include "views/kit/ConfirmAction.h"
#include "views/kit/PanelTexts.h"
#include "views/kit/ButtonReturnKey.h"
#include "views/kit/KeyboardFocus.h"
#include "views/kit/WheelFocusGuard.h"
#include "views/shell/FolderPicker.h"
#include "views/shell/MenuBarContent.h"
#include "views/shell/ShellWindow.h"
#include "views/shell/StatusTray.h"
#include "views/shell/WindowController.h"
#include "views/syncpage/ProjectPageFactories.h"
#include "views/syncpage/ProjectView.h"

#include <QApplication>
#include <QMenuBar>
#include <QScreen>
#include <QShortcut>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <algorithm>

namespace tw {
namespace {

// A window-modal note over the window; it deletes itself once closed.
void tellUnusableInvite(QWidget &window, const QString &why)
{
    auto *box = new QMessageBox(&window);
    box->setObjectName(QStringLiteral("unusableInvite"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    setPlainTexts(*box, why, {});
    // A button of our own: the standard OK takes the icon theme's symbol,
    // drawn in a colour that need not read on the button.
    box->setEscapeButton(box->addButton(texts::ok, QMessageBox::AcceptRole));
    box->open();
}

AppShell::Injectables withDefaults(AppShell::Injectables injectables)
{
    if (!injectables.exit)
        injectables.exit = [](int code) { QCoreApplication::exit(code); };
    if (!injectables.aboutToQuit)
        injectables.aboutToQuit = [] { SyncthingProcess::killDaemonsForDefaultHome(); };
    if (!injectables.folderPicker)
        injectables.folderPicker = &FolderPicker::pickFolder;
    return injectables;
}

std::unique_ptr<QWidget> makeSettingsWindow(const AppShell::ContentFactory &content)
{
    auto window = std::make_unique<QWidget>(nullptr, Qt::Window);
    window->setWindowTitle(QStringLiteral("Settings"));
    window->setFixedSize(AppShell::settingsSize);
    auto *layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content(window.get()));
    // Closed from the keyboard as a dialog is: it has no menu of its own.
    for (const QKeySequence &keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto *shortcut = new QShortcut(keys, window.get());
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, window.get(), &QWidget::close);
    }
    return window;
}

void bringForward(QWidget &window)
{
    window.show();
    window.raise();
    window.activateWindow();
}

// A window opening comes up centred over the one it was opened from, within
// that window's screen; one already open stays where the user put it.
void openOver(QWidget &window, const QWidget &over)
{
    if (!window.isVisible() && over.isVisible()) {
        QRect frame = window.frameGeometry();
        frame.moveCenter(over.frameGeometry().center());
        if (const QScreen *screen = over.screen()) {
            const QRect available = screen->availableGeometry();
            const int right = std::max(available.left(), available.right() - frame.width() + 1);
            const int bottom = std::max(available.top(), available.bottom() - frame.height() + 1);
            frame.moveTopLeft({std::clamp(frame.left(), available.left(), right),
                               std::clamp(frame.top(), available.top(), bottom)});
        }
        window.move(frame.topLeft());
    }
    bringForward(window);
}

} // namespace

AppShell::AppShell(SyncEngine &engine, AppEnvironment::Services services, Injectables injectables, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_injectables(withDefaults(std::move(injectables)))
    , m_env(std::make_unique<AppEnvironment>(engine, std::move(services)))
    , m_signals(new AppSignals(this))
{
    // Before any widget is made, so that every one is polished under it.
    qApp->installEventFilter(new WheelFocusGuard(this));
    qApp->installEventFilter(new KeyboardFocus(this));
    ButtonReturnKey::install();
    std::function<bool()> trayAvailable = m_injectables.trayAvailable;
    if (!trayAvailable)
        trayAvailable = [this] { return m_tray->isShown() && m_hostWatch && m_hostWatch->isHostRegistered(); };
    m_window = std::make_unique<ShellWindow>(std::move(trayAvailable));
    if (!m_injectables.mainContent)
        m_injectables.mainContent = [this](QWidget *parent) {
            ViewFactories factories = ViewFactories::standard();
            // The incoming page's placing sheet chooses through the shell's picker.
            factories.incomingView = [pick = m_injectables.folderPicker](AppEnvironment &env) -> QWidget * {
                return new IncomingView(env, pick);
            };
            // So does the sync page's "Add folder".
            factories.projectView = [pick = m_injectables.folderPicker](AppEnvironment &env, NavigationPath &path,
                                                                          QString projectID) -> QWidget * {
                ProjectPageFactories parts = ProjectPageFactories::standard();
                parts.folderPicker = pick;
                return new ProjectView(env, path, std::move(projectID), std::move(parts));
            };
            return new MainWindow(*m_env, *m_signals, std::move(factories), parent);
        };
    if (!m_injectables.settingsContent)
        m_injectables.settingsContent = [this](QWidget *parent) { return new SettingsView(*m_env, parent); };
    m_window->setCentralWidget(m_injectables.mainContent(m_window.get()));
    m_settings = makeSettingsWindow(m_injectables.settingsContent);
    m_windowController = std::make_unique<WindowController>(m_window.get());
    m_trayMenu = std::make_unique<MenuBarContent>(
        *m_env, [this] { m_windowController->show(); }, [this] { quit(); });
    m_tray = new StatusTray(*m_env, m_trayMenu.get(), this);
    connect(m_tray, &StatusTray::activated, this, [this] { m_windowController->show(); });
    buildMenus();

    // Closing the window keeps syncing; only quitting ends the process.
    QApplication::setQuitOnLastWindowClosed(false);
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { m_injectables.aboutToQuit(); });
    connect(m_window.get(), &ShellWindow::firstShown, this, [this] { startUp(QPointer<AppShell>(this)); });
    if (!m_injectables.trayAvailable)
        watchTrayHost();
}

AppShell::~AppShell()
{
    delete m_tray;
}

void AppShell::buildMenus()
{
    QMenuBar *bar = m_window->menuBar();
    QMenu *file = bar->addMenu(QStringLiteral("File"));
    QAction *settings = file->addAction(QStringLiteral("Settings\u2026"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(settings, &QAction::triggered, this, [this] { openOver(*m_settings, *m_window); });
    QAction *close = file->addAction(QStringLiteral("Close Window"));
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    connect(close, &QAction::triggered, m_window.get(), &QWidget::close);
    file->addSeparator();
    QAction *quitAction = file->addAction(QStringLiteral("Quit TidewellMesh"));
    quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quitAction->setMenuRole(QAction::QuitRole);
    connect(quitAction, &QAction::triggered, this, &AppShell::quit);

    QMenu *help = bar->addMenu(QStringLiteral("Help"));
    QAction *feedback = help->addAction(QStringLiteral("Send Feedback\u2026"));
    feedback->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Question));
    // A build given no endpoint keeps every report on this machine: offering
    // to send one would promise what never happens.
    const FeedbackService *service = m_env->feedback();
    feedback->setEnabled(service && service->hasEndpoint());
    connect(feedback, &QAction::triggered, m_signals, &AppSignals::showFeedbackSheet);
}

// Qt answers its tray question once per process, so it is asked only once
// a host is there; a copy started before the panel gets its icon later.
void AppShell::watchTrayHost()
{
    m_hostWatch = new StatusNotifierHostWatch(QDBusConnection::sessionBus(), this);
    connect(m_hostWatch, &StatusNotifierHostWatch::hostRegisteredChanged, this, [this](bool registered) {
        if (registered && !m_tray->isShown() && QSystemTrayIcon::isSystemTrayAvailable())
            m_tray->show();
    });
}

bool AppShell::listen(const QString &socketPath)
{
    if (!m_listener) {
        m_listener = new InstanceListener(this);
        connect(m_listener, &InstanceListener::lineReceived, this, &AppShell::open);
    }
    return m_listener->listen(socketPath);
}

QString AppShell::listenFailure() const
{
    return m_listener ? m_listener->errorString() : QString();
}

void AppShell::open(const QString &request)
{
    if (m_quitStarted)
        return;
    const LinkRouter::Outcome outcome = request == InstanceChannel::showRequest
                                            ? LinkRouter::Outcome::Ignored
                                            : LinkRouter::route(request, *m_env);
    m_windowController->show();
    if (outcome == LinkRouter::Outcome::UnusableInvite)
        tellUnusableInvite(*m_window, texts::unusableInvite);
    else if (outcome == LinkRouter::Outcome::UnreadableInvite)
        tellUnusableInvite(*m_window, texts::unreadableInvite);
}

void AppShell::quit()
{
    if (m_quitStarted)
        return;
    m_quitStarted = true;
    // A link handed over from now on would be taken and dropped; a copy
    // started meanwhile waits for this one to end and starts in its place.
    if (m_listener)
        m_listener->close();
    emit quitStarted();
    m_window->setQuitting();
    runQuit(QPointer<AppShell>(this));
}

QCoro::Task<void> AppShell::startUp(QPointer<AppShell> self)
{
    try {
        self->m_env->preferences().applyAppearance();
        co_await self->m_env->bootstrap();
        // A quit during start-up must not start what it is stopping.
        if (!self || self->m_env->isQuitting())
            co_return;
        self->m_env->startPolling();
        if (self->m_injectables.started)
            self->m_injectables.started();
    } catch (...) {
        // Start-up never fails; each controller keeps its own error.
    }
}

// The loops end and the LAN server closes before the engine stops, so
// nothing asks the engine while it goes. The loop is ended with exit(), not
// quit(): quit() asks every window to close first, and a window that
// minimises instead would cancel it.
QCoro::Task<void> AppShell::runQuit(QPointer<AppShell> self)
{
    try {
        self->m_env->beginQuit();
        self->m_env->diagServer().stop();
        co_await self->m_engine.stop();
    } catch (...) {
    }
    if (self)
        self->m_injectables.exit(0);
}

} // namespace tw
