// The application as main() builds it, on a real Syncthing (loopback only,
// a hardened home of its own): start-up reaches a running engine and an
// up-to-date bar, a folder added to a sync becomes a "tdw-" folder of that
// path in Syncthing, and "Quit TidewellMesh" from the tray menu leaves no
// process of the home. Answers 0 when all of that held.
#include "app/AppEnvironment.h"
#include "controllers/EngineController.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "engine/syncthing/process/SyncthingSweep.h"
#include "projects/ProjectController.h"
#include "services/FeedbackService.h"
#include "utilities/Detach.h"
#include "utilities/UserDefaults.h"
#include "views/shell/AppShell.h"
#include "views/window/EngineStatusBar.h"
#include "views/syncpage/FolderChip.h"
#include "views/window/MainWindow.h"
#include "views/overview/NewProjectSheet.h"
#include "views/overview/ProjectOverviewView.h"
#include "views/syncpage/ProjectView.h"
#include "views/shell/MenuBarContent.h"
#include "views/shell/ShellWindow.h"
#include "views/shell/WindowController.h"

#include "IsolatedHome.h"
#include "MemoryKeychain.h"
#include "RecordingNotifier.h"
#include "SyncthingInstance.h"
#include "TourSteps.h"
#include "WaitUntil.h"
#include "WindowLookup.h"

#include <QApplication>
#include <QDir>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <optional>

namespace tw {
namespace {

constexpr int kStartMs = 30'000;
constexpr int kStepMs = 10'000;

QCoro::Task<std::optional<QString>> pickedFolder(QString path)
{
    co_return path;
}

QCoro::Task<void> readFolders(SyncEngine *engine, QList<SyncFolder> *folders, bool *done)
{
    try {
        *folders = co_await engine->folders();
    } catch (...) {
    }
    *done = true;
}

void click(QWidget *widget)
{
    if (widget)
        QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

int runSmoke()
{
    if (qEnvironmentVariable("TIDEWELL_LOOPBACK_ONLY") != "1") {
        std::fprintf(stderr, "FAIL: TIDEWELL_LOOPBACK_ONLY=1 is not set\n");
        return 1;
    }
    Tour tour(QStringLiteral("smoke"));
    QTemporaryDir dir;
    const AppPaths paths(dir.filePath("data/TidewellSync"));
    SyncthingProcess::Options options = SyncthingProcess::optionsFromEnvironment();
    if (!options.loopbackOnly)
        return 1;
    options.environment = SyncthingInstance::isolatedEnvironment(dir.path());
    SyncthingEngine engine(std::make_shared<SyncthingProcess>(paths, SyncthingProcess::defaultCandidates(), options),
                           realSleeper());
    const auto sweep = qScopeGuard([&] { SyncthingSweep::terminateBlocking(paths.engineHome()); });
    UserDefaults defaults(dir.filePath("defaults.json"));
    defaults.setBoolean(MainWindow::didCompleteSetupKey, true);
    MemoryKeychain keychain;
    RecordingNotifier notifier;
    FeedbackService feedback(QStringLiteral("http://127.0.0.1:9") + QLatin1String(FeedbackService::kRecordsPath), paths);
    AppEnvironment::Services services{paths};
    services.defaults = &defaults;
    services.keychain = &keychain;
    services.feedback = &feedback;
    services.notifier = &notifier;
    services.lan = {QHostAddress::LocalHost, 0, 1};
    services.autostartEntry = dir.filePath("autostart.desktop");
    QList<int> exits;
    bool started = false;
    AppShell::Injectables injectables;
    injectables.exit = [&exits](int code) { exits.append(code); };
    injectables.aboutToQuit = [] {};
    injectables.trayAvailable = [] { return false; };
    injectables.started = [&started] { started = true; };
    const QString picked = dir.filePath("folders/smoke");
    QDir().mkpath(picked);
    injectables.folderPicker = [picked](QWidget *) { return pickedFolder(picked); };
    auto shell = std::make_unique<AppShell>(engine, std::move(services), std::move(injectables));
    AppEnvironment &env = shell->environment();

    tour.step("overview", [&] {
        shell->windowController().show();
        tour.expect(waitUntil([&] { return started && env.engineState().status().isRunning; }, kStartMs),
                    "start-up reaches a running Syncthing");
        auto *title = shell->window().findChild<QLabel *>(QStringLiteral("statusTitle"));
        tour.expect(title && waitUntil([&] { return title->text() == EngineStatusBar::upToDateText; }, kStepMs),
                    "the bar reads Up to date");
        return &shell->window();
    });

    MainWindow *main = shell->window().findChild<MainWindow *>();
    if (!tour.expect(main != nullptr, "the main window's content"))
        return tour.finish();
    auto syncPage = [&] { return qobject_cast<ProjectView *>(main->topPage()); };

    tour.step("sync-page", [&] {
        click(toolButton(main->toolBar(), ProjectOverviewView::newSyncText));
        auto sheet = [&] { return shell->window().findChild<NewProjectSheet *>(); };
        if (!tour.expect(waitUntil([&] { return sheet() && sheet()->isVisible(); }, kStepMs), "the new-sync sheet"))
            return &shell->window();
        QTest::keyClicks(sheet()->nameField(), QStringLiteral("Smoke"));
        click(sheet()->createButton());
        tour.expect(waitUntil([&] { return syncPage() && syncPage()->isVisible(); }, kStepMs),
                    "the sheet's create opens the new sync");
        tour.expect(env.projects().projects().size() == 1 && env.projects().projects().first().name == "Smoke",
                    "the sync is made");
        return &shell->window();
    });

    const QString folder = dir.filePath("folders/smoke");
    tour.step("folder-added", [&] {
        if (!tour.expect(syncPage() != nullptr, "on the sync page"))
            return &shell->window();
        click(syncPage()->findChild<QToolButton *>(ProjectView::addFolderHelp));
        tour.expect(waitUntil([&] { return syncPage()->findChild<FolderChip *>() != nullptr; }, kStepMs),
                    "the picked folder shows as a chip");
        QList<SyncFolder> folders;
        const bool found = waitUntil([&] {
            bool read = false;
            detach(readFolders(&engine, &folders, &read));
            waitUntil([&] { return read; }, kStepMs);
            return std::any_of(folders.cbegin(), folders.cend(), [&](const SyncFolder &f) {
                return f.id.startsWith("tdw-") && QDir(f.path) == QDir(folder);
            });
        }, kStepMs);
        tour.expect(found, "Syncthing holds a tdw- folder of that path");
        return &shell->window();
    });

    tour.step("quit", [&] {
        for (QAction *action : shell->trayMenu().actions())
            if (action->text() == "Quit TidewellMesh")
                action->trigger();
        tour.expect(waitUntil([&] { return !exits.isEmpty(); }, kStepMs), "the application ends");
        tour.expect(waitUntil([&] { return SyncthingSweep::processesServing(paths.engineHome()).isEmpty(); }, kStepMs),
                    "no process of the home is left");
        return static_cast<QWidget *>(nullptr);
    });
    shell.reset();
    return tour.finish();
}

} // namespace
} // namespace tw

int main(int argc, char **argv)
{
    // Before anything reads HOME or the XDG directories.
    const tw::IsolatedHome home;
    QApplication app(argc, argv);
    return tw::runSmoke();
}
