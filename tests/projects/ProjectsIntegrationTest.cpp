// One sync against a real Syncthing for this Mac and another for the
// always-on node: what only Syncthing decides about folders and sharing.

#include "projects/ProjectController.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "MemoryKeychain.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"

#include <QDir>
#include <QJsonArray>
#include <gtest/gtest.h>

namespace tw {
namespace {

const Sleeper kInstant = [](std::chrono::milliseconds) -> QCoro::Task<void> { co_return; };
const QString kMember = "AAABRBR-6BRDF5P-3SBAR2D-C3FT7EX-DBBS5CA-A7Q5QDT-46CR4SR-342TQAU";

class ProjectsIntegrationTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        for (auto *instance : {&mac, &node}) {
            *instance = std::make_unique<SyncthingInstance>();
            (*instance)->start();
        }
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

    static inline std::unique_ptr<SyncthingInstance> mac;
    static inline std::unique_ptr<SyncthingInstance> node;
    QTemporaryDir dir;
    MemoryKeychain keychain;
};

TEST_F(ProjectsIntegrationTest, ASyncReachesTheEngineAndTheNodeAndKeepsTheUsersPause)
{
    const std::unique_ptr<SyncthingEngine> engine = mac->startedEngine();
    NasNodeController nodes(keychain, AppPaths(dir.path() + "/nodes"), kInstant);
    ASSERT_TRUE(awaitTask(nodes.configure(node->baseURL().toString(), node->apiKey(), "Attic")));
    // Folders made on the node would otherwise go under /var/syncthing.
    ASSERT_TRUE(node->request("PATCH", "/rest/config/defaults/folder",
                              R"({"path":")" + dir.path().toUtf8() + R"(/on-node"})", node->apiKey()).ok());
    UserDefaults defaults(dir.filePath("defaults.json"));
    ProjectController projects(*engine, AppPaths(dir.path() + "/app"), defaults, systemClock(), kInstant);
    projects.setNasNode(&nodes);
    QStringList all{mac->deviceID(), kMember, node->deviceID()};

    projects.add({.id = "S", .name = "Film"});
    awaitTask(projects.addMember("S", mac->deviceID(), "Me", MemberRole::Editor, true, std::nullopt));
    awaitTask(projects.addMember("S", kMember, "Nina", MemberRole::Editor, false, std::nullopt));
    QDir().mkpath(dir.path() + "/footage");
    const QString folderID = awaitTask(projects.addFolder("S", dir.path() + "/footage", "Footage", true)).value();
    const QString stID = projects.folderOf("S", folderID)->syncthingFolderID.value();
    EXPECT_TRUE(stID.startsWith("tdw-")) << stID.toStdString();
    const QJsonDocument folder = mac->get("/rest/config/folders/" + stID).json();
    EXPECT_EQ(folder["label"], u"Film \u2014 Footage"_qs);
    EXPECT_EQ(folder["versioning"]["type"].toString() + folder["versioning"]["params"]["cleanoutDays"].toString(),
              "trashcan0");
    all.sort();
    EXPECT_EQ(devicesOf(*mac, stID), all);
    EXPECT_EQ(devicesOf(*node, stID), all);

    awaitTask(projects.setFolderDeviceState("S", folderID, kMember, true, false));
    EXPECT_FALSE(devicesOf(*mac, stID).contains(kMember));
    awaitTask(projects.setFolderDeviceState("S", folderID, kMember, false, false));
    EXPECT_TRUE(devicesOf(*mac, stID).contains(kMember));

    awaitTask(engine->setDevicePaused(node->deviceID(), true));
    awaitTask(projects.reconcileAll());
    EXPECT_EQ(mac->get("/rest/config/devices/" + node->deviceID()).json()["paused"], true);
    EXPECT_EQ(projects.lastErrorMessage(), std::nullopt);
}

} // namespace
} // namespace tw
