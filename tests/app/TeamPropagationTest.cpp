// The team folder's rules against the fake engine, with no node listed; what
// a node and only Syncthing decide is in TeamPropagationIntegrationTest.

#include "app/AppPreferences.h"
#include "app/TeamPropagation.h"
#include "controllers/DeviceController.h"
#include "projects/ProjectController.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "DrainGlobalPool.h"
#include "FakeSyncEngine.h"
#include "MemoryKeychain.h"
#include "QtPrinters.h"
#include "WaitUntil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tw {
namespace {

const QString kStale = "tdw-cluster-0123456789abcdef";

TEST(TeamPropagationTest, TheTeamFolderFollowsTheSettingTheKeyAndThePeersOneRunAtATime)
{
    const QString current = ClusterConfig::clusterFolderID("team");
    struct Row
    {
        bool enabled;
        QString key;
        bool known, locked;
        // the n-th folder listing fails; listings while two more runs are asked for during the first
        int failedListing, listings;
        int cellsWhenPublished; // -1: no store is published
        QStringList after;      // "id:shared devices", " paused" when so; K stands for the current key's folder
        bool allPaused = false;  // "Pause all" holds
        bool foundPaused = false; // the current key's folder, as a process that ended half-way left it
    } rows[] = {
        {true, "", true, false, 0, 2, -1, {"tdw-a1:L"}},
        {false, "team", true, false, 0, 2, -1, {"tdw-a1:L"}},
        {true, "team", true, false, 0, 6, 1, {"K:L,P", "tdw-a1:L"}},
        {true, "team", true, false, 2, 6, 1, {"K:L", "K:L,P", "tdw-a1:L"}},
        {true, "team", false, false, 0, 0, -1, {"K:L,OLD", "tdw-a1:L", kStale + ":L,OLD"}},
        {true, "team", true, true, 0, 0, -1, {"K:L,OLD", "tdw-a1:L", kStale + ":L,OLD"}},
        // "Pause all" holds for the team folder, found or made.
        {true, "team", true, false, 0, 6, 1, {"K:L,P paused", "tdw-a1:L"}, true, false},
        {true, "team", true, false, 2, 6, 1, {"K:L paused", "K:L,P paused", "tdw-a1:L"}, true, false},
        {true, "team", true, false, 0, 6, 1, {"K:L,P", "tdw-a1:L"}, false, true},
    };
    for (const Row &row : rows) {
        QTemporaryDir dir;
        const DrainGlobalPool drained;
        MemoryKeychain keychain;
        FakeSyncEngine engine;
        UserDefaults defaults{dir.filePath("defaults.json")};
        AppPreferences preferences{defaults};
        NasNodeController nodes{keychain, AppPaths(dir.path())};
        DeviceController devices{engine};
        ProjectController projects{engine, AppPaths(dir.path()), defaults};
        TeamPropagation team{engine, devices, projects, preferences, nodes, keychain, AppPaths(dir.path())};
        engine.state.localDeviceID = "L";
        for (const QString &id : {current, kStale, QString("tdw-a1")}) {
            SyncFolder folder;
            folder.id = id;
            folder.sharedDeviceIDs = id == "tdw-a1" ? QStringList{"L"} : QStringList{"L", "OLD"};
            folder.isPaused = id == current && row.foundPaused;
            engine.state.folders.append(folder);
        }
        projects.add({.id = "S", .members = {{.deviceID = "L"}, {.deviceID = "P"}}});
        engine.runPolicy().setAllPaused(row.allPaused);
        preferences.setClusterSyncEnabled(row.enabled);
        keychain.items.insert(NasNodeController::clusterSecretAccount, row.key);
        keychain.unavailable = row.locked;
        // The team's record as found on disk, one cell in it.
        ClusterConfigStore(AppPaths(dir.path()).clusterFolder(), current.mid(12), "L", "team")
            .recordEdit("tdw-a1", "P", CellState::Paused, "2026-01-01T00:00:00Z");
        qsizetype cellsWhenPublished = -1;
        QObject::connect(&team, &TeamPropagation::clusterStoreChanged,
                         [&] { cellsWhenPublished = team.clusterStore()->config().folders.size(); });
        int errors = 0;
        QObject::connect(&team, &TeamPropagation::lastErrorMessageChanged, [&errors] { ++errors; });
        if (row.known)
            awaitTask(devices.refresh());
        if (row.failedListing)
            engine.failNext("folders", SyncEngineError::notRunning(), row.failedListing);
        engine.hold("folders");
        QCoro::Task<void> first = team.applyClusterSync();
        for (int i = 0; i < 2; ++i)
            awaitTask(team.applyClusterSync());
        engine.release("folders");
        awaitTask(std::move(first));
        EXPECT_EQ(engine.callCount("folders"), row.listings);
        QStringList after;
        for (const SyncFolder &folder : engine.state.folders)
            after.append(QString(folder.id).replace(current, "K") + ":" + folder.sharedDeviceIDs.join(",") +
                         (folder.isPaused ? " paused" : ""));
        after.sort();
        EXPECT_EQ(after, row.after) << row.key.toStdString() << row.failedListing;
        EXPECT_EQ(errors, row.locked ? 1 : 0);
        EXPECT_EQ(cellsWhenPublished, row.cellsWhenPublished);
        awaitTask(devices.refresh());
        EXPECT_TRUE(row.known || waitUntil([&] { return team.clusterStore() != nullptr; }));
    }
}

} // namespace
} // namespace tw
