// What the overview of syncs and a sync's page cost on the main thread (the
// thread's CPU clock), on the fake engine (nothing leaves the process):
// - the overview with 50 syncs x 5 Macs x 4 folders: a refresh with nothing
//   changed, one after a sync's status changed (its relayout and paint
//   included) and one after a sync was added (one new card);
// - a sync page of 10 Macs x 30 folders made, shown and painted, and its
//   refresh with nothing changed.
//
//   sync_views [refreshes]

#include "app/AppEnvironment.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "projects/ProjectController.h"
#include "views/overview/ProjectCard.h"
#include "views/overview/ProjectOverviewView.h"
#include "views/syncpage/ProjectView.h"
#include "views/window/NavigationPath.h"

#include "AwaitTask.h"
#include "BenchSupport.h"
#include "MadeUpDeviceID.h"
#include "ViewEnvironment.h"

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

using namespace tw;
using namespace tw::bench;

double threadMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

QString engineID(int sync, int folder)
{
    return QStringLiteral("tdw-%1-%2").arg(sync).arg(folder);
}

Project makeSync(int index, const QStringList &macs, int folders)
{
    Project project{.id = QStringLiteral("sync-%1").arg(index), .name = QStringLiteral("Sync %1").arg(index),
                    .colorHex = {}, .members = {}, .folders = {}, .createdAt = {}};
    for (const QString &mac : macs)
        project.members.append(ProjectMember{.deviceID = mac, .displayName = mac.left(7)});
    for (int f = 0; f < folders; ++f) {
        ProjectFolder folder;
        folder.id = QStringLiteral("folder-%1-%2").arg(index).arg(f);
        folder.label = QStringLiteral("Folder %1").arg(f);
        folder.localPath = QStringLiteral("/tmp/bench-%1-%2").arg(index).arg(f);
        folder.syncthingFolderID = engineID(index, f);
        project.folders.append(folder);
    }
    return project;
}

void stateFor(FakeSyncEngine &engine, const QList<Project> &projects, const QStringList &macs)
{
    engine.state.running = true;
    for (const QString &mac : macs) {
        engine.state.devices.append(SyncDevice{.id = mac, .name = mac.left(7)});
        DeviceConnection connection;
        connection.id = mac;
        connection.connected = true;
        engine.state.connections.append(connection);
    }
    for (const Project &project : projects) {
        for (const ProjectFolder &folder : project.folders) {
            const QString id = *folder.syncthingFolderID;
            engine.state.folders.append(SyncFolder{.id = id, .label = id, .path = folder.localPath,
                                                   .sharedDeviceIDs = macs});
            engine.state.folderStatuses[id] = FolderStatus{.id = id, .state = FolderState::Idle, .completion = 1,
                                                           .globalBytes = 1'000'000, .localBytes = 1'000'000};
        }
    }
}

void loadState(ViewEnvironment &rig)
{
    awaitTask(rig.env->engineState().refreshStatus());
    awaitTask(rig.env->folders().refresh());
    awaitTask(rig.env->devices().refresh());
}

// Mean and maximum of `runs` timings of `step` (ms of thread time), with
// `prepare` run untimed before each.
void report(const char *what, int runs, const std::function<void()> &prepare, const std::function<void()> &step)
{
    std::vector<double> spent;
    for (int i = 0; i < runs; ++i) {
        if (prepare)
            prepare();
        const double start = threadMs();
        step();
        spent.push_back(threadMs() - start);
    }
    std::sort(spent.begin(), spent.end());
    double sum = 0;
    for (double ms : spent)
        sum += ms;
    std::printf("  %s: mean %.3f ms, median %.3f ms, max %.3f ms (%d runs)\n", what, sum / runs,
                spent[spent.size() / 2], spent.back(), runs);
}

void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::processEvents();
}

void benchOverview(int runs)
{
    QStringList macs;
    for (int i = 0; i < 4; ++i)
        macs.append(madeUpDeviceID(char('A' + i)));
    QList<Project> projects;
    for (int i = 0; i < 50; ++i)
        projects.append(makeSync(i, macs, 4));
    ViewEnvironment rig(projects);
    stateFor(rig.engine, projects, macs);
    loadState(rig);
    NavigationPath path;
    ProjectOverviewView view(*rig.env, path);
    view.resize(1100, 900);
    view.show();
    settle();
    require(view.cards().ids().size() == 50, "fifty cards");
    std::printf("Overview, 50 syncs x 5 Macs x 4 folders:\n");
    const int before = view.refreshCount();
    report("refresh, nothing changed", runs, {}, [&] { view.refresh(); });
    require(view.refreshCount() - before == runs, "every overview refresh did its work");

    int turn = 0;
    report(
        "refresh and paint after one sync's status changed", runs,
        [&] {
            FolderStatus &status = rig.engine.state.folderStatuses[engineID(0, 0)];
            status.state = FolderState::Syncing;
            status.needBytes = 100'000 + 1000 * (++turn);
            awaitTask(rig.env->folders().refresh());
        },
        [&] {
            view.refresh();
            settle();
        });
    require(view.cards().child(QStringLiteral("sync-0"))->presentation().tone == CardTone::Syncing, "sync 0 syncing");

    int added = 50;
    report(
        "refresh and paint after a sync was added", std::min(runs, 20),
        [&] { rig.env->projects().add(makeSync(added++, macs, 4)); },
        [&] {
            view.refresh();
            settle();
        });
    require(view.cards().ids().size() == added, "a card per sync");
}

void benchPage(int runs)
{
    QStringList macs;
    for (int i = 0; i < 9; ++i)
        macs.append(madeUpDeviceID(char('A' + i)));
    const QList<Project> projects{makeSync(0, macs, 30)};
    ViewEnvironment rig(projects);
    stateFor(rig.engine, projects, macs);
    loadState(rig);
    NavigationPath path;
    path.setIDs({QStringLiteral("sync-0")});
    std::printf("Sync page, 10 Macs x 30 folders (placeholder cards and chips):\n");
    std::unique_ptr<ProjectView> page;
    report(
        "made, shown and painted", std::min(runs, 20), [&] { page.reset(); },
        [&] {
            page = std::make_unique<ProjectView>(*rig.env, path, QStringLiteral("sync-0"));
            page->resize(1100, 900);
            page->show();
            settle();
        });
    require(page->folderIDs().size() == 30 && page->deviceIDs().size() == 10, "every Mac and folder");
    const int before = page->refreshCount();
    report("refresh, nothing changed", runs, {}, [&] { page->refresh(); });
    require(page->refreshCount() - before == runs, "every page refresh did its work");
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    benchOverview(runs);
    benchPage(runs);
    return 0;
}
