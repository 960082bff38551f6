// Two Macs and an always-on node, all real Syncthing instances on loopback,
// sharing one team key: what only Syncthing decides about the team folder.

#include "app/AppPreferences.h"
#include "app/TeamPropagation.h"
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
    explicit Mac(SyncthingInstance &instance) : st(instance), engine(instance.startedEngine()) {}
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

QStringList sortedIDs(const QJsonArray &entries, const QString &field)
{
    QStringList ids;
    for (const QJsonValue &entry : entries)
        ids.append(entry[field].toString());
    ids.sort();
    return ids;
}

TEST(TeamPropagationIntegrationTest, ChoicesEditsAndMembersTravelAndOldTeamFoldersGo)
{
    SyncthingInstance a, b, node;
    for (SyncthingInstance *instance : {&a, &b, &node}) {
        instance->start();
        instance->request("PATCH", "/rest/config/options", R"({"reconnectionIntervalS":2})", instance->apiKey());
    }
    a.pairWith(b);
    a.pairWith(node);
    b.pairWith(node);
    Mac macA(a);
    Mac macB(b);
    for (Mac *mac : {&macA, &macB}) {
        ASSERT_TRUE(awaitTask(mac->nodes.configure(node.baseURL().toString(), node.apiKey(), "Attic")));
        mac->projects.setNasNode(&mac->nodes);
        awaitTask(mac->devices.refresh());
        mac->preferences.setClusterSyncEnabled(true);
        mac->keychain.items.insert(NasNodeController::clusterSecretAccount, "team-one");
    }
    ASSERT_TRUE(node.request("PATCH", "/rest/config/defaults/folder",
                             R"({"path":")" + node.root().toUtf8() + R"(/on-node"})", node.apiKey()).ok());
    // Both Macs hold the sync's three folders under the same engine IDs.
    Project sync{.id = "S", .members = {{.deviceID = a.deviceID()}, {.deviceID = b.deviceID()}}};
    for (const QString id : {"f", "g", "h"})
        sync.folders.append({.id = id, .label = id, .localPath = a.putFolder(id), .syncthingFolderID = id});
    macA.projects.add(sync);
    for (ProjectFolder &folder : sync.folders)
        folder.localPath = b.putFolder(folder.id);
    macB.projects.add(sync);
    for (Mac *mac : {&macA, &macB}) {
        awaitTask(mac->projects.addMember("S", kC, "C", MemberRole::Editor, false, std::nullopt));
        awaitTask(mac->team.applyClusterSync());
        mac->team.installMembershipHook();
    }
    const QString key = ClusterConfig::clusterFolderID("team-one");
    QStringList all{a.deviceID(), b.deviceID(), node.deviceID(), kC};
    all.sort();
    for (SyncthingInstance *instance : {&a, &b, &node})
        EXPECT_EQ(sortedIDs(instance->get("/rest/config/folders/" + key).json()["devices"].toArray(), "deviceID"), all);
    EXPECT_EQ(a.get("/rest/config/folders/" + key).json()["path"], macA.paths.clusterFolder());

    bool sawConflict = false;
    // The polling loop's team step on both Macs, each team folder scanned
    // when its files changed, until the condition holds.
    const auto poll = [&](const std::function<bool()> &done) {
        return waitUntil([&] {
            for (Mac *mac : {&macA, &macB}) {
                const QDir dir(mac->paths.clusterFolder());
                sawConflict = sawConflict || !dir.entryList({"cluster.sync-conflict-*"}).isEmpty();
                awaitTask(mac->team.syncCluster());
                const QByteArray files = dir.entryList(QDir::Files).join("|").toUtf8() +
                                         SyncthingInstance::readFile(dir.filePath("cluster.json"));
                if (std::exchange(mac->scanned, files) != files)
                    mac->st.request("POST", "/rest/db/scan?folder=" + key, {}, mac->st.apiKey());
            }
            return done();
        }, 120000);
    };
    // A choice sent right before the other Mac is killed reaches its syncs
    // and engine once it restarts, and no cell is lost.
    const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    macA.team.clusterStore()->recordEdit("f", kC, CellState::Excluded, now);
    a.request("POST", "/rest/db/scan?folder=" + key, {}, a.apiKey());
    const ClusterConfig expected = macA.record();
    const QList<pid_t> monitorAndChild = SyncthingSweep::processesServing(b.home());
    ASSERT_EQ(monitorAndChild.size(), 2);
    for (const pid_t pid : monitorAndChild)
        ::kill(pid, SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return !b.isRunning(); }, 30000));
    awaitTask(macB.engine->start());
    ASSERT_TRUE(poll([&] {
        return macA.record() == expected && macB.record() == expected &&
               macB.projects.folderOf("S", "f")->excludedDeviceIDs.contains(kC);
    }));
    EXPECT_FALSE(b.get("/rest/config/folders/f").body.contains(kC.toUtf8()));

    // Edits made while the link is down meet as a conflict copy, merged on both.
    for (const QString &peer : {b.deviceID(), node.deviceID()})
        awaitTask(macA.engine->setDevicePaused(peer, true));
    macA.team.clusterStore()->recordEdit("g", kC, CellState::Paused, now);
    macB.team.clusterStore()->recordEdit("h", kC, CellState::Excluded, now);
    for (Mac *mac : {&macA, &macB})
        mac->st.request("POST", "/rest/db/scan?folder=" + key, {}, mac->st.apiKey());
    for (const QString &peer : {b.deviceID(), node.deviceID()})
        awaitTask(macA.engine->setDevicePaused(peer, false));
    ASSERT_TRUE(poll([&] {
        return macA.record() == macB.record() && macA.record().folders["g"].contains(kC) &&
               macA.record().folders["h"].contains(kC) &&
               QDir(macA.paths.clusterFolder()).entryList({"cluster.sync-conflict-*"}).isEmpty() &&
               QDir(macB.paths.clusterFolder()).entryList({"cluster.sync-conflict-*"}).isEmpty();
    }));
    EXPECT_TRUE(sawConflict);

    // A member change is recorded on every folder of its sync under consecutive counters.
    awaitTask(macA.projects.removeMember("S", kC));
    const auto counter = [&](const QString &folderID) { return macA.record().folders[folderID][kC].lamport; };
    EXPECT_EQ(counter("g"), counter("f") + 1);
    EXPECT_EQ(counter("h"), counter("f") + 2);

    // Another key replaces the team folder; switching off removes it, here and on the node.
    const auto teamFolders = [](SyncthingInstance &instance) {
        return sortedIDs(instance.get("/rest/config/folders").json().array(), "id").filter("tdw-cluster-");
    };
    macA.keychain.items.insert(NasNodeController::clusterSecretAccount, "team-two");
    awaitTask(macA.team.applyClusterSync());
    EXPECT_EQ(teamFolders(a), QStringList(ClusterConfig::clusterFolderID("team-two")));
    macA.preferences.setClusterSyncEnabled(false);
    awaitTask(macA.team.applyClusterSync());
    EXPECT_EQ(teamFolders(a) + teamFolders(node), QStringList());
}

} // namespace
} // namespace tw
