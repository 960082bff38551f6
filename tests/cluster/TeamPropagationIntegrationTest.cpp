// Two Macs and an always-on node, all real Syncthing instances on loopback,
// sharing one team key: what only Syncthing decides about the team folder.

#include "app/AppPreferences.h"
#include "cluster/TeamPropagation.h"
#include "controllers/DeviceController.h"
#include "engine/syncthing/process/SyncthingSweep.h"
#include "projects/ProjectController.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "MemoryKeychain.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QDir>
#include <QJsonArray>
#include <csignal>
#include <gtest/gtest.h>

namespace tw {
namespace {

const QString kC = "AAABRBR-6BRDF5P-3SBAR2D-C3FT7EX-DBBS5CA-A7Q5QDT-46CR4SR-342TQAU";

// One Mac of the team as the application environment assembles it.
struct Mac
{
    explicit Mac(SyncthingInstance &instance) : st(instance), engine(instance.startedEngine())
    {
        projects.setNasNode(&nodes);
    }
    SyncthingInstance &st;
    std::unique_ptr<SyncthingEngine> engine;
    AppPaths paths{st.root() + "/app"};
    UserDefaults defaults{st.root() + "/defaults.json"};
    AppPreferences preferences{defaults};
    MemoryKeychain keychain;
    NasNodeController nodes{keychain, paths};
    DeviceController devices{*engine};
    ProjectController projects{*engine, paths, defaults};
    TeamPropagation team{*engine, devices, projects, preferences, nodes, keychain, paths};
    QByteArray scanned; // the team folder's files when last scanned
    const ClusterConfig &record() const { return team.clusterStore()->config(); }
};

class TeamPropagationIntegrationTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        for (auto *instance : {&a, &b, &node}) {
            *instance = std::make_unique<SyncthingInstance>();
            (*instance)->start();
            (*instance)->request("PATCH", "/rest/config/options", R"({"reconnectionIntervalS":2})",
                                 (*instance)->apiKey());
        }
        a->pairWith(*b);
        a->pairWith(*node);
        b->pairWith(*node);
    }
    static void TearDownTestSuite()
    {
        a.reset();
        b.reset();
        node.reset();
    }
    static QStringList devicesOf(SyncthingInstance &instance, const QString &folderID)
    {
        QStringList ids;
        for (const QJsonValue &entry : instance.get("/rest/config/folders/" + folderID).json()["devices"].toArray())
            ids.append(entry["deviceID"].toString());
        ids.sort();
        return ids;
    }
    static QStringList teamFolders(SyncthingInstance &instance)
    {
        QStringList ids;
        for (const QJsonValue &folder : instance.get("/rest/config/folders").json().array())
            ids.append(folder["id"].toString());
        return ids.filter("tdw-cluster-");
    }
    // The polling loop's team step on both Macs, each team folder scanned
    // when its files changed, until the condition holds.
    bool poll(const QString &teamFolder, const std::function<bool()> &done)
    {
        return waitUntil([&] {
            for (Mac *mac : {&*macA, &*macB}) {
                const QDir dir(mac->paths.clusterFolder());
                sawConflict = sawConflict || !dir.entryList({"cluster.sync-conflict-*"}).isEmpty();
                awaitTask(mac->team.syncCluster());
                const QByteArray files = dir.entryList(QDir::Files).join("|").toUtf8() +
                                         SyncthingInstance::readFile(dir.filePath("cluster.json"));
                if (std::exchange(mac->scanned, files) != files)
                    mac->st.request("POST", "/rest/db/scan?folder=" + teamFolder, {}, mac->st.apiKey());
            }
            return done();
        }, 120000);
    }

    static inline std::unique_ptr<SyncthingInstance> a, b, node;
    std::unique_ptr<Mac> macA, macB;
    bool sawConflict = false;
};

TEST_F(TeamPropagationIntegrationTest, ChoicesEditsAndMembersTravelAndOldTeamFoldersGo)
{
    macA = std::make_unique<Mac>(*a);
    macB = std::make_unique<Mac>(*b);
    const QString key = ClusterConfig::clusterFolderID("team-one");
    QStringList all{a->deviceID(), b->deviceID(), node->deviceID(), kC};
    all.sort();
    for (Mac *mac : {&*macA, &*macB}) {
        ASSERT_TRUE(awaitTask(mac->nodes.configure(node->baseURL().toString(), node->apiKey(), "Attic")));
        awaitTask(mac->devices.refresh());
        mac->preferences.setClusterSyncEnabled(true);
        mac->keychain.items.insert(NasNodeController::clusterSecretAccount, "team-one");
    }
    ASSERT_TRUE(node->request("PATCH", "/rest/config/defaults/folder",
                              R"({"path":")" + node->root().toUtf8() + R"(/on-node"})", node->apiKey()).ok());
    // B holds A's three folders under A's engine IDs, as if it had taken A's offers.
    Project sync{.id = "S", .members = {{.deviceID = a->deviceID()}, {.deviceID = b->deviceID()}}};
    for (const QString f : {"f", "g", "h"}) {
        QDir().mkpath(a->root() + "/" + f);
        sync.folders.append({.id = f, .label = f, .localPath = a->root() + "/" + f});
    }
    macA->projects.add(sync);
    awaitTask(macA->projects.reconcileAll());
    QStringList ids;
    for (ProjectFolder &folder : sync.folders) {
        ids.append(macA->projects.folderOf("S", folder.id)->syncthingFolderID.value());
        folder.syncthingFolderID = ids.last();
        folder.localPath = b->putFolder(ids.last());
    }
    macB->projects.add(sync);
    for (Mac *mac : {&*macA, &*macB}) {
        awaitTask(mac->projects.addMember("S", kC, "C", MemberRole::Editor, false, std::nullopt));
        awaitTask(mac->team.applyClusterSync());
        mac->team.installMembershipHook();
    }
    for (SyncthingInstance *instance : {&*a, &*b, &*node})
        EXPECT_EQ(devicesOf(*instance, key), all);
    EXPECT_EQ(a->get("/rest/config/folders/" + key).json()["path"], macA->paths.clusterFolder());

    // A Mac's choice reaches the other Mac's syncs and engine.
    const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    ASSERT_EQ(awaitTask(macA->projects.setFolderDeviceState("S", "f", kC, true, false)), ids[0]);
    macA->team.clusterStore()->recordEdit(ids[0], kC, CellState::Excluded, now);
    ASSERT_TRUE(poll(key, [&] { return macB->projects.folderOf("S", "f")->excludedDeviceIDs.contains(kC); }));
    EXPECT_FALSE(devicesOf(*b, ids[0]).contains(kC));

    // Edits made while the link is down meet as a conflict copy, merged on both.
    for (const QString &peer : {b->deviceID(), node->deviceID()})
        awaitTask(macA->engine->setDevicePaused(peer, true));
    macA->team.clusterStore()->recordEdit(ids[1], kC, CellState::Paused, now);
    macB->team.clusterStore()->recordEdit(ids[2], kC, CellState::Excluded, now);
    for (Mac *mac : {&*macA, &*macB})
        mac->st.request("POST", "/rest/db/scan?folder=" + key, {}, mac->st.apiKey());
    for (const QString &peer : {b->deviceID(), node->deviceID()})
        awaitTask(macA->engine->setDevicePaused(peer, false));
    ASSERT_TRUE(poll(key, [&] {
        return macA->record() == macB->record() && macA->record().folders[ids[2]].contains(kC) &&
               macA->record().folders[ids[1]].contains(kC) &&
               QDir(macA->paths.clusterFolder()).entryList({"cluster.sync-conflict-*"}).isEmpty() &&
               QDir(macB->paths.clusterFolder()).entryList({"cluster.sync-conflict-*"}).isEmpty();
    }));
    EXPECT_TRUE(sawConflict);

    // A member change is recorded on every folder of its sync.
    awaitTask(macA->projects.removeMember("S", kC));
    QList<qint64> counters;
    // Consecutive values less their position are all equal.
    for (const QString &f : ids)
        counters.append(macA->record().folders[f][kC].lamport - counters.size());
    EXPECT_EQ(counters, QList<qint64>(3, counters.first()));

    // A Mac killed right after the other's edit went out loses nothing.
    macA->team.clusterStore()->recordEdit(ids[0], kC, CellState::Active, now);
    a->request("POST", "/rest/db/scan?folder=" + key, {}, a->apiKey());
    const ClusterConfig expected = macA->record();
    const QList<pid_t> monitorAndChild = SyncthingSweep::processesServing(b->home());
    ASSERT_EQ(monitorAndChild.size(), 2);
    for (const pid_t pid : monitorAndChild)
        ::kill(pid, SIGKILL);
    ASSERT_TRUE(waitUntil([] { return !b->isRunning(); }, 30000));
    awaitTask(macB->engine->start());
    EXPECT_TRUE(poll(key, [&] { return macA->record() == expected && macB->record() == expected; }));

    // Another key replaces the team folder; switching off removes it, here and on the node.
    macA->keychain.items.insert(NasNodeController::clusterSecretAccount, "team-two");
    awaitTask(macA->team.applyClusterSync());
    const QString second = ClusterConfig::clusterFolderID("team-two");
    EXPECT_EQ(teamFolders(*a), QStringList(second));
    EXPECT_FALSE(teamFolders(*node).contains(key));
    macA->preferences.setClusterSyncEnabled(false);
    awaitTask(macA->team.applyClusterSync());
    EXPECT_EQ(teamFolders(*a), QStringList());
    EXPECT_FALSE(teamFolders(*node).contains(second));
    EXPECT_EQ(macA->team.clusterStore(), nullptr);
}

} // namespace
} // namespace tw
