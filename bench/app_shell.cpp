// What the windowed shell costs at its edges, on a temporary home with 50
// syncs stored: process start to the window's first paint (start-up never
// waits for Syncthing), a second launch handing over "show" until it exits,
// the window coming forward once the line is taken, and Quit until the end
// of the event loop next to Syncthing's own stop.
//
//   TIDEWELL_LOOPBACK_ONLY=1 app_shell
//
// The first figure counts from the kernel's start of this process (10 ms
// ticks), so it includes loading the libraries.

#include "app/InstanceChannel.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "projects/Project.h"
#include "services/FeedbackService.h"
#include "utilities/InstanceLock.h"
#include "utilities/UserDefaults.h"
#include "views/shell/AppShell.h"
#include "views/shell/ShellWindow.h"

#include "AwaitTask.h"
#include "BenchSupport.h"
#include "MemoryKeychain.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

using namespace tw;
using namespace tw::bench;

constexpr int kSyncs = 50;
constexpr int kRuns = 20;

// Milliseconds since the kernel started this process.
double msSinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double started = fields.value(19).toDouble() / double(sysconf(_SC_CLK_TCK));
    timespec now = {};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return (double(now.tv_sec) + double(now.tv_nsec) / 1e9 - started) * 1000.0;
}

class FirstPaint : public QObject
{
public:
    std::optional<double> atMs;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !atMs)
            atMs = msSinceProcessStart();
        return QObject::eventFilter(watched, event);
    }
};

QList<Project> storedSyncs(const QString &root)
{
    QList<Project> projects;
    for (int i = 0; i < kSyncs; ++i) {
        Project project;
        project.id = QStringLiteral("sync-%1").arg(i);
        project.name = QStringLiteral("Sync %1").arg(i);
        project.createdAt = QDateTime::currentDateTimeUtc();
        ProjectFolder folder;
        folder.id = QStringLiteral("folder-%1").arg(i);
        folder.label = project.name;
        folder.localPath = root + QStringLiteral("/folders/") + project.id;
        project.folders.append(folder);
        projects.append(project);
    }
    return projects;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

} // namespace

int main(int argc, char **argv)
{
    drawOffscreen();
    QApplication app(argc, argv);
    requireLoopbackOnly();

    QTemporaryDir base;
    const QString root = base.filePath(QStringLiteral("data/TidewellSync"));
    const AppPaths paths(root);
    SyncthingInstance::writeFile(paths.file(QStringLiteral("projects.json")), Project::listToFile(storedSyncs(root)));
    for (int i = 0; i < kSyncs; ++i)
        QDir().mkpath(root + QStringLiteral("/folders/sync-%1").arg(i));
    auto lock = std::make_shared<InstanceLock>(paths);
    require(lock->acquire(), "the instance lock");

    SyncthingProcess::Options options = SyncthingProcess::optionsFromEnvironment();
    options.instanceLock = lock;
    SyncthingEngine engine(std::make_shared<SyncthingProcess>(paths, SyncthingProcess::defaultCandidates(), options),
                           realSleeper());
    UserDefaults defaults(base.filePath(QStringLiteral("defaults.json")));
    defaults.setBoolean(QStringLiteral("lanDiagnostics"), false);
    MemoryKeychain keychain;
    FeedbackService feedback(QString(), paths);
    AppEnvironment::Services services(paths);
    services.defaults = &defaults;
    services.keychain = &keychain;
    services.feedback = &feedback;
    services.lan = AppEnvironment::LanSetting::forThisRun();
    services.autostartEntry = base.filePath(QStringLiteral("autostart.desktop"));

    bool started = false;
    std::optional<QElapsedTimer> quitting;
    double quitMs = -1;
    AppShell::Injectables injectables;
    injectables.trayAvailable = [] { return true; };
    injectables.started = [&started] { started = true; };
    injectables.exit = [&](int) { quitMs = quitting ? double(quitting->nsecsElapsed()) / 1e6 : -1; };
    injectables.aboutToQuit = [] {};
    AppShell shell(engine, std::move(services), std::move(injectables));
    FirstPaint paint;
    shell.window().installEventFilter(&paint);
    shell.window().centralWidget()->installEventFilter(&paint);
    shell.open(InstanceChannel::showRequest);
    require(waitUntil([&] { return paint.atMs.has_value(); }, 10000), "a first paint");
    std::printf("Shell with %d syncs stored, offscreen\n", kSyncs);
    std::printf("  process start to the window's first paint: %.0f ms\n", *paint.atMs);
    require(waitUntil([&] { return started; }, 60000), "start-up");

    // A second copy on the same root hands over "show" to this one.
    const QString runtime = base.filePath(QStringLiteral("run"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    require(shell.listen(InstanceChannel::socketPath(paths, runtime)), "the instance socket");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), base.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    QList<double> launches;
    QList<double> opens;
    for (int run = 0; run < kRuns; ++run) {
        shell.window().hide();
        QProcess second;
        second.setProcessEnvironment(environment);
        QElapsedTimer timer;
        timer.start();
        second.start(QStringLiteral(TIDEWELL_APP_PATH), QStringList());
        require(waitUntil([&] { return second.state() == QProcess::NotRunning; }, 10000), "the second copy");
        launches.append(double(timer.nsecsElapsed()) / 1e6);
        require(second.exitCode() == 0 && shell.window().isVisible(), "the window shown by a second copy");
        shell.window().hide();
        timer.restart();
        shell.open(InstanceChannel::showRequest);
        opens.append(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("  second launch, start to exit: median %.1f ms of %d\n", median(launches), kRuns);
    std::printf("  window shown once the line is taken: median %.2f ms of %d\n", median(opens), kRuns);

    // Syncthing's own stop, then Quit with Syncthing running again; each
    // after the same settling time, since a Syncthing that just started is
    // busier to stop.
    runFor(0.05);
    QElapsedTimer stopping;
    stopping.start();
    awaitTask(engine.stop());
    const double stopMs = double(stopping.nsecsElapsed()) / 1e6;
    awaitTask(engine.start());
    require(awaitTask(engine.status()).isRunning, "Syncthing running again");
    runFor(0.05);
    quitting.emplace();
    quitting->start();
    shell.quit();
    require(waitUntil([&] { return quitMs >= 0; }, 60000), "the quit");
    std::printf("  Syncthing's own stop %.0f ms; Quit to the end of the loop %.0f ms (%+.0f ms)\n", stopMs, quitMs,
                quitMs - stopMs);
    return 0;
}
