// One sync against a real Syncthing for this Mac and another for the
// always-on node: what only Syncthing decides about folders and sharing.

#include "projects/ProjectController.h"

#include "AwaitTask.h"
#include "MemoryKeychain.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace tw {
namespace {

const QString kMember = "AAABRBR-6BRDF5P-3SBAR2D-C3FT7EX-DBBS5CA-A7Q5QDT-46CR4SR-342TQAU";

class ProjectsIntegrationTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        mac = std::make_unique<SyncthingInstance>();
        node = std::make_unique<SyncthingInstance>();
        mac->start();
        node->start();
    }
    static void TearDownTestSuite()
    {
        mac.reset();
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
    static QStringList sorted(QStringList ids)
    {
        ids.sort();
        return ids;
    }

    static inline std::unique_ptr<SyncthingInstance> mac;
    static inline std::unique_ptr<SyncthingInstance> node;
    QTemporaryDir dir;
    MemoryKeychain keychain;
    Sleeper instant = [](std::chrono::milliseconds) -> QCoro::Task<void> { co_return; };
};

TEST_F(ProjectsIntegrationTest, ASyncReachesTheEngineAndTheNodeAndKeepsTheUsersPause)
{
    const std::unique_ptr<SyncthingEngine> engine = mac->startedEngine();
    NasNodeController nodes(keychain, AppPaths(dir.path() + "/nodes"), instant);
    ASSERT_TRUE(awaitTask(nodes.configure(node->baseURL().toString(), node->apiKey(), "Attic")));
    // Folders made on the node would otherwise go under /var/syncthing.
    ASSERT_TRUE(node->request("PATCH", "/rest/config/defaults/folder",
                              R"({"path":")" + dir.path().toUtf8() + R"(/on-node"})", node->apiKey()).ok());
    ProjectController projects(*engine, AppPaths(dir.path() + "/app"), systemClock(), instant);
    projects.setNasNode(&nodes);
    const QString me = mac->deviceID();
    const QString nodeID = node->deviceID();

    projects.add({.id = "S", .name = "Film"});
    awaitTask(projects.addMember("S", me, "Me", MemberRole::Editor, true, std::nullopt));
    awaitTask(projects.addMember("S", kMember, "Nina", MemberRole::Editor, false, std::nullopt));
    QDir().mkpath(dir.path() + "/footage");
    const QString folderID = awaitTask(projects.addFolder("S", dir.path() + "/footage", "Footage", true)).value();
    const QString stID = projects.folderOf("S", folderID)->syncthingFolderID.value();
    EXPECT_TRUE(stID.startsWith("tdw-") && stID.size() == 12) << stID.toStdString();
    const QJsonObject folder = mac->get("/rest/config/folders/" + stID).json().object();
    EXPECT_EQ(folder["label"], u"Film \u2014 Footage"_qs);
    EXPECT_EQ(folder["versioning"]["type"].toString() + folder["versioning"]["params"]["cleanoutDays"].toString(),
              "trashcan0");
    EXPECT_EQ(devicesOf(*mac, stID), sorted({me, kMember, nodeID}));
    EXPECT_EQ(devicesOf(*node, stID), sorted({me, kMember, nodeID}));
    EXPECT_EQ(projects.lastErrorMessage(), std::nullopt);

    awaitTask(projects.setFolderDeviceState("S", folderID, kMember, true, false));
    EXPECT_EQ(devicesOf(*mac, stID), sorted({me, nodeID}));
    awaitTask(projects.setFolderDeviceState("S", folderID, kMember, false, false));
    EXPECT_EQ(devicesOf(*mac, stID), sorted({me, kMember, nodeID}));

    awaitTask(engine->setDevicePaused(nodeID, true));
    awaitTask(projects.reconcileAll());
    EXPECT_EQ(mac->get("/rest/config/devices/" + nodeID).json()["paused"], true);
    EXPECT_EQ(projects.lastReconcileSummary(), u"0 folders created, +0/\u22120 shares"_qs);
}

} // namespace
} // namespace tw
