// What the views cost on the main thread, on the fake engine (nothing leaves
// the process):
// - one refresh of the main window's own parts (status bar, incoming banner,
//   its sheets and prompt) with 50 syncs of one folder each, shared with 5
//   Macs, one of them receiving;
// - 200 file icons of distinct folders, first loaded and then from the cache:
//   main-thread time in all (every event delivery timed on the thread's CPU
//   clock) and the longest single delivery.
//
//   view_refresh [refreshes]

#include "app/AppEnvironment.h"
#include "app/AppSignals.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "design/FileIcon.h"
#include "design/FileIconProvider.h"
#include "design/FlowLayout.h"
#include "projects/ProjectController.h"
#include "views/window/EngineStatusBar.h"
#include "views/window/MainWindow.h"

#include "AwaitTask.h"
#include "BenchSupport.h"
#include "MadeUpDeviceID.h"
#include "ViewEnvironment.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

using namespace tw;
using namespace tw::bench;

constexpr int kSyncs = 50;
constexpr int kMacs = 5;
constexpr int kIcons = 200;

double threadMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Every top-level event delivery of the main thread, timed.
class TimedApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (m_depth > 0)
            return QApplication::notify(receiver, event);
        ++m_depth;
        const double start = threadMs();
        const bool done = QApplication::notify(receiver, event);
        const double spent = threadMs() - start;
        --m_depth;
        total += spent;
        longest = std::max(longest, spent);
        return done;
    }
    void reset()
    {
        total = 0;
        longest = 0;
    }

    double total = 0;
    double longest = 0;

private:
    int m_depth = 0;
};

QList<Project> syncs(const QStringList &macs)
{
    QList<Project> projects;
    for (int i = 0; i < kSyncs; ++i) {
        Project project{.id = QStringLiteral("sync-%1").arg(i), .name = QStringLiteral("Sync %1").arg(i),
                        .colorHex = {}, .members = {}, .folders = {}, .createdAt = {}};
        for (const QString &mac : macs)
            project.members.append(ProjectMember{.deviceID = mac, .displayName = mac.left(7)});
        ProjectFolder folder;
        folder.id = QStringLiteral("folder-%1").arg(i);
        folder.label = project.name;
        folder.localPath = QStringLiteral("/tmp/bench-sync-%1").arg(i);
        folder.syncthingFolderID = QStringLiteral("tdw-%1").arg(i, 8, 16, QLatin1Char('0'));
        project.folders.append(folder);
        projects.append(project);
    }
    return projects;
}

void benchRefresh(int refreshes)
{
    QStringList macs;
    for (int i = 0; i < kMacs; ++i)
        macs.append(madeUpDeviceID(char('A' + i)));
    ViewEnvironment rig(syncs(macs));
    FakeSyncEngine &engine = rig.engine;
    engine.state.running = true;
    bench::addConnectedMacs(engine, macs);
    for (int i = 0; i < kSyncs; ++i) {
        const QString id = QStringLiteral("tdw-%1").arg(i, 8, 16, QLatin1Char('0'));
        engine.state.folders.append(SyncFolder{.id = id, .label = id, .path = QStringLiteral("/tmp/") + id,
                                               .sharedDeviceIDs = macs});
        engine.state.folderStatuses[id] = FolderStatus{.id = id, .state = FolderState::Idle, .completion = 1,
                                                       .globalBytes = 1'000'000, .localBytes = 1'000'000};
    }
    engine.state.folderStatuses[QStringLiteral("tdw-00000007")].needBytes = 400'000;
    awaitTask(rig.env->engineState().refreshStatus());
    awaitTask(rig.env->folders().refresh());
    awaitTask(rig.env->devices().refresh());
    rig.defaults.setBoolean(MainWindow::didCompleteSetupKey, true);
    AppSignals appSignals;
    MainWindow window(*rig.env, appSignals, ViewFactories::standard());
    window.show();
    QCoreApplication::processEvents();

    const int windowBefore = window.refreshCount();
    const int barBefore = window.statusBar()->refreshCount();
    std::vector<double> spent;
    spent.reserve(size_t(refreshes));
    for (int i = 0; i < refreshes; ++i) {
        const double start = threadMs();
        window.refresh();
        window.statusBar()->refresh();
        spent.push_back(threadMs() - start);
    }
    require(window.refreshCount() - windowBefore == refreshes && window.statusBar()->refreshCount() - barBefore == refreshes,
            "every refresh did its work");
    require(window.statusBar()->findChild<QLabel *>(QStringLiteral("statusTitle"))->text() ==
                EngineStatusBar::syncingText,
            "the bar shows the transfer");
    std::sort(spent.begin(), spent.end());
    double sum = 0;
    for (double ms : spent)
        sum += ms;
    std::printf("One refresh of the window's own parts (%d syncs x %d Macs, one receiving), %d refreshes:\n", kSyncs,
                kMacs, refreshes);
    std::printf("  mean %.4f ms, median %.4f ms, 99th percentile %.4f ms, max %.4f ms\n", sum / refreshes,
                spent[spent.size() / 2], spent[spent.size() * 99 / 100], spent.back());
}

struct Cost
{
    double total = 0;    // ms of main-thread time
    double longest = 0;  // ms of the longest event delivery, or of the creating and showing
};

// The main-thread time of creating and showing the widgets until `done`
// holds and the last paint is through. Deliveries during show() are counted
// once.
Cost timeWidgets(TimedApplication &app, const std::function<QWidget *()> &make, const std::function<bool()> &done)
{
    QWidget list;
    auto *flow = new FlowLayout(4, 4, &list);
    app.reset();
    const double start = threadMs();
    for (int i = 0; i < kIcons; ++i)
        flow->addWidget(make());
    list.resize(800, 600);
    list.show();
    const double outside = threadMs() - start - app.total;
    const double shownAt = app.total;
    require(waitUntil(done, 30000), "every icon loaded");
    QCoreApplication::processEvents();
    return {outside + app.total, std::max(outside + shownAt, app.longest)};
}

Cost showIcons(TimedApplication &app, const QStringList &paths)
{
    QList<FileIcon *> icons;
    return timeWidgets(
        app,
        [&] {
            icons.append(new FileIcon(paths[icons.size()], false, 32));
            return icons.last();
        },
        [&] { return std::all_of(icons.begin(), icons.end(), [](FileIcon *icon) { return icon->hasImage(); }); });
}

// The same number of plain widgets of the same size: what Qt spends on any
// 200 widgets, icons or not.
Cost showPlainWidgets(TimedApplication &app)
{
    return timeWidgets(
        app,
        [] {
            auto *plain = new QWidget;
            plain->setFixedSize(32, 32);
            return plain;
        },
        [] { return true; });
}

void benchIcons(TimedApplication &app)
{
    QTemporaryDir root;
    QStringList paths;
    for (int i = 0; i < kIcons; ++i) {
        paths.append(root.filePath(QStringLiteral("folder-%1").arg(i)));
        require(QDir().mkpath(paths.last()), "icon folders");
    }
    showPlainWidgets(app);  // Qt's first-use costs out of the way
    const Cost plain = showPlainWidgets(app);
    FileIconProvider::clearCache();
    const FileIconProvider::Counts before = FileIconProvider::counts();
    const Cost first = showIcons(app, paths);
    const FileIconProvider::Counts after = FileIconProvider::counts();
    const Cost cached = showIcons(app, paths);
    std::printf("%d file icons of distinct folders, main-thread time until all are painted:\n", kIcons);
    std::printf("  %d plain widgets of that size: %.2f ms in all, longest slice %.3f ms\n", kIcons, plain.total,
                plain.longest);
    std::printf("  first load: %.2f ms in all (%.2f ms beyond plain widgets), longest slice %.3f ms; "
                "%d probes, %d renders\n",
                first.total, first.total - plain.total, first.longest, after.probes - before.probes,
                after.renders - before.renders);
    std::printf("  cached:     %.2f ms in all (%.2f ms beyond plain widgets), longest slice %.3f ms\n", cached.total,
                cached.total - plain.total, cached.longest);
}

} // namespace

int main(int argc, char **argv)
{
    drawOffscreen();
    TimedApplication app(argc, argv);
    const int refreshes = argc > 1 ? std::atoi(argv[1]) : 2000;
    benchRefresh(refreshes);
    benchIcons(app);
    return 0;
}
