// The reconcile loop, the node steps, folders and members against the fake
// engine; what only Syncthing decides is in ProjectsIntegrationTest.

#include "cluster/NasNodeController.h"

#include "AwaitTask.h"
#include "FakeHttpServer.h"
#include "MemoryKeychain.h"
#include "ProjectSupport.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QDir>
#include <gtest/gtest.h>

namespace tw {
namespace {

const SyncEngineError kDown = SyncEngineError::notRunning();

SyncFolder engineFolder(QString id, QString path, QStringList shared, QString label = "x")
{
    SyncFolder folder;
    folder.id = id;
    folder.label = label;
    folder.path = path;
    folder.sharedDeviceIDs = shared;
    folder.versioning = VersioningPolicy::trashCan(0);
    return folder;
}

// A registered always-on node "NODE" whose REST interface answers 500.
struct Node
{
    Node()
    {
        server.listen();
        server.setHandler([](const FakeHttpServer::Request &) { return FakeHttpServer::Response::text(500, "x"); });
        const QList<NasNode> nodes{{server.baseURL().toString(), "NODE", "Attic"}};
        SyncthingInstance::writeFile(dir.path() + "/nasnodes.json", NasNode::listToFile(nodes));
        keychain.items.insert(NasNodeController::keyAccount("NODE"), "k");
        controller = std::make_unique<NasNodeController>(keychain, AppPaths(dir.path()),
                                                   [](std::chrono::milliseconds) -> QCoro::Task<void> { co_return; });
    }
    QTemporaryDir dir;
    FakeHttpServer server;
    MemoryKeychain keychain;
    std::unique_ptr<NasNodeController> controller;
};

TEST(ProjectControllerTest, EachFolderIsKnownAdoptedOrCreatedAndOnlyOnce)
{
    ProjectRig rig;
    FakeSyncEngine &e = rig.engine;
    const QString me = e.state.localDeviceID, a = rig.path("a"), b = rig.path("b"), c = rig.path("c");
    for (const QString &path : {a, b, c})
        QDir().mkpath(path);
    e.state.folders = {engineFolder("plain", a, {me}), engineFolder("tdw-cluster-0123456789abcdef", a, {me}),
                       engineFolder("tdw-aaaa0001", b, {me}), engineFolder("tdw-known", "/x", {me}, u"Caf\u00e9 \u2014 K"_qs)};
    rig.controller().add({.id = "S", .name = u"Cafe\u0301"_qs,
                          .members = {{me, "me", MemberRole::Viewer, true, false}, {"M1"}},
                          .folders = {{.id = "1", .label = "A", .localPath = a},
                                      {.id = "2", .label = "B", .localPath = b, .syncthingFolderID = "tdw-gone"},
                                      {.id = "3", .label = "K", .localPath = c, .syncthingFolderID = "tdw-known"},
                                      {.id = "4", .label = "L", .localPath = c, .syncthingFolderID = "tdw-known"},
                                      {.id = "5", .label = "off", .localPath = a, .syncEnabled = false},
                                      {.id = "6", .label = "gone", .localPath = rig.path("none")}}});
    e.failNext("addFolder:ignores", SyncEngineError::backend("x"));
    awaitTask(rig.controller().reconcileAll());
    QStringList ids;
    const QList<ProjectFolder> folders = rig.controller().project("S")->folders;
    for (const ProjectFolder &folder : folders)
        ids.append(folder.syncthingFolderID.value_or("-"));
    EXPECT_EQ(ids, QStringList({"-", "tdw-aaaa0001", "tdw-known", "tdw-00000002", "-", "-"}));
    EXPECT_EQ(e.callsOf("addFolder"), QStringList({u"addFolder(<new>, Cafe\u0301 \u2014 A, "_qs + a + ", .*)",
                                                   u"addFolder(<new>, Cafe\u0301 \u2014 L, "_qs + c + ", .*)"}));
    EXPECT_EQ(e.state.folders.last().mode, FolderSyncMode::ReceiveOnly);
    EXPECT_EQ(e.callsOf("setFolderLabel"), QStringList(u"setFolderLabel(tdw-aaaa0001, Cafe\u0301 \u2014 B)"_qs));
    EXPECT_EQ(rig.controller().lastReconcileSummary(),
              u"1 folders created, +3/\u22120 shares, 1 offline skipped \u2014 \u26A0\uFE0E 1 failed"_qs);
    EXPECT_EQ(rig.controller().lastErrorMessage(), u"1 sync operation(s) failed \u2014 a teammate may not have "
                                                   u"received a folder. Check connections and try again."_qs);

    awaitTask(rig.controller().reconcileAll());
    EXPECT_EQ(rig.controller().project("S")->folders[0].syncthingFolderID, "tdw-00000001");
    EXPECT_EQ(rig.controller().lastReconcileSummary(), u"0 folders created, +1/\u22120 shares, 1 offline skipped"_qs);
    EXPECT_EQ(rig.controller().lastErrorMessage(), std::nullopt);
}

TEST(ProjectControllerTest, IntroducedDevicesStayUnlessHeldAndUnsharedOnesMustBeGone)
{
    ProjectRig rig;
    FakeSyncEngine &e = rig.engine;
    const QString me = e.state.localDeviceID;
    e.state.folders = {engineFolder("tdw-s", rig.dir.path(), {me, "I1", "I2", "P", "X"})};
    e.state.folders[0].introducedDeviceIDs = {"I1", "I2"};
    rig.controller().add({.id = "S", .name = "",
                          .members = {{me}, {"M"}, {"P"}},
                          .folders = {{.id = "f", .label = "x", .localPath = rig.dir.path(), .syncthingFolderID = "tdw-s",
                                       .excludedDeviceIDs = {"I2"}, .pausedDeviceIDs = {"P"}}}});
    e.beforeAnswer = [&e](QString operation) -> QCoro::Task<void> {
        if (operation == "folders" && e.callCount("folders") == 2)
            e.state.folders[0].sharedDeviceIDs.append("X");
        co_return;
    };
    awaitTask(rig.controller().reconcileAll());
    EXPECT_EQ(e.callsOf("shareFolder"), QStringList("shareFolder(tdw-s, M)"));
    EXPECT_EQ(e.callsOf("unshareFolder"),
              QStringList({"unshareFolder(tdw-s, I2)", "unshareFolder(tdw-s, P)", "unshareFolder(tdw-s, X)"}));
    EXPECT_EQ(rig.controller().lastReconcileSummary(), u"0 folders created, +1/\u22123 shares \u2014 \u26A0\uFE0E 1 failed"_qs);
    EXPECT_EQ(rig.controller().lastErrorMessage(),
              u"1 device(s) are still listed on a folder after being removed \u2014 they may still be receiving "
              u"files. Check connections and try again."_qs);
}

TEST(ProjectControllerTest, APassThatCannotReadTheEngineEndsWithoutSaving)
{
    for (const char *failing : {"", "folders", "localDeviceID"}) {
        ProjectRig rig;
        rig.controller().setLastErrorMessage("old");
        if (*failing)
            rig.engine.failNext(failing, kDown);
        awaitTask(rig.controller().reconcileAll());
        EXPECT_EQ(rig.controller().lastErrorMessage(),
                  *failing ? std::optional<QString>("The sync engine is not running.") : std::nullopt);
        EXPECT_EQ(rig.controller().lastReconcileSummary(),
                  *failing ? std::nullopt : std::optional(u"0 folders created, +0/\u22120 shares"_qs));
        EXPECT_EQ(QFileInfo::exists(rig.controller().storePath()), !*failing) << failing;
    }
}

TEST(ProjectControllerTest, RequestsDuringALoopCostOneMorePassAndNoneDuringTheNodePush)
{
    struct Case
    {
        const char *heldCall;
        int requests;
        int passes;
    };
    for (const Case &row : {Case{"folders", 1, 2}, Case{"folders", 3, 2}, Case{"localDeviceName", 1, 1}}) {
        ProjectRig rig;
        Node node;
        rig.controller().setNasNode(node.controller.get());
        rig.controller().add({.id = "S", .name = "Film", .members = {{"NODE", "Attic"}}});
        rig.controller().add({.id = "T", .name = "Cut"});
        rig.engine.hold(row.heldCall);
        QCoro::Task<void> loop = rig.controller().reconcileAll();
        ASSERT_TRUE(waitUntil([&] { return rig.engine.waiting(row.heldCall) == 1; }));
        for (int i = 0; i < row.requests; ++i)
            awaitTask(rig.controller().reconcileAll());
        rig.engine.release(row.heldCall);
        awaitTask(std::move(loop));
        EXPECT_EQ(rig.engine.callCount("folders"), row.passes) << row.heldCall << row.requests;
        EXPECT_EQ(rig.controller().rerunRequested(), row.passes == 1);
        EXPECT_EQ(rig.controller().project("T")->members, QList<ProjectMember>({ProjectController::nodeMember(
                                                             {"", "NODE", "Attic"})}));
        EXPECT_EQ(rig.engine.callsOf("addDevice"), QStringList("addDevice(NODE)"));
        EXPECT_EQ(rig.controller().lastErrorMessage(), node.controller->lastError());
    }
}

// Without this Mac's ID the node steps stand still: a push would unshare
// this Mac on the node, a membership step could add this Mac to itself.
TEST(ProjectControllerTest, TheNodeStepsNeedThisMacsID)
{
    for (const int failingCall : {1, 3}) {
        ProjectRig rig;
        Node node;
        rig.controller().setNasNode(node.controller.get());
        rig.controller().add({.id = "S", .name = "Film"});
        rig.engine.failNext("localDeviceID", kDown, failingCall);
        awaitTask(rig.controller().reconcileAll());
        EXPECT_EQ(rig.controller().project("S")->members.size(), failingCall == 1 ? 0 : 1);
        EXPECT_EQ(node.server.requests().isEmpty(), failingCall == 3);
    }
}

TEST(ProjectControllerTest, SyncsAndFoldersAreStoredFirstAndTheEngineFollows)
{
    ProjectRig rig;
    ProjectController &c = rig.controller();
    const Project made = c.createProject("  Film \n", std::nullopt);
    EXPECT_EQ(made.name, "Film");
    EXPECT_EQ(rig.engine.callCount("folders"), 0);
    ASSERT_TRUE(waitUntil([&] { return rig.engine.callCount("folders") == 1 && !c.isReconciling(); }));

    EXPECT_EQ(awaitTask(c.addFolder(made.id, rig.path("cluster/x"), {}, true)), std::nullopt);
    EXPECT_EQ(c.lastErrorMessage(), ProjectController::teamFolderText);
    c.setDefaultIgnores({"*.tmp"});
    const QString id = awaitTask(c.addFolder(made.id, rig.dir.path(), {}, true)).value();
    const ProjectFolder folder = c.folderOf(made.id, id).value();
    EXPECT_EQ(folder.label, QFileInfo(rig.dir.path()).fileName());
    EXPECT_EQ(folder.ignorePatterns, QStringList("*.tmp"));
    EXPECT_EQ(folder.syncthingFolderID, "tdw-00000001");

    rig.engine.failNext("setFolderPaused", kDown);
    awaitTask(c.setFolderSyncEnabled(made.id, id, false));
    awaitTask(c.reconcileAll());
    EXPECT_EQ(rig.engine.callsOf("setFolderPaused"), QStringList(2, "setFolderPaused(tdw-00000001, true)"));

    c.add({.id = "U", .name = "Other", .folders = {{.id = "o", .label = "o", .localPath = "/o",
                                                    .syncthingFolderID = "tdw-00000001"}}});
    c.remove(*c.project("U"));
    runEventLoopFor(50);
    EXPECT_EQ(rig.engine.callCount("removeFolder"), 0);
    rig.engine.failNext("removeFolder", kDown);
    awaitTask(c.removeFolder(made.id, id));
    awaitTask(c.reconcileAll());
    EXPECT_EQ(rig.engine.callsOf("removeFolder"), QStringList(2, "removeFolder(tdw-00000001)"));
    EXPECT_EQ(c.createProject(" ", {}).name, "New Sync");
}

class MemberTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        rig.engine.state.devices = {{.id = "KNOWN", .name = "", .isPaused = true}, {.id = "B", .name = ""}};
        c.add({.id = "S", .name = "Film", .members = {{me, "Me", MemberRole::Editor, true}},
               .folders = {{.id = "f1", .label = "1", .localPath = "/1", .syncthingFolderID = "tdw-1",
                            .excludedDeviceIDs = {"D"}, .pausedDeviceIDs = {"B"}},
                           {.id = "f2", .label = "2", .localPath = "/2", .syncthingFolderID = "tdw-2",
                            .excludedDeviceIDs = {"D"}},
                           {.id = "f3", .label = "3", .localPath = "/3", .pausedDeviceIDs = {"D"}}}});
        c.setMembersDidChange([this](QStringList ids, QString device, CellState state) -> QCoro::Task<void> {
            reported.append(ids.join(",") + "|" + device + "|" + cellStateText(state));
            co_return;
        });
    }
    QList<ProjectMember> members() const { return c.project("S")->members; }
    QList<ProjectFolder> folders() const { return c.project("S")->folders; }

    ProjectRig rig;
    ProjectController &c = rig.controller();
    const QString me = rig.engine.state.localDeviceID;
    QStringList reported;
};

TEST_F(MemberTest, AddingRegistersNewDevicesOnlyAndReleasesHeldFolders)
{
    awaitTask(c.addMember("S", " D\n", "Dee", MemberRole::Editor, false, std::nullopt));
    EXPECT_EQ(reported, QStringList("tdw-1,tdw-2|D|active"));
    EXPECT_EQ(rig.engine.callsOf("setDevicePaused"), QStringList({"setDevicePaused(D, true)", "setDevicePaused(D, false)"}));
    for (const ProjectFolder &folder : folders())
        EXPECT_FALSE(folder.excludedDeviceIDs.contains("D") || folder.pausedDeviceIDs.contains("D"));
    awaitTask(c.addMember("S", "D", "Other", MemberRole::Viewer, false, std::nullopt));
    awaitTask(c.addMember("S", " \n", "Blank", MemberRole::Editor, false, std::nullopt));
    awaitTask(c.addMember("S", "KNOWN", "Kay", MemberRole::Editor, false, std::nullopt));
    rig.engine.failNext("devices", kDown);
    awaitTask(c.addMember("S", "N", "Nina", MemberRole::Editor, false, std::nullopt));
    EXPECT_EQ(c.lastErrorMessage(), u"Couldn't add Nina to Syncthing \u2014 check the connection and try again."_qs);
    EXPECT_EQ(members(), QList<ProjectMember>({{me, "Me", MemberRole::Editor, true}, {"D", "Dee"}, {"KNOWN", "Kay"}}));
    EXPECT_EQ(rig.engine.callsOf("addDevice"), QStringList("addDevice(D)"));
    EXPECT_TRUE(rig.engine.state.devices.first().isPaused);

    EXPECT_EQ(awaitTask(c.removeMember("S", "D")), QStringList({"tdw-1", "tdw-2"}));
    EXPECT_EQ(reported.last(), "tdw-1,tdw-2|D|excluded");
    for (const ProjectFolder &folder : folders())
        EXPECT_EQ(folder.excludedDeviceIDs.count("D") - folder.pausedDeviceIDs.count("D"), 1);
}

TEST_F(MemberTest, FolderStatesAreSetAndTheBounceGivesUpAfterThreeResumes)
{
    EXPECT_EQ(awaitTask(c.setFolderDeviceState("S", "f3", "P", true, true)), std::nullopt);
    EXPECT_TRUE(c.folderOf("S", "f3")->excludedDeviceIDs.contains("P") && c.folderOf("S", "f3")->pausedDeviceIDs.contains("P"));
    EXPECT_EQ(rig.engine.callCount("setDevicePaused"), 0);
    Node node;
    c.setNasNode(node.controller.get());
    for (const int call : {2, 3, 4})
        rig.engine.failNext("setDevicePaused", kDown, call);
    qsizetype atLastEngineCall = 0;
    rig.engine.beforeAnswer = [&](QString) -> QCoro::Task<void> {
        atLastEngineCall = node.server.requests().size();
        co_return;
    };
    EXPECT_EQ(awaitTask(c.setFolderDeviceState("S", "f1", "B", false, false)), "tdw-1");
    EXPECT_EQ(rig.engine.callsOf("setDevicePaused"), QStringList({"setDevicePaused(B, true)", "setDevicePaused(B, false)",
                                                                   "setDevicePaused(B, false)", "setDevicePaused(B, false)"}));
    EXPECT_EQ(c.lastErrorMessage(), u"Couldn't resume the connection to this Mac \u2014 open Devices and un-pause it."_qs);
    EXPECT_GT(node.server.requests().size(), atLastEngineCall);
}

TEST_F(MemberTest, TeamCellsCountOnlyFromEditorsAndSeeds)
{
    struct Case
    {
        const char *author;
        CellState state;
        QStringList excluded;
        QStringList paused;
    };
    c.add({.id = "T", .name = "", .members = {{"E"}, {"V", "", MemberRole::Viewer}, {"SEED", "", MemberRole::Seed}},
           .folders = {{.id = "t", .label = "t", .localPath = "/t", .syncthingFolderID = "tdw-1",
                        .excludedDeviceIDs = {"X"}}}});
    const QList<Case> cases{{"V", CellState::Active, {"X"}, {}},
                            {"Z", CellState::Active, {"X"}, {}},
                            {"E", CellState::Excluded, {"X"}, {}},
                            {"E", CellState::Paused, {}, {"X"}},
                            {"SEED", CellState::Active, {}, {}}};
    for (const Case &row : cases) {
        QFile::remove(c.storePath());
        ClusterCell cell;
        cell.state = row.state;
        cell.authorDeviceID = row.author;
        const bool changed = c.folderOf("T", "t")->excludedDeviceIDs != row.excluded ||
                             c.folderOf("T", "t")->pausedDeviceIDs != row.paused;
        ClusterConfig config;
        config.folders = {{"tdw-1", {{"X", cell}}}};
        EXPECT_EQ(c.applyClusterCells(config), changed) << row.author;
        EXPECT_EQ(QFileInfo::exists(c.storePath()), changed) << row.author;
        EXPECT_EQ(c.folderOf("T", "t")->excludedDeviceIDs, row.excluded) << row.author;
        EXPECT_EQ(c.folderOf("T", "t")->pausedDeviceIDs, row.paused) << row.author;
    }
}

} // namespace
} // namespace tw
