// The team folder's rules against the fake engine; what only Syncthing
// decides is in TeamPropagationIntegrationTest.

#include "app/AppPreferences.h"
#include "cluster/TeamPropagation.h"
#include "controllers/DeviceController.h"
#include "projects/ProjectController.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "FakeHttpServer.h"
#include "FakeSyncEngine.h"
#include "MemoryKeychain.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

const QString kStale = "tdw-cluster-0123456789abcdef";

// The node list is read when the node controller is made: written first.
struct Rig
{
    explicit Rig(const QString &nodeURL = {}) : nodeListed(listNode(nodeURL)) {}
    bool listNode(const QString &url)
    {
        keychain.items.insert(NasNodeController::keyAccount("N1"), "k");
        if (!url.isEmpty())
            SyncthingInstance::writeFile(dir.path() + "/nasnodes.json", NasNode::listToFile({{url, "N1", "Attic"}}));
        return !url.isEmpty();
    }
    QTemporaryDir dir;
    MemoryKeychain keychain;
    bool nodeListed;
    FakeSyncEngine engine;
    UserDefaults defaults{dir.filePath("defaults.json")};
    AppPreferences preferences{defaults};
    NasNodeController nodes{keychain, AppPaths(dir.path())};
    DeviceController devices{engine};
    ProjectController projects{engine, AppPaths(dir.path()), defaults};
    TeamPropagation team{engine, devices, projects, preferences, nodes, keychain, AppPaths(dir.path())};
};

TEST(TeamPropagationTest, TheTeamFolderFollowsTheSettingTheKeyAndThePeers)
{
    const QString current = ClusterConfig::clusterFolderID("team");
    struct Row
    {
        bool enabled;
        QString key;
        bool node, known, locked;
        int failedListing; // the n-th folder listing fails
        QStringList after; // "id:shared devices"; K stands for the current key's folder
    } rows[] = {
        {true, "", false, true, false, 0, {"tdw-a1:L"}},
        {false, "team", false, true, false, 0, {"tdw-a1:L"}},
        {true, "team", false, true, false, 0, {"K:L,P", "tdw-a1:L"}},
        {true, "team", true, true, false, 0, {"K:L,N1,P", "tdw-a1:L"}},
        {true, "team", false, true, false, 2, {"K:L", "K:L,P", "tdw-a1:L"}},
        {true, "team", false, false, false, 0, {"K:L,OLD", "tdw-a1:L", kStale + ":L,OLD"}},
        {true, "team", false, true, true, 0, {"K:L,OLD", "tdw-a1:L", kStale + ":L,OLD"}},
    };
    for (const Row &row : rows) {
        FakeHttpServer server;
        ASSERT_TRUE(server.listen());
        Rig rig(row.node ? server.baseURL().toString() : QString());
        rig.engine.state.localDeviceID = "L";
        for (const QString &id : {current, kStale, QString("tdw-a1")}) {
            SyncFolder folder;
            folder.id = id;
            folder.sharedDeviceIDs = id == "tdw-a1" ? QStringList{"L"} : QStringList{"L", "OLD"};
            rig.engine.state.folders.append(folder);
        }
        rig.projects.add({.id = "S", .members = {{.deviceID = "L"}, {.deviceID = "P"}}});
        rig.preferences.setClusterSyncEnabled(row.enabled);
        rig.keychain.items.insert(NasNodeController::clusterSecretAccount, row.key);
        rig.keychain.unavailable = row.locked;
        if (row.known)
            awaitTask(rig.devices.refresh());
        if (row.failedListing)
            rig.engine.failNext("folders", SyncEngineError::notRunning(), row.failedListing);
        int errors = 0;
        QObject::connect(&rig.team, &TeamPropagation::lastErrorMessageChanged, [&errors] { ++errors; });
        for (int i = 0; i < 2; ++i)
            awaitTask(rig.team.applyClusterSync());
        QStringList after;
        for (const SyncFolder &folder : rig.engine.state.folders)
            after.append(QString(folder.id).replace(current, "K") + ":" + folder.sharedDeviceIDs.join(","));
        after.sort();
        EXPECT_EQ(after, row.after) << row.key.toStdString() << row.failedListing;
        EXPECT_EQ(errors, row.locked ? 1 : 0);
        EXPECT_EQ(rig.team.clusterStore() != nullptr, row.enabled && !row.key.isEmpty() && row.known && !row.locked);
        QStringList deletes;
        for (const FakeHttpServer::Request &request : server.requests())
            if (request.method == "DELETE")
                deletes.append(request.path());
        EXPECT_EQ(deletes, row.node ? QStringList{"/rest/config/folders/" + kStale} : QStringList());
        EXPECT_TRUE(row.node || server.requests().isEmpty());
        if (!row.known)
            awaitTask(rig.devices.refresh());
        EXPECT_TRUE(row.known || waitUntil([&] { return rig.team.clusterStore() != nullptr; }));
    }
}

TEST(TeamPropagationTest, RequestsDuringARunCoalesceAndAStoreIsPublishedReloaded)
{
    Rig rig;
    rig.engine.state.localDeviceID = "L";
    awaitTask(rig.devices.refresh());
    rig.preferences.setClusterSyncEnabled(true);
    rig.keychain.items.insert(NasNodeController::clusterSecretAccount, "team");
    const QString clusterID = ClusterConfig::clusterFolderID("team").mid(12);
    ClusterConfigStore(AppPaths(rig.dir.path()).clusterFolder(), clusterID, "L", "team")
        .recordEdit("tdw-a1", "P", CellState::Paused, "2026-01-01T00:00:00Z");
    qsizetype cellsWhenPublished = -1;
    QObject::connect(&rig.team, &TeamPropagation::clusterStoreChanged,
                     [&] { cellsWhenPublished = rig.team.clusterStore()->config().folders.size(); });
    rig.engine.hold("folders");
    QCoro::Task<void> first = rig.team.applyClusterSync();
    for (int i = 0; i < 2; ++i)
        awaitTask(rig.team.applyClusterSync());
    rig.engine.release("folders");
    awaitTask(std::move(first));
    EXPECT_EQ(rig.engine.callCount("folders"), 6);
    EXPECT_EQ(cellsWhenPublished, 1);
}

} // namespace
} // namespace tw
