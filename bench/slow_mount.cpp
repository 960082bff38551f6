// Fifty syncs of two folders each on a slow mount, every stat of a path on it
// held 50 ms (a network share that answers slowly; a vanished one holds a stat
// for minutes): the longest stall of the main thread (the largest gap between
// ticks of a 2 ms timer, less the interval) and the stats it made itself,
// while the creation-date controller is told the folders (every polling tick)
// while a reconcile pass runs over the fake engine, and while the placing
// sheet, its location on that mount, sees ten changes of the application's
// state (each one a refresh).

#include "creationdates/CreationDateController.h"
#include "projects/ProjectController.h"
#include "utilities/UserDefaults.h"
#include "views/joining/AcceptFolderSheet.h"

#include "AwaitTask.h"
#include "BenchSupport.h"
#include "FakeSyncEngine.h"
#include "StallMeter.h"
#include "StatHook.h"
#include "ViewEnvironment.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using namespace tw;
using namespace tw::bench;
using namespace std::chrono_literals;

constexpr int kSyncs = 50;
constexpr int kFoldersPerSync = 2;
constexpr std::chrono::milliseconds kStatDelay = 50ms;

QStringList addSyncs(ProjectController &projects, const QString &root, const QString &me)
{
    QStringList paths;
    for (int s = 0; s < kSyncs; ++s) {
        Project sync{.id = QStringLiteral("S%1").arg(s), .name = QStringLiteral("Sync %1").arg(s)};
        sync.members.append({me, QStringLiteral("Me"), MemberRole::Editor, true, false});
        for (int f = 0; f < kFoldersPerSync; ++f) {
            const QString path = QStringLiteral("%1/s%2f%3").arg(root).arg(s).arg(f);
            require(QDir().mkpath(path), "folder");
            sync.folders.append({.id = QStringLiteral("F%1").arg(f), .label = QStringLiteral("Folder %1").arg(f),
                                 .localPath = path});
            paths.append(path);
        }
        projects.add(sync);
    }
    return paths;
}

void print(const char *what, const QElapsedTimer &clock, double stallMs, int stats)
{
    std::printf("%-32s %7.0f ms in all, longest stall %7.1f ms, stats on the main thread %4d\n", what,
                double(clock.nsecsElapsed()) / 1e6, stallMs, stats);
}

QCoro::Task<std::optional<QString>> pick(QString location) { co_return location; }

void benchPlacingSheet(const QString &mount, QElapsedTimer &clock)
{
    ViewEnvironment rig;
    const PendingFolder offer{.folderID = QStringLiteral("st-audio"), .label = QStringLiteral("Audio"),
                              .offeredByDeviceID = QStringLiteral("PEER-ID"), .offeredByName = QStringLiteral("Ann")};
    AcceptFolderSheet sheet(*rig.env, offer, [mount](QWidget *) { return pick(mount); });
    sheet.show();
    sheet.choose();
    require(waitUntil([&] { return sheet.location().has_value(); }), "location");
    const test::StatHook stats(mount, kStatDelay);
    clock.start();
    StallMeter meter(clock, [] { return true; });
    meter.start();
    for (int i = 0; i < 10; ++i) {
        rig.env->projects().createProject(QStringLiteral("Sync %1").arg(i), std::nullopt);
        QCoreApplication::processEvents();
    }
    const auto *explanation = sheet.findChild<QLabel *>(QStringLiteral("explanation"));
    require(waitUntil([&] { return explanation->isVisible(); }), "answer");
    print("placing sheet, ten refreshes", clock, meter.stop(), stats.callsOnOwnThread());
}

} // namespace

int main(int argc, char **argv)
{
    drawOffscreen();
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString mount = dir.filePath(QStringLiteral("mount"));
    FakeSyncEngine engine;
    UserDefaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    ProjectController projects(engine, AppPaths(dir.filePath(QStringLiteral("app"))), defaults);
    const QStringList paths = addSyncs(projects, mount, engine.state.localDeviceID);
    std::printf("%d folders on a mount whose stats take %lld ms each\n", int(paths.size()),
                static_cast<long long>(kStatDelay.count()));
    QElapsedTimer clock;
    {
        CreationDateController dates(FileDateAccess::system(), 50ms);
        const test::StatHook stats(mount, kStatDelay);
        clock.start();
        StallMeter meter(clock, [] { return true; });
        meter.start();
        dates.watch(paths);
        QCoreApplication::processEvents();
        print("creation dates told the folders", clock, meter.stop(), stats.callsOnOwnThread());
    }
    for (const char *what : {"reconcile pass (creates)", "reconcile pass (steady)"}) {
        const test::StatHook stats(mount, kStatDelay);
        clock.start();
        StallMeter meter(clock, [] { return true; });
        meter.start();
        awaitTask(projects.reconcileAll());
        print(what, clock, meter.stop(), stats.callsOnOwnThread());
    }
    benchPlacingSheet(mount, clock);
    return 0;
}
