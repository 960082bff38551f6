// What the settings window costs while nothing changes: the environment
// bootstrapped and polling every 2 s against a real Syncthing holding 10
// folders, a team key in the keychain. Reported, for a stretch each: the
// Syncthing requests per minute by endpoint (from Syncthing's own API trace)
// and the keychain reads, with the window closed, just opened, shown on each
// of its six tabs, and closed again.
//
//   TIDEWELL_LOOPBACK_ONLY=1 settings_window_idle [minutes per stretch, 0: only the timing]

#include "app/AppEnvironment.h"
#include "cluster/NasNodeController.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "projects/ProjectController.h"
#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"
#include "views/kit/PanelTexts.h"
#include "views/settings/DiagnosticsTab.h"
#include "views/settings/SettingsView.h"

#include "AwaitTask.h"
#include "BenchSupport.h"
#include "FakeSyncEngine.h"
#include "MemoryKeychain.h"
#include "SyncthingInstance.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

namespace {

using namespace tw;
using namespace tw::bench;

constexpr int kFolders = 10;

// Counts what the application asks of the keychain.
class CountingKeychain : public MemoryKeychain
{
public:
    int reads = 0;
    QCoro::Task<std::optional<QString>> get(QString account) override
    {
        ++reads;
        return MemoryKeychain::get(std::move(account));
    }
};

void measure(const QString &title, double minutes, SyncthingInstance &anna, CountingKeychain &keychain)
{
    const QString home = anna.home();
    const int reads0 = keychain.reads;
    const CostWindow window = measureCost(minutes, [home] { return cpuSecondsOfHome(home); }, logPath(anna));
    const double total = printCost(qPrintable(title), window);
    std::printf("  Syncthing total %.1f requests/min; keychain %.1f reads/min\n", total,
                (keychain.reads - reads0) / window.minutes);
}

// Median main-thread milliseconds of `runs` calls.
double medianMs(int runs, const std::function<void()> &call)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        call();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void measureDiagnosticsRefresh()
{
    constexpr int kSyncs = 50, kFoldersPerSync = 4, kRuns = 101;
    QTemporaryDir dir;
    FakeSyncEngine engine;
    engine.state.running = true;
    for (int i = 0; i < kSyncs * kFoldersPerSync; ++i) {
        SyncFolder folder{.id = QStringLiteral("st%1").arg(i), .label = QStringLiteral("Folder %1").arg(i)};
        engine.state.folders.append(folder);
        // One folder in ten in error, half of them without a text.
        const bool failing = i % 10 == 0;
        engine.state.folderStatuses[folder.id] = {.id = folder.id,
                                                  .state = failing ? FolderState::Error : FolderState::Idle};
        if (failing && i % 20 == 0)
            engine.state.folderStatuses[folder.id].error = QStringLiteral("insufficient space on disk");
    }
    UserDefaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    MemoryKeychain keychain;
    FeedbackService feedback(QString(), AppPaths(dir.path()));
    AppEnvironment::Services services{AppPaths(dir.path())};
    services.defaults = &defaults;
    services.keychain = &keychain;
    services.feedback = &feedback;
    services.lan = {QHostAddress::LocalHost, 0};
    services.autostartEntry = dir.filePath(QStringLiteral("autostart.desktop"));
    AppEnvironment env(engine, std::move(services));
    for (int s = 0; s < kSyncs; ++s) {
        Project project{.id = QStringLiteral("S%1").arg(s), .name = QStringLiteral("Sync %1").arg(s)};
        for (int f = 0; f < kFoldersPerSync; ++f) {
            const int n = s * kFoldersPerSync + f;
            const QString path = dir.filePath(QStringLiteral("f%1").arg(n));
            QDir().mkpath(path);
            ProjectFolder folder{.id = QStringLiteral("F%1").arg(n), .label = QStringLiteral("Folder %1").arg(n),
                                 .localPath = path};
            folder.syncthingFolderID = QStringLiteral("st%1").arg(n);
            project.folders.append(folder);
        }
        env.projects().add(project);
    }
    awaitTask(env.folders().refresh());

    QWidget window;
    window.resize(580, 560);
    auto *view = new SettingsView(env);
    (new QVBoxLayout(&window))->addWidget(view);
    view->tabs()->setCurrentIndex(SettingsView::Diagnostics);
    window.show();
    DiagnosticsTab &tab = *view->diagnosticsTab();
    const auto rowCount = [&tab] { return tab.findChildren<QWidget *>(QStringLiteral("volumeRow")).size(); };
    // Every format read (one rebuild each time a read ends).
    const auto formatsShown = [&tab] { return tab.findChildren<QLabel *>(QStringLiteral("volumeFormat")).size(); };
    const auto waitForFormats = [&formatsShown] {
        for (int i = 0; i < 3000 && formatsShown() < kSyncs * kFoldersPerSync; ++i)
            runFor(0.002 / 60);
    };
    waitForFormats();
    require(formatsShown() == kSyncs * kFoldersPerSync, "every volume format read");
    std::printf("Diagnostics tab, %d syncs x %d folders (%lld volume rows):\n", kSyncs, kFoldersPerSync,
                qlonglong(rowCount()));
    std::printf("  refresh with nothing changed: %.3f ms (median of %d)\n",
                medianMs(kRuns, [&tab] { tab.refresh(); }), kRuns);
    // A volume came or went: every format is read again, so every row is
    // built anew now and once more as the reads come back (not timed).
    std::vector<double> rebuilds;
    for (int run = 0; run < 21; ++run) {
        QElapsedTimer timer;
        timer.start();
        emit env.iconCacheStale();
        rebuilds.push_back(double(timer.nsecsElapsed()) / 1e6);
        waitForFormats();
    }
    std::sort(rebuilds.begin(), rebuilds.end());
    std::printf("  refresh rebuilding all %d volume rows (formats forgotten): %.3f ms (median of %zu)\n",
                kSyncs * kFoldersPerSync, rebuilds[rebuilds.size() / 2], rebuilds.size());
    env.stopLoops();
}

} // namespace

int main(int argc, char **argv)
{
    drawOffscreen();
    QApplication app(argc, argv);
    requireLoopbackOnly();
    const double minutes = app.arguments().size() > 1 ? app.arguments()[1].toDouble() : 1.0;
    // "0": only the timing of the Diagnostics tab.
    if (app.arguments().size() > 1 && minutes == 0) {
        measureDiagnosticsRefresh();
        return 0;
    }

    SyncthingInstance::Settings settings;
    settings.host = QStringLiteral("127.0.0.40");
    settings.name = QStringLiteral("Anna");
    settings.extraEnvironment.insert(QStringLiteral("STTRACE"), QStringLiteral("api"));
    SyncthingInstance anna(settings);
    anna.start();
    addFolders(anna, kFolders);

    QTemporaryDir appDir;
    UserDefaults defaults(appDir.filePath(QStringLiteral("defaults.json")));
    CountingKeychain keychain;
    keychain.items.insert(NasNodeController::clusterSecretAccount, QStringLiteral("bench-team-key"));
    FeedbackService feedback(QString(), AppPaths(appDir.path()));
    AppEnvironment::Services services{AppPaths(appDir.path())};
    services.defaults = &defaults;
    services.keychain = &keychain;
    services.feedback = &feedback;
    services.lan = {QHostAddress::LocalHost, 0};
    services.autostartEntry = appDir.filePath(QStringLiteral("autostart.desktop"));
    std::unique_ptr<SyncthingEngine> engine = anna.makeEngine();
    auto env = std::make_unique<AppEnvironment>(*engine, std::move(services));
    awaitTask(env->bootstrap());
    env->startPolling();
    runFor(0.5);
    std::printf("Idle cost of the settings window: %d folders, the polling loop running, a team key stored\n",
                kFolders);

    // The shell's window, 580 x 560, kept across openings.
    QWidget window;
    window.resize(580, 560);
    auto *view = new SettingsView(*env);
    (new QVBoxLayout(&window))->addWidget(view);

    measure(QStringLiteral("Window closed"), minutes, anna, keychain);
    window.show();
    measure(QStringLiteral("Window just opened, General"), minutes, anna, keychain);
    const QStringList titles = {texts::tabGeneral, texts::tabNetwork, texts::tabIgnores,
                                texts::tabTeam,    texts::tabIdentity, texts::tabDiagnostics};
    for (int tab = 0; tab < titles.size(); ++tab) {
        view->tabs()->setCurrentIndex(tab);
        measure(QStringLiteral("Window shown, ") + titles[tab], minutes, anna, keychain);
    }
    window.hide();
    measure(QStringLiteral("Window closed again"), minutes, anna, keychain);
    env->stopLoops();
    runFor(0.05);
    measureDiagnosticsRefresh();
    return 0;
}
