// What the Mac cards, folder chips and the folder inspector of one sync's
// page cost on the main thread, on the fake engine (nothing leaves the
// process): 10 Macs x 30 folders, all cards and chips plus one folder
// inspector, as the sync page holds them.
// - one refresh of all of them with nothing changed;
// - one refresh after one folder's status changed, with the repaint;
// - a click's inspector: made, shown, refreshed and painted (the pattern
//   read answered at once by the fake engine);
// - ignore-pattern reads per inspector shown and per refresh.
//
//   sync_page_parts [refreshes]

#include "app/AppEnvironment.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "projects/ProjectController.h"
#include "views/syncpage/DeviceCard.h"
#include "views/syncpage/FolderChip.h"
#include "views/syncpage/FolderInspector.h"

#include "AwaitTask.h"
#include "BenchSupport.h"
#include "MadeUpDeviceID.h"
#include "ViewEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

using namespace tw;
using namespace tw::bench;

constexpr int kMacs = 10;
constexpr int kFolders = 30;

double threadMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

QString engineID(int i)
{
    return QStringLiteral("tdw-%1").arg(i, 8, 16, QLatin1Char('0'));
}

Project sync(const QStringList &macs, const QString &root)
{
    Project project{.id = QStringLiteral("S"), .name = QStringLiteral("Studio"), .colorHex = {}, .members = {},
                    .folders = {}, .createdAt = {}};
    for (const QString &mac : macs)
        project.members.append(ProjectMember{.deviceID = mac, .displayName = mac.left(7)});
    for (int i = 0; i < kFolders; ++i) {
        ProjectFolder folder;
        folder.id = QStringLiteral("folder-%1").arg(i);
        folder.label = QStringLiteral("Folder %1").arg(i);
        folder.localPath = root + QStringLiteral("/f%1").arg(i);
        QDir(root).mkpath(QStringLiteral("f%1").arg(i));
        folder.syncthingFolderID = engineID(i);
        project.folders.append(folder);
    }
    return project;
}

void printFigures(const char *title, std::vector<double> spent)
{
    std::sort(spent.begin(), spent.end());
    double sum = 0;
    for (double ms : spent)
        sum += ms;
    std::printf("%s, %zu runs:\n  mean %.4f ms, median %.4f ms, 99th percentile %.4f ms, max %.4f ms\n", title,
                spent.size(), sum / double(spent.size()), spent[spent.size() / 2], spent[spent.size() * 99 / 100],
                spent.back());
}

void benchSyncPage(int refreshes)
{
    QStringList macs;
    for (int i = 0; i < kMacs - 1; ++i)
        macs.append(madeUpDeviceID(char('A' + i)));
    QTemporaryDir root;
    ViewEnvironment rig({sync(macs, root.path())});
    FakeSyncEngine &engine = rig.engine;
    engine.state.running = true;
    bench::addConnectedMacs(engine, macs);
    for (int i = 0; i < kFolders; ++i) {
        const QString id = engineID(i);
        engine.state.folders.append(SyncFolder{.id = id, .label = id, .path = root.path() + QStringLiteral("/f%1").arg(i),
                                               .sharedDeviceIDs = macs});
        engine.state.folderStatuses[id] = FolderStatus{.id = id, .state = FolderState::Idle, .completion = 1,
                                                       .globalBytes = 1'000'000, .localBytes = 1'000'000};
        engine.state.ignores[id] = {QStringLiteral(".*"), QStringLiteral("*.tmp")};
    }
    awaitTask(rig.env->engineState().refreshStatus());
    awaitTask(rig.env->folders().refresh());
    awaitTask(rig.env->devices().refresh());
    const QString local = rig.env->devices().localDeviceID();

    QWidget page;
    auto *column = new QVBoxLayout(&page);
    auto *grid = new QGridLayout;
    column->addLayout(grid);
    std::vector<DeviceCard *> cards;
    std::vector<FolderChip *> chips;
    QStringList deviceIDs{local};
    deviceIDs.append(macs);
    for (int i = 0; i < deviceIDs.size(); ++i) {
        cards.push_back(new DeviceCard(*rig.env, QStringLiteral("S"), deviceIDs[i]));
        grid->addWidget(cards.back(), i / 3, i % 3);
    }
    for (int i = 0; i < kFolders; ++i) {
        chips.push_back(new FolderChip(*rig.env, QStringLiteral("S"), QStringLiteral("folder-%1").arg(i)));
        grid->addWidget(chips.back(), 4 + i / 3, i % 3);
    }
    auto *inspector = new FolderInspector(*rig.env, QStringLiteral("S"), QStringLiteral("folder-0"));
    column->addWidget(inspector);
    page.resize(1100, 2200);
    page.show();
    QCoreApplication::processEvents();
    const int readsAtShow = engine.callCount(QStringLiteral("ignorePatterns"));

    const auto refreshAll = [&] {
        for (DeviceCard *card : cards)
            card->refresh();
        for (FolderChip *chip : chips)
            chip->refresh();
        inspector->refresh();
    };
    std::vector<double> unchanged;
    for (int i = 0; i < refreshes; ++i) {
        const double start = threadMs();
        refreshAll();
        unchanged.push_back(threadMs() - start);
    }
    require(engine.callCount(QStringLiteral("ignorePatterns")) == readsAtShow, "no pattern read per refresh");

    std::vector<double> changed;
    for (int i = 0; i < refreshes; ++i) {
        engine.state.folderStatuses[engineID(0)].needBytes = (i % 2) ? 0 : 400'000;
        engine.state.folderStatuses[engineID(0)].state = (i % 2) ? FolderState::Idle : FolderState::Syncing;
        awaitTask(rig.env->folders().refreshStatuses());
        QCoreApplication::processEvents();
        const double start = threadMs();
        refreshAll();
        // Only what the refresh marked dirty is painted.
        QCoreApplication::processEvents();
        changed.push_back(threadMs() - start);
    }

    std::vector<double> clicks;
    const int readsBefore = engine.callCount(QStringLiteral("ignorePatterns"));
    const int opened = std::min(refreshes, 200);
    for (int i = 0; i < opened; ++i) {
        const double start = threadMs();
        auto *shown = new FolderInspector(*rig.env, QStringLiteral("S"), QStringLiteral("folder-%1").arg(i % kFolders));
        column->addWidget(shown);
        shown->show();
        shown->refresh();
        shown->repaint();
        clicks.push_back(threadMs() - start);
        delete shown;
    }
    QCoreApplication::processEvents();

    std::printf("Sync page parts: %d Macs x %d folders (%zu cards, %zu chips, one folder inspector)\n", kMacs,
                kFolders, cards.size(), chips.size());
    printFigures("Refresh of every card, chip and the inspector, nothing changed", unchanged);
    printFigures("Refresh after one folder's status changed, repaint included", changed);
    printFigures("A folder inspector made, shown, refreshed and painted", clicks);
    std::printf("Ignore-pattern reads: %d at the first show, %d for %d inspectors shown, 0 in %d refreshes\n",
                readsAtShow, engine.callCount(QStringLiteral("ignorePatterns")) - readsBefore, opened,
                2 * refreshes);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int refreshes = argc > 1 ? std::max(10, std::atoi(argv[1])) : 1000;
    benchSyncPage(refreshes);
    return 0;
}
