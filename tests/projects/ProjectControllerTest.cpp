// The syncs file, the reconcile loop, the node steps, folders, members,
// offers, join requests and ignore lines
// against the fake engine; what only Syncthing decides is in
// ProjectsIntegrationTest.

#include "platform/PathLookUps.h"
#include "projects/ProjectController.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "FakeHttpServer.h"
#include "FakeSyncEngine.h"
#include "MemoryKeychain.h"
#include "QtPrinters.h"
#include "StatHook.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QDir>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTimeZone>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>

namespace tw {
namespace {

const SyncEngineError kDown = SyncEngineError::notRunning();
const Sleeper kInstant = [](std::chrono::milliseconds) -> QCoro::Task<void> { co_return; };
const QDateTime kNow = QDateTime::fromSecsSinceEpoch(1767225600, QTimeZone::utc());

// Made on first use, so that a test can write projects.json first.
struct Rig
{
    ProjectController &pc()
    {
        if (!made)
            made = std::make_unique<ProjectController>(engine, AppPaths(dir.path()), defaults,
                                                       [this] { return now; }, kInstant);
        return *made;
    }
    QString path(const QString &name) const { return dir.path() + "/" + name; }
    std::optional<QStringList> owed() const { return defaults.stringList(ProjectController::owedRemovalsKey); }

    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath("defaults.json")};
    FakeSyncEngine engine;
    QDateTime now = kNow;
    std::unique_ptr<ProjectController> made;
};

// A registered always-on node "NODE" that answers nothing useful, listed in
// the rig's folder.
struct Node
{
    explicit Node(const Rig &rig)
    {
        server.listen();
        const QList<NasNode> nodes{{server.baseURL().toString(), "NODE", "Attic"}};
        SyncthingInstance::writeFile(rig.path("nasnodes.json"), NasNode::listToFile(nodes));
        keychain.items.insert(NasNodeController::keyAccount("NODE"), "k");
        controller = std::make_unique<NasNodeController>(keychain, AppPaths(rig.dir.path()), kInstant);
    }
    FakeHttpServer server;
    MemoryKeychain keychain;
    std::unique_ptr<NasNodeController> controller;
};

SyncFolder engineFolder(QString id, QString path, QString label = "x")
{
    return {.id = id, .label = label, .path = path, .versioning = VersioningPolicy::trashCan(0)};
}

// The engine stores a device in one form whatever form it was given in; a
// member recorded as typed would never match its device, and each pass would
// share the folder with it again.
TEST(ProjectControllerTest, AMacsDeviceIDTypedInAnotherFormIsRecordedAsTheEngineWritesIt)
{
    Rig rig;
    ProjectController &pc = rig.pc();
    const QString id = QStringLiteral("PATWR7P-A3CTTVE-MVV5O4N-7GG7EXW-ZB5LWLP-OCLIRZ7-XKZLEPP-RUZUOQL");
    const std::optional<QString> projectID =
        awaitTask(pc.acceptInvite({.deviceID = " " + id.toLower(), .name = "Ann", .project = "Film", .tsIP = {}}, false));
    ASSERT_TRUE(projectID);
    awaitTask(pc.addMember(*projectID, QString(id).remove('-'), "Ann", MemberRole::Editor, false, std::nullopt));
    EXPECT_EQ(pc.project(*projectID)->members, QList<ProjectMember>({{id, "Ann"}}));
    EXPECT_EQ(rig.engine.callsOf("addDevice"), QStringList("addDevice(" + id + ")"));
}

// A link alone names no node: the node an invitation names is nothing until
// the team vouches for it in the sync's folders, by a member's signed cell or
// by Syncthing's introduction through the Mac the folders came from; then it
// joins as the sync's node, and only with the preference on, after a
// restart too.
TEST(ProjectControllerTest, TheNodeAnInvitationNamesJoinsOnlyOnceTheTeamVouchesForIt)
{
    const QString inviter = QStringLiteral("PATWR7P-A3CTTVE-MVV5O4N-7GG7EXW-ZB5LWLP-OCLIRZ7-XKZLEPP-RUZUOQL");
    const QString node = QStringLiteral("MFZWI3D-BONSGYC-YLTMRWG-C43ENR5-QXGZDMM-FZWI3DP-BONSGYY-LTMRWAD");
    // node named, preference, who vouches (a cell's author, or "introduced"), restart, joins
    using Row = std::tuple<const char *, std::optional<QString>, bool, QString, bool, bool>;
    for (const auto &[name, nodeID, autoJoinNode, voucher, restart, nodeJoins] :
         {Row{"named only", node, true, "", false, false},
          Row{"named, cell by the inviter", node, true, inviter, false, true},
          Row{"named, cell by a stranger", node, true, "Z", false, false},
          Row{"named, introduced", node, true, "introduced", false, true},
          Row{"named, introduced after a restart", node, true, "introduced", true, true},
          Row{"named, introduced, preference off", node, false, "introduced", false, false},
          Row{"not named, introduced", std::nullopt, true, "introduced", false, false}}) {
        Rig rig;
        FakeSyncEngine &e = rig.engine;
        ProjectController *pc = &rig.pc();
        pc->add({.id = "S", .name = "Film",
                 .folders = {{.id = "f", .label = "x", .localPath = rig.dir.path(), .syncthingFolderID = "tdw-f"}}});
        e.state.folders = {engineFolder("tdw-f", rig.dir.path())};
        e.state.pendingDevices = {{node, "vm", ""}};
        const Invite invite{.deviceID = inviter, .name = "Ann", .project = "Film", .tsIP = {}, .nodeID = nodeID,
                            .nodeName = "Attic"};
        ASSERT_EQ(awaitTask(pc->acceptInvite(invite, autoJoinNode)), "S") << name;
        EXPECT_FALSE(e.callsOf("addDevice").contains("addDevice(" + node + ")")) << name;
        const ProjectMember asNode{node, "Attic", MemberRole::Seed, false, true};
        EXPECT_FALSE(pc->project("S")->members.contains(asNode)) << name;
        if (restart) {
            rig.made.reset();
            pc = &rig.pc();
        }
        ClusterConfig config;
        if (voucher == "introduced") {
            e.state.devices.append({node, "vm"});
            e.state.folders[0].sharedDeviceIDs.append(node);
            e.state.folders[0].introducedDeviceIDs = {node};
        } else if (!voucher.isEmpty()) {
            config.folders["tdw-f"][node] = {.lamport = 0, .wallclock = "", .authorDeviceID = voucher, .sig = ""};
        }
        pc->applyClusterCells(config);
        awaitTask(pc->reconcileAll());
        awaitTask(pc->refreshPending());
        EXPECT_EQ(pc->project("S")->members.contains(asNode), nodeJoins) << name;
        EXPECT_EQ(pc->pendingDeviceApproval().has_value(), !nodeJoins && !restart) << name;
    }
}

// Two engine folders whose trees meet pass each one's files to the other's
// Macs: none is added at, inside or around another, however its path is
// written or reached. A pass reads only the listing. One whose mount hangs
// holds up no add: it is compared as written.
TEST(ProjectControllerTest, NoFolderIsAddedWhereItsTreeMeetsAnother)
{
    // written: told by the text of the paths alone; hung: the kept folder's mount answers no look-up.
    struct Row { const char *name; QString path; bool free, written, hung = false; };
    const Row rows[] = {{"the same path", "/Footage", false, true}, {"a trailing slash", "/Footage/", false, true},
                        {"through ..", "/x/../Footage", false, true}, {"through a link", "/link", false, false},
                        {"inside it", "/Footage/Day1", false, true}, {"around it", "", false, true},
                        {"beside it", "/Other", true, true}, {"beside it, its mount hung", "/Other", true, true, true},
                        {"inside it, its mount hung", "/Footage/Day1", false, true, true}};
    for (const auto &row : rows)
        for (const char *operation : {"accept", "add", "pass"}) {
            if (operation == std::string("pass") && (!row.written || row.hung))
                continue;
            PathLookUps lookUps(std::chrono::milliseconds(200));  // outlives the controller
            Rig rig;
            FakeSyncEngine &e = rig.engine;
            const QString base = rig.path("base");
            for (const QString sub : {"/Footage/Day1", "/x", "/Other"})
                ASSERT_TRUE(QDir().mkpath(base + sub));
            ASSERT_TRUE(QFile::link(base + "/Footage", base + "/link"));
            e.state.folders = {engineFolder("E", base + "/Footage")};
            e.state.devices = {{.id = "B", .name = "Bo"}};
            ProjectController &pc = rig.pc();
            const QString path = base + row.path;
            pc.add({.id = "S", .name = "Film"});
            std::optional<test::StatHook> hung;
            if (row.hung) {
                pc.setPathLookUps(&lookUps);
                hung.emplace(base + "/Footage", test::StatHook::untilReleased);
            }
            if (operation == std::string("accept"))
                awaitTask(pc.acceptIncomingFolder({"X", "Raw", "B", "Bo"}, path, "S", {}, true));
            else if (operation == std::string("add"))
                EXPECT_EQ(awaitTask(pc.addFolder("S", path, {}, true)).has_value(), row.free) << row.name;
            else
                pc.add({.id = "T", .name = "Cuts", .folders = {{.id = "t", .label = "T", .localPath = path}}});
            if (operation == std::string("pass"))
                awaitTask(pc.reconcileAll());
            hung.reset();
            const QString refusal = ProjectController::overlapText(path, base + "/Footage");
            EXPECT_EQ(pc.lastErrorMessage() == refusal, !row.free) << row.name << ' ' << operation;
            awaitTask(pc.reconcileAll());
            EXPECT_EQ(e.callsOf("addFolder").size(), row.free ? 1 : 0) << row.name << ' ' << operation;
        }
}

TEST(ProjectControllerTest, MissingKeysTakeTheirDefaultsSavingWritesEveryKnownKeyAndAFailedSaveKeepsTheChange)
{
    Rig rig;
    SyncthingInstance::writeFile(rig.path("projects.json"), R"([{"name":"Film","members":[{"deviceID":"D"}],
                                                            "folders":[{"label":"L","localPath":"/p"}]}])");
    const QList<Project> loaded = rig.pc().projects();
    ASSERT_EQ(loaded.size(), 1);
    EXPECT_EQ(loaded[0].createdAt, kNow);
    EXPECT_EQ(loaded[0].members, QList<ProjectMember>({{"D", "", MemberRole::Editor, false, false}}));
    const ProjectFolder folder{.id = loaded[0].folders.value(0).id, .label = "L", .localPath = "/p"};
    EXPECT_EQ(loaded[0].folders, QList<ProjectFolder>({folder}));
    rig.pc().save();
    const QJsonArray saved = QJsonDocument::fromJson(SyncthingInstance::readFile(rig.path("projects.json"))).array();
    EXPECT_EQ(saved[0]["folders"][0].toObject().keys(),
              QStringList({"archiveDeletedFiles", "archiveRetentionDays", "excludedDeviceIDs", "id", "ignorePatterns",
                           "label", "localPath", "pausedDeviceIDs", "purgeProtected", "syncEnabled", "syncMetadata"}));
    EXPECT_EQ(saved[0]["createdAt"].toDouble(), 788918400.0);
    QFile::remove(rig.path("projects.json"));
    QDir(rig.dir.path()).mkdir("projects.json");
    rig.pc().add({.id = "S", .name = "Film"});
    EXPECT_EQ(rig.pc().projects().size(), 2);
    EXPECT_TRUE(rig.pc().lastErrorMessage().value_or("").startsWith("Could not save your syncs: "));
}

TEST(ProjectControllerTest, FilesThatCannotBeReadOrDecodedAreMovedAside)
{
    const QString backup = "projects.json.corrupt-" + QString::number(kNow.toSecsSinceEpoch());
    for (const QByteArray body : {"[{", "", R"([{"name":1}])",
                                  R"([{"name":"F","members":[{"deviceID":"D","role":"x"}]}])",
                                  "directory"}) {
        Rig rig;
        if (body == "directory")
            QDir(rig.dir.path()).mkdir("projects.json");
        else
            SyncthingInstance::writeFile(rig.path("projects.json"), body);
        EXPECT_TRUE(rig.pc().projects().isEmpty()) << body.toStdString();
        EXPECT_EQ(rig.pc().lastErrorMessage(),
                  u"Your syncs file was corrupted \u2014 backed up as "_qs + backup + ". Starting fresh.");
        EXPECT_TRUE(QFileInfo::exists(rig.path(backup)) && !QFileInfo::exists(rig.path("projects.json")));
    }
}

// Every pass looks at every folder, and a stat on a vanished network mount
// takes minutes.
TEST(ProjectControllerTest, APassLooksAtNoFolderOnTheMainThread)
{
    Rig rig;
    const QString folders = rig.path("folders"), here = folders + "/here";
    ASSERT_TRUE(QDir().mkpath(here));
    rig.pc().add({.id = "S", .name = "Film",
                  .members = {{rig.engine.state.localDeviceID, "me"}},
                  .folders = {{.id = "1", .label = "A", .localPath = here},
                              {.id = "2", .label = "B", .localPath = folders + "/gone"}}});
    test::StatHook stats(folders);
    awaitTask(rig.pc().reconcileAll());
    EXPECT_EQ(stats.callsOnOwnThread(), 0);
    EXPECT_EQ(rig.pc().lastReconcileSummary(), u"1 folders created, +0/\u22120 shares, 1 offline skipped"_qs);
    EXPECT_TRUE(QFileInfo::exists(here));
    EXPECT_GT(stats.callsOnOwnThread(), 0);
}

TEST(ProjectControllerTest, EachFolderIsKnownAdoptedOrCreatedAndOnlyOnce)
{
    PathLookUps lookUps(std::chrono::milliseconds(200));  // outlives the controller
    Rig rig;
    FakeSyncEngine &e = rig.engine;
    ProjectController &pc = rig.pc();
    const QString me = e.state.localDeviceID, a = rig.path("a"), b = rig.path("b"), c = rig.path("c");
    const QString d = rig.path("d"), l = rig.path("l");
    for (const QString &path : {a, b, c, d, l})
        QDir().mkpath(path);
    e.state.folders = {engineFolder("plain", d), engineFolder("tdw-cluster-0123456789abcdef", d),
                       engineFolder("tdw-aaaa0001", b), engineFolder("tdw-known", "/x", u"Caf\u00e9 \u2014 K"_qs)};
    pc.add({.id = "S", .name = u"Cafe\u0301"_qs,
            .members = {{me, "me", MemberRole::Viewer, true, false}, {"M1"}},
            .folders = {{.id = "1", .label = "A", .localPath = a},
                        {.id = "2", .label = "B", .localPath = b, .syncthingFolderID = "tdw-gone"},
                        {.id = "3", .label = "K", .localPath = c, .syncthingFolderID = "tdw-known"},
                        {.id = "4", .label = "L", .localPath = l, .syncthingFolderID = "tdw-known"},
                        {.id = "5", .label = "off", .localPath = a, .syncEnabled = false},
                        {.id = "6", .label = "gone", .localPath = rig.path("none")}}});
    e.failNext("addFolder:ignores", SyncEngineError::backend("x"));
    awaitTask(pc.reconcileAll());
    QStringList ids;
    for (const QString id : {"1", "2", "3", "4", "5", "6"})
        ids.append(pc.folderOf("S", id)->syncthingFolderID.value_or("-"));
    // The pass names each new folder as the engine would.
    ASSERT_EQ(e.folderRequests.size(), 2);
    const QString madeA = e.folderRequests[0].id.value_or(""), madeL = e.folderRequests[1].id.value_or("");
    EXPECT_TRUE(QRegularExpression("^tdw-[0-9a-f]{8}$").match(madeA).hasMatch()) << madeA.toStdString();
    EXPECT_EQ(ids, QStringList({"-", "tdw-aaaa0001", "tdw-known", madeL, "-", "-"}));
    EXPECT_EQ(e.callsOf("addFolder"),
              QStringList({u"addFolder("_qs + madeA + u", Cafe\u0301 \u2014 A, "_qs + a + ", .*)",
                           u"addFolder("_qs + madeL + u", Cafe\u0301 \u2014 L, "_qs + l + ", .*)"}));
    EXPECT_EQ(e.state.folders.last().mode, FolderSyncMode::ReceiveOnly);
    // One write per folder: the label, the attribute filter and the shares of
    // the adopted folder together; the new one is made shared.
    EXPECT_EQ(e.callsOf("changeFolder"),
              QStringList({u"changeFolder(tdw-aaaa0001, label=Cafe\u0301 \u2014 B, xattrs, devices=M1)"_qs,
                           "changeFolder(tdw-known, xattrs, devices=M1)"}));
    EXPECT_EQ(e.state.folders.last().sharedDeviceIDs, QStringList({me, "M1"}));
    EXPECT_EQ(pc.lastReconcileSummary(),
              u"1 folders created, +3/\u22120 shares, 1 offline skipped \u2014 \u26A0\uFE0E 1 failed"_qs);
    EXPECT_EQ(pc.lastErrorMessage(), u"1 sync operation(s) failed \u2014 a teammate may not have "
                                     u"received a folder. Check connections and try again."_qs);

    // Its drive asleep (the look-up answers too late), then unplugged: the
    // folder Syncthing took, already offered to the members, waits for the
    // record that will take it under its ID.
    const auto keptOwed = [&] {
        EXPECT_EQ(e.callCount("removeFolder"), 0);
        EXPECT_EQ(rig.owed(), QStringList(madeA));
    };
    pc.setPathLookUps(&lookUps);
    bool woke = false;
    QObject::connect(&lookUps, &PathLookUps::lateAnswer, [&woke] { woke = true; });
    test::StatHook asleep(a, test::StatHook::untilReleased);
    awaitTask(pc.reconcileAll());
    asleep.release();
    keptOwed();
    ASSERT_TRUE(waitUntil([&woke] { return woke; }));
    ASSERT_TRUE(QDir().rename(a, a + "-out"));
    awaitTask(pc.reconcileAll());
    ASSERT_TRUE(QDir().rename(a + "-out", a));
    keptOwed();

    // The folder whose ignore lines failed was made whole all the same: the
    // next pass adopts it and has nothing to write.
    const qsizetype changed = e.callsOf("changeFolder").size();
    awaitTask(pc.reconcileAll());
    EXPECT_EQ(pc.folderOf("S", "1")->syncthingFolderID, madeA);
    EXPECT_EQ(rig.owed(), std::nullopt);
    EXPECT_EQ(e.callsOf("changeFolder").mid(changed), QStringList());
    EXPECT_EQ(pc.lastReconcileSummary(), u"0 folders created, +0/\u22120 shares, 1 offline skipped"_qs);
    EXPECT_EQ(pc.lastErrorMessage(), std::nullopt);

    // Without this Mac's ID its own entry would count as another member, the
    // node would be told to unshare this Mac, and this Mac could be the node.
    Node node(rig);
    pc.setNasNode(node.controller.get());
    QFile::remove(pc.storePath());
    for (int call = 0; call < 3; ++call)
        e.failNext("localDeviceID", kDown);
    awaitTask(pc.reconcileAll());
    EXPECT_EQ(pc.lastErrorMessage(), "The sync engine is not running.");
    EXPECT_FALSE(QFileInfo::exists(pc.storePath()));
    EXPECT_TRUE(node.server.requests().isEmpty());
}

// What a process ending between saving the records and telling the engine
// leaves: a folder without its lines (or with an earlier folder's), a
// protection recorded but not in its list, a folder switched on but paused.
TEST(ProjectControllerTest, APassBringsEachKeptFolderToItsLinesAndItsPauseState)
{
    Rig rig;
    FakeSyncEngine &e = rig.engine;
    e.state.folders = {engineFolder("tdw-known", rig.path("a")), engineFolder("tdw-found", rig.path("b")),
                       engineFolder("tdw-fine", rig.path("c"))};
    for (SyncFolder &folder : e.state.folders) {
        QDir().mkpath(folder.path);
        folder.hasSyncedXattrFilter = true;
        e.state.ignores[folder.id] = {".*"};
    }
    e.state.folders[0].isPaused = true;
    e.state.ignores["tdw-known"] = {};
    e.state.ignores["tdw-found"] = {"*.old"};
    rig.pc().add({.id = "S", .name = "",
                  .folders = {{.id = "1", .label = "x", .localPath = rig.path("a"), .ignorePatterns = {".*"},
                               .purgeProtected = {"/sub"}, .syncthingFolderID = "tdw-known"},
                              {.id = "2", .label = "x", .localPath = rig.path("b")},
                              {.id = "3", .label = "x", .localPath = rig.path("c"), .syncthingFolderID = "tdw-fine"}}});
    // Lines Syncthing could not read (one too long for it) stopped the first.
    e.failNext("ignorePatterns", SyncEngineError::refused("token too long"));
    awaitTask(rig.pc().reconcileAll());
    EXPECT_EQ(e.state.ignores["tdw-known"], QStringList({"/sub", ".*"}));
    EXPECT_EQ(rig.pc().folderOf("S", "1")->ignorePatterns, QStringList({"/sub", ".*"}));
    EXPECT_EQ(e.state.ignores["tdw-found"], QStringList(".*"));
    // The lines before the resume: the folder never runs under others.
    EXPECT_EQ(e.callLog().filter(QRegularExpression("^(updateIgnorePatterns|changeFolder)\\(tdw-known")),
              QStringList({"updateIgnorePatterns(tdw-known, /sub|.*)", "changeFolder(tdw-known, paused=false)"}));
    EXPECT_EQ(e.callsOf("updateIgnorePatterns").size(), 2);
    EXPECT_EQ(rig.pc().lastErrorMessage(), std::nullopt);

    // Once in place the lines are not read again until the engine may have
    // lost them; "Pause all" holds while it lasts.
    e.state.folders[0].isPaused = true;
    rig.engine.runPolicy().setAllPaused(true);
    const int reads = e.callCount("ignorePatterns");
    awaitTask(rig.pc().reconcileAll());
    EXPECT_EQ(e.callCount("ignorePatterns"), reads);
    EXPECT_TRUE(e.state.folders[0].isPaused);
    rig.pc().recheckIgnoreLines();
    rig.engine.runPolicy().setAllPaused(false);
    awaitTask(rig.pc().reconcileAll());
    EXPECT_EQ(e.callCount("ignorePatterns"), reads + 3);
    EXPECT_FALSE(e.state.folders[0].isPaused);
}

// A drive that keeps no user extended attributes (FAT, exFAT) fails every
// item Syncthing carries them for: there the engine folder carries none,
// whatever the user chose, and the choice holds again once the drive keeps
// them. The look-up's answer stands in for a drive the test cannot mount.
TEST(ProjectControllerTest, AFolderOnADriveWithoutExtendedAttributesCarriesNone)
{
    const struct { bool chosen, keeps; } rows[] = {{true, true}, {true, false}, {false, true}, {false, false}};
    for (const auto &row : rows) {
        std::atomic<bool> keeps = row.keeps;
        PathLookUps lookUps;  // outlives the controller
        lookUps.setReader([&keeps](const QString &path) {
            PathPresence presence = PathPresence::read(path);
            presence.keepsUserXattrs = keeps;
            return presence;
        });
        Rig rig;
        ProjectController &pc = rig.pc();
        pc.setPathLookUps(&lookUps);
        const QString path = rig.path("a");
        QDir().mkpath(path);
        pc.add({.id = "S", .name = "Film",
                .folders = {{.id = "1", .label = "x", .localPath = path, .syncMetadata = row.chosen}}});
        awaitTask(pc.reconcileAll());
        const bool carried = row.chosen && row.keeps;
        ASSERT_EQ(rig.engine.folderRequests.size(), 1);
        EXPECT_EQ(rig.engine.folderRequests[0].syncMetadata, carried);
        EXPECT_EQ(pc.driveRefusesXattrs(path), !row.keeps);
        const QString engineID = rig.engine.state.folders[0].id;
        awaitTask(pc.setFolderMetadata("S", "1", row.chosen));
        EXPECT_EQ(rig.engine.callsOf("setFolderMetadata"),
                  QStringList("setFolderMetadata(" + engineID + ", " + (carried ? "true" : "false") + ")"));

        keeps = !row.keeps;
        awaitTask(pc.reconcileAll());
        EXPECT_EQ(rig.engine.state.folders[0].syncMetadata, row.chosen && !row.keeps);
        EXPECT_EQ(pc.driveRefusesXattrs(path), row.keeps);
        EXPECT_EQ(pc.folderOf("S", "1")->syncMetadata, row.chosen);
    }
}

// "Pause all" is the user's: while it holds, a pass pauses what it finds
// running (a quit cut the pausing short) or makes, and nothing switched on
// meanwhile runs; once it is lifted, what is switched on runs.
TEST(ProjectControllerTest, WhilePauseAllHoldsNoFolderRuns)
{
    Rig rig;
    FakeSyncEngine &e = rig.engine;
    e.state.folders = {engineFolder("tdw-p", rig.path("a")), engineFolder("tdw-r", rig.path("b")),
                       engineFolder("tdw-o", rig.path("c"))};
    for (SyncFolder &folder : e.state.folders) {
        folder.hasSyncedXattrFilter = true;
        folder.isPaused = folder.id != "tdw-r";
        e.state.ignores[folder.id] = {".*"};
    }
    for (const QString name : {"a", "b", "c", "d"})
        QDir().mkpath(rig.path(name));
    const auto folder = [&rig](QString id, QString path, std::optional<QString> engineID, bool on = true) {
        return ProjectFolder{.id = id, .label = "x", .localPath = rig.path(path), .syncEnabled = on,
                             .ignorePatterns = {".*"}, .syncthingFolderID = engineID};
    };
    rig.pc().add({.id = "S", .name = "", .folders = {folder("1", "a", "tdw-p"), folder("2", "b", "tdw-r"),
                                                     folder("3", "c", "tdw-o", false), folder("4", "d", {})}});
    rig.engine.runPolicy().setAllPaused(true);
    awaitTask(rig.pc().reconcileAll());
    awaitTask(rig.pc().setFolderSyncEnabled("S", "3", true));
    awaitTask(rig.pc().setProjectPaused("S", false));
    EXPECT_EQ(e.callLog().filter(QRegularExpression("paused=|Paused")),
              QStringList("changeFolder(tdw-r, paused=true)"));
    ASSERT_EQ(e.state.folders.size(), 4);
    for (const SyncFolder &listed : std::as_const(e.state.folders))
        EXPECT_TRUE(listed.isPaused) << listed.id.toStdString();

    rig.engine.runPolicy().setAllPaused(false);
    awaitTask(rig.pc().reconcileAll());
    for (const SyncFolder &listed : std::as_const(e.state.folders))
        EXPECT_FALSE(listed.isPaused) << listed.id.toStdString();
}

// Left by a process that ended between writing a store and renaming it.
TEST(ProjectControllerTest, LeftoversOfSavesAreRemovedAtStart)
{
    Rig rig;
    const QStringList kept{"projects.json", "projects.json.corrupt-17", "projects.json.Ab3dE", "other.json.abcdef"};
    for (const QString &name : kept + QStringList("projects.json.Ab3dE9"))
        SyncthingInstance::writeFile(rig.path(name), "[]");
    rig.pc();
    QStringList left = QDir(rig.dir.path()).entryList(QDir::Files);
    left.sort();
    EXPECT_EQ(left, QStringList({"other.json.abcdef", "projects.json", "projects.json.Ab3dE", "projects.json.corrupt-17"}));
}

TEST(ProjectControllerTest, IntroducedDevicesStayUnlessHeldAndUnsharedOnesMustBeGone)
{
    Rig rig;
    FakeSyncEngine &e = rig.engine;
    e.state.folders = {engineFolder("tdw-s", rig.dir.path())};
    e.state.folders[0].sharedDeviceIDs = {e.state.localDeviceID, "I1", "I2", "P", "X"};
    e.state.folders[0].introducedDeviceIDs = {"I1", "I2"};
    rig.pc().add({.id = "S", .name = "", .members = {{e.state.localDeviceID}, {"M"}, {"P"}},
                  .folders = {{.id = "f", .label = "x", .localPath = rig.dir.path(), .syncthingFolderID = "tdw-s",
                               .excludedDeviceIDs = {"I2"}, .pausedDeviceIDs = {"P"}}}});
    e.beforeAnswer = [&e](QString operation) -> QCoro::Task<void> {
        if (operation == "folders" && e.callCount("folders") == 2)
            e.state.folders[0].sharedDeviceIDs.append("X");
        co_return;
    };
    awaitTask(rig.pc().reconcileAll());
    EXPECT_EQ(e.callsOf("changeFolder"),
              QStringList("changeFolder(tdw-s, xattrs, devices=" + e.state.localDeviceID + "|I1|M)"));
    EXPECT_EQ(rig.pc().lastReconcileSummary(), u"0 folders created, +1/\u22123 shares \u2014 \u26A0\uFE0E 1 failed"_qs);
    EXPECT_EQ(rig.pc().lastErrorMessage(),
              u"1 device(s) are still listed on a folder after being removed \u2014 they may still be receiving "
              u"files. Check connections and try again."_qs);
}

TEST(ProjectControllerTest, RequestsDuringALoopCostOneMorePassAndNoneDuringTheNodePush)
{
    using Case = std::tuple<const char *, int, int>;  // held call, requests while held, passes
    for (const auto &[held, requests, passes] : {Case{"folders", 1, 2}, Case{"folders", 3, 2},
                                                 Case{"localDeviceName", 1, 1}}) {
        Rig rig;
        Node node(rig);
        rig.pc().setNasNode(node.controller.get());
        rig.pc().add({.id = "S", .name = "Film"});
        rig.engine.hold(held);
        QCoro::Task<void> loop = rig.pc().reconcileAll();
        ASSERT_TRUE(waitUntil([&, held = held] { return rig.engine.waiting(held) == 1; }));
        for (int i = 0; i < requests; ++i)
            awaitTask(rig.pc().reconcileAll());
        rig.engine.release(held);
        awaitTask(std::move(loop));
        EXPECT_EQ(rig.engine.callCount("folders"), passes) << held << requests;
        EXPECT_EQ(rig.pc().rerunRequested(), passes == 1);
        EXPECT_EQ(rig.pc().lastErrorMessage(), node.controller->lastError());
        // A node that keeps failing keeps its message standing through the
        // next pass: taken back in between, it would blink in the window.
        int changes = 0;
        QObject::connect(&rig.pc(), &ProjectController::lastErrorMessageChanged, [&changes] { ++changes; });
        awaitTask(rig.pc().reconcileAll());
        EXPECT_TRUE(rig.pc().lastErrorMessage().has_value()) << held;
        EXPECT_EQ(changes, 0) << held;
    }
}

// A folder removed or switched off while its engine folder is made.
TEST(ProjectControllerTest, WhatGoesDuringAnAwaitOfThePassIsNeitherSharedNorTouched)
{
    // Removed (else switched off), the calls after the creation: made shared,
    // a folder switched off meanwhile is paused and shared with nobody again.
    using Case = std::pair<bool, QStringList>;
    const QString unshared = "changeFolder(%1, devices=" + FakeSyncEngine::State().localDeviceID + ")";
    for (const auto &[removed, after] : {Case{true, {"removeFolder(%1)"}},
                                         Case{false, {"setFolderPaused(%1, true)", unshared}}}) {
        Rig rig;
        rig.pc().add({.id = "S", .members = {{"M"}}, .folders = {{.id = "f", .localPath = rig.dir.path()}}});
        rig.engine.hold("addFolder");
        QCoro::Task<void> pass = rig.pc().reconcileAll();
        ASSERT_TRUE(waitUntil([&] { return rig.engine.waiting("addFolder") == 1; }));
        awaitTask(removed ? rig.pc().removeFolder("S", "f") : rig.pc().setFolderSyncEnabled("S", "f", false));
        rig.engine.release("addFolder");
        awaitTask(std::move(pass));
        const QString made = rig.engine.folderRequests.value(0).id.value_or("");
        EXPECT_EQ(rig.engine.callLog().sliced(3).join('\n'), after.join('\n').arg(made));
    }
}

TEST(ProjectControllerTest, SyncsAndFoldersAreStoredFirstAndTheEngineFollows)
{
    Rig rig;
    ProjectController &pc = rig.pc();
    const Project made = pc.createProject("  Film \n", std::nullopt);
    EXPECT_EQ(made.name, "Film");
    EXPECT_EQ(rig.engine.callCount("folders"), 0);
    ASSERT_TRUE(waitUntil([&] { return rig.engine.callCount("folders") == 1 && !pc.isReconciling(); }));
    EXPECT_EQ(awaitTask(pc.addFolder(made.id, rig.path("cluster/x"), {}, true)), std::nullopt);
    EXPECT_EQ(pc.lastErrorMessage(), ProjectController::teamFolderText);
    pc.setDefaultIgnores({"*.tmp"});
    const QString id = awaitTask(pc.addFolder(made.id, rig.dir.path(), {}, true)).value();
    EXPECT_EQ(pc.folderOf(made.id, id)->ignorePatterns, QStringList("*.tmp"));

    rig.engine.failNext("setFolderPaused", kDown);
    awaitTask(pc.setFolderSyncEnabled(made.id, id, false));
    awaitTask(pc.reconcileAll());
    const QString engineID = pc.folderOf(made.id, id)->syncthingFolderID.value_or("");
    EXPECT_EQ(rig.engine.callsOf("setFolderPaused"), QStringList(2, "setFolderPaused(" + engineID + ", true)"));

    rig.engine.failNext("removeFolder", kDown);
    awaitTask(pc.removeFolder(made.id, id));
    awaitTask(pc.reconcileAll());
    EXPECT_EQ(rig.engine.callsOf("removeFolder"), QStringList(2, "removeFolder(" + engineID + ")"));

    // The controller destroyed while a detached pass waits on the engine.
    rig.engine.hold("folders");
    EXPECT_EQ(pc.createProject(" ", {}).name, "New Sync");
    ASSERT_TRUE(waitUntil([&] { return rig.engine.waiting("folders") == 1; }));
    const QStringList calls = rig.engine.callLog();
    rig.made.reset();
    rig.engine.release("folders");
    bool drained = false;  // posted after the resumption, so it runs after it
    QTimer::singleShot(0, &rig.engine, [&drained] { drained = true; });
    ASSERT_TRUE(waitUntil([&] { return drained; }));
    EXPECT_EQ(rig.engine.callLog(), calls);
}

// Folders holding "D" (excluded on two with engine folders, paused on one
// without) and "B" (paused on the first); "D" per folder as "<excluded><paused>".
TEST(ProjectControllerTest, MembersRegisterNewDevicesOnlyReleaseHeldFoldersAndTheBounceGivesUpAfterThreeResumes)
{
    Rig rig;
    Node node(rig);
    ProjectController &pc = rig.pc();
    rig.engine.state.devices = {{.id = "KNOWN", .name = "", .isPaused = true}, {.id = "B", .name = ""}};
    pc.add({.id = "S", .name = "Film",
            .folders = {{.id = "f1", .label = "1", .syncthingFolderID = "tdw-1", .excludedDeviceIDs = {"D"},
                         .pausedDeviceIDs = {"B"}},
                        {.id = "f2", .label = "2", .syncthingFolderID = "tdw-2", .excludedDeviceIDs = {"D"}},
                        {.id = "f3", .label = "3", .pausedDeviceIDs = {"D"}}}});
    const auto heldD = [&pc] {
        QStringList lists;
        const QList<ProjectFolder> folders = pc.project("S")->folders;
        for (const ProjectFolder &f : folders)
            lists.append(QString("%1%2").arg(f.excludedDeviceIDs.count("D")).arg(f.pausedDeviceIDs.count("D")));
        return lists;
    };
    QStringList reported;
    pc.setMembersDidChange([&reported](QStringList ids, QString device, CellState state) -> QCoro::Task<void> {
        reported.append(ids.join(",") + "|" + device + "|" + cellStateText(state));
        co_return;
    });
    const QString me = rig.engine.state.localDeviceID;
    awaitTask(pc.addMember("S", " D\n", "Dee", MemberRole::Editor, false, std::nullopt));
    EXPECT_EQ(reported, QStringList("tdw-1,tdw-2|D|active"));
    EXPECT_EQ(rig.engine.callsOf("setDevicePaused"),
              QStringList({"setDevicePaused(D, true)", "setDevicePaused(D, false)"}));
    EXPECT_EQ(heldD(), QStringList({"00", "00", "00"}));
    for (const QString &id : QStringList{"D", " \n", me, "KNOWN", "N"}) {
        if (id == "N")
            rig.engine.failNext("devices", kDown);
        awaitTask(pc.addMember("S", id, id == "D" ? "Other" : "Nina", MemberRole::Viewer, false, std::nullopt));
    }
    EXPECT_EQ(pc.lastErrorMessage(), u"Couldn't add \u2068Nina\u2069 to Syncthing \u2014 check the connection and try again."_qs);
    EXPECT_EQ(pc.project("S")->members, QList<ProjectMember>({{"D", "Dee"}, {me, "Nina", MemberRole::Viewer, true},
                                                              {"KNOWN", "Nina", MemberRole::Viewer}}));
    EXPECT_EQ(rig.engine.callsOf("addDevice"), QStringList("addDevice(D)"));
    EXPECT_TRUE(rig.engine.state.devices.first().isPaused);

    EXPECT_EQ(awaitTask(pc.removeMember("S", "D")), QStringList({"tdw-1", "tdw-2"}));
    EXPECT_EQ(heldD(), QStringList({"10", "10", "10"}));
    EXPECT_EQ(awaitTask(pc.setFolderDeviceState("S", "f3", "D", true, true)), std::nullopt);
    EXPECT_EQ(heldD(), QStringList({"10", "10", "11"}));

    pc.setNasNode(node.controller.get());
    const int pausesBefore = rig.engine.callCount("setDevicePaused");
    for (const int call : {2, 3, 4})
        rig.engine.failNext("setDevicePaused", kDown, pausesBefore + call);
    qsizetype atLastEngineCall = 0;
    rig.engine.beforeAnswer = [&](QString) -> QCoro::Task<void> {
        atLastEngineCall = node.server.requests().size();
        co_return;
    };
    EXPECT_EQ(awaitTask(pc.setFolderDeviceState("S", "f1", "B", false, false)), "tdw-1");
    EXPECT_EQ(rig.engine.callsOf("setDevicePaused").sliced(pausesBefore),
              QStringList({"setDevicePaused(B, true)", "setDevicePaused(B, false)", "setDevicePaused(B, false)",
                           "setDevicePaused(B, false)"}));
    EXPECT_EQ(pc.lastErrorMessage(),
              u"Couldn't resume the connection to this Mac \u2014 open Devices and un-pause it."_qs);
    EXPECT_GT(node.server.requests().size(), atLastEngineCall);
}

TEST(ProjectControllerTest, TeamCellsCountOnlyFromEditorsAndSeedsAndSaveOnlyOnChange)
{
    // author, state, whether the folder changes, excluded, paused
    using Case = std::tuple<QString, CellState, bool, QStringList, QStringList>;
    Rig rig;
    ProjectController &pc = rig.pc();
    pc.add({.id = "T", .name = "", .members = {{"E"}, {"V", "", MemberRole::Viewer}, {"SEED", "", MemberRole::Seed}},
            .folders = {{.id = "t", .label = "t", .syncthingFolderID = "tdw-1", .excludedDeviceIDs = {"X"}}}});
    const QList<Case> cases{{"V", CellState::Active, false, {"X"}, {}},
                            {"Z", CellState::Active, false, {"X"}, {}},
                            {"E", CellState::Excluded, false, {"X"}, {}},
                            {"E", CellState::Paused, true, {}, {"X"}},
                            {"SEED", CellState::Active, true, {}, {}}};
    for (const auto &[author, state, changed, excluded, paused] : cases) {
        QFile::remove(pc.storePath());
        ClusterConfig config;
        config.folders["tdw-1"]["X"] = {.state = state, .lamport = 0, .wallclock = "", .authorDeviceID = author,
                                        .sig = ""};
        EXPECT_EQ(pc.applyClusterCells(config), changed) << author.toStdString();
        EXPECT_EQ(QFileInfo::exists(pc.storePath()), changed);
        const ProjectFolder after = pc.folderOf("T", "t").value();
        EXPECT_EQ(std::pair(after.excludedDeviceIDs, after.pausedDeviceIDs), std::pair(excluded, paused));
    }
}

// Offers: the team folder's is dismissed at every refresh, a known one
// dropped without dismissal, an ignored one kept aside. Join requests: only
// while now is strictly before the window's end, never for this Mac or a
// member, each device once.
TEST(ProjectControllerTest, OffersAreSortedAndAJoinRequestIsSurfacedOnceWhileThePairingWindowIsOpen)
{
    Rig rig;
    FakeSyncEngine &e = rig.engine;
    ProjectController &pc = rig.pc();
    pc.add({.id = "S", .name = "Film", .members = {{"M"}},
            .folders = {{.id = "f", .label = "K", .syncthingFolderID = "tdw-known"}}});
    const PendingFolder xFromB{"X", "x", "B", "Bo"}, xFromC{"X", "x", "C", "Cy"}, y{"Y", "y", "B", "Bo"};
    e.state.pendingFolders = {{"tdw-cluster-1", "c", "B", "Bo"}, {"tdw-known", "k", "B", "Bo"}, xFromB, xFromC, y};
    e.state.pendingDevices = {{e.state.localDeviceID, "me", ""}, {"M", "m", ""}, {"A", "Al", ""}, {"B", "Bo", ""}};
    pc.openPairingWindow("S");
    rig.now = kNow.addSecs(600);
    awaitTask(pc.dismissIncomingFolderAll("Y"));
    EXPECT_EQ(pc.pendingFolders(), QList<PendingFolder>({xFromB, xFromC}));
    EXPECT_EQ(pc.ignoredOfferedFolders(), QList<PendingFolder>({y}));
    EXPECT_EQ(pc.distinctPendingCount(), 5);
    EXPECT_EQ(rig.defaults.stringList("dismissedFolderIDs"), QStringList("Y"));
    EXPECT_EQ(pc.pendingDeviceApproval(), std::nullopt);
    rig.now = kNow.addSecs(599);
    awaitTask(pc.refreshPending());
    EXPECT_EQ(e.callsOf("dismissPendingFolder"), QStringList(2, "dismissPendingFolder(tdw-cluster-1, B)"));
    EXPECT_EQ(pc.pendingDeviceApproval(), ProjectController::PendingDeviceApproval({"A", "Al", "S", "Film"}));
    awaitTask(pc.approvePendingDevice());
    EXPECT_EQ(pc.project("S")->members.last(), ProjectMember({"A", "Al"}));
    EXPECT_EQ(pc.pendingDeviceApproval().value_or(ProjectController::PendingDeviceApproval()).deviceID, "B");
    awaitTask(pc.declinePendingDevice());
    EXPECT_EQ(e.callsOf("dismissPendingDevice"), QStringList({"dismissPendingDevice(A)", "dismissPendingDevice(B)"}));
    EXPECT_EQ(pc.pendingDeviceApproval(), std::nullopt);
}

// A device the team record keeps in a sync's folders is a member asking, not
// a stranger: it joins that sync, unless the user wants to be asked. One
// asking otherwise is asked for by the sync whose folder it offers, else by
// the sync shown in the invitation.
TEST(ProjectControllerTest, ADeviceAskingJoinsTheSyncTheTeamPlacesItInOrIsAskedForByItsSync)
{
    // cell state in Film's folder (none: no cell), preference, offers Notes' folder, joins Film, asked for by
    using Row = std::tuple<const char *, std::optional<CellState>, bool, bool, bool, QString>;
    for (const auto &[name, cell, joinsTeam, offers, joins, askedBy] :
         {Row{"kept active", CellState::Active, true, false, true, ""},
          Row{"kept paused", CellState::Paused, true, false, true, ""},
          Row{"kept, preference off", CellState::Active, false, false, false, "Film"},
          Row{"excluded", CellState::Excluded, true, false, false, "Film"},
          Row{"offers Notes' folder", std::nullopt, true, true, false, "Notes"},
          Row{"unknown", std::nullopt, true, false, false, "Film"}}) {
        Rig rig;
        ProjectController &pc = rig.pc();
        pc.add({.id = "F", .name = "Film", .members = {{"A"}},
                .folders = {{.id = "f", .label = "x", .syncthingFolderID = "tdw-f"}}});
        pc.add({.id = "N", .name = "Notes", .members = {{"A"}},
                .folders = {{.id = "g", .label = "y", .syncthingFolderID = "tdw-g"}}});
        ClusterConfig config;
        if (cell)
            config.folders["tdw-f"]["B"] = {.state = *cell, .lamport = 0, .wallclock = "", .authorDeviceID = "A", .sig = ""};
        pc.applyClusterCells(config);
        pc.setJoinsTeamDevices(joinsTeam);
        rig.engine.state.pendingDevices = {{"B", "laptop-b", ""}};
        if (offers)
            rig.engine.state.pendingFolders = {{"tdw-g", "Notes \u2014 y", "B", "laptop-b"}};
        pc.openPairingWindow("F");
        awaitTask(pc.refreshPending());
        EXPECT_EQ(pc.project("F")->members.contains(ProjectMember{"B", "laptop-b"}), joins) << name;
        EXPECT_EQ(pc.pendingDevices().isEmpty(), joins) << name;
        const std::optional<ProjectController::PendingDeviceApproval> asked =
            pc.pendingDeviceApproval();
        EXPECT_EQ(asked ? asked->projectName : "", askedBy) << name;
    }
}

// Accepted or ignored elsewhere while its prompt shows, a device's request
// goes; a failed read of the requests keeps it.
TEST(ProjectControllerTest, AJoinRequestGoesOnceTheEngineNoLongerListsTheDevice)
{
    Rig rig;
    FakeSyncEngine &e = rig.engine;
    ProjectController &pc = rig.pc();
    pc.add({.id = "S", .name = "Film"});
    e.state.pendingDevices = {{"A", "Al", ""}};
    pc.openPairingWindow("S");
    awaitTask(pc.refreshPending());
    const ProjectController::PendingDeviceApproval shown{"A", "Al", "S", "Film"};
    ASSERT_EQ(pc.pendingDeviceApproval(), shown);
    e.state.pendingDevices = {};
    e.failNext("pendingDevices", kDown);
    awaitTask(pc.refreshPending());
    EXPECT_EQ(pc.pendingDeviceApproval(), shown);
    awaitTask(pc.refreshPending());
    EXPECT_EQ(pc.pendingDeviceApproval(), std::nullopt);
    EXPECT_EQ(e.callCount("dismissPendingDevice"), 0);
}

TEST(ProjectControllerTest, AnAcceptedOfferKeepsTheLinesSentAndProtectionComesAndGoesAroundThem)
{
    Rig rig;
    FakeSyncEngine &e = rig.engine;
    rig.defaults.setStringList("dismissedFolderIDs", {"X"});
    ProjectController &pc = rig.pc();
    e.state.devices = {{.id = "B", .name = "Bo"}};
    e.state.folders = {engineFolder("Y", "/elsewhere")};
    pc.setDefaultIgnores({"*.tmp", ".DS_Store"});
    awaitTask(pc.acceptIncomingFolder({"X", u"Photos \u2014 Raw"_qs, "B", "Bo"}, "/raw", "gone", {}, true));
    EXPECT_EQ(e.callsOf("addFolder"), QStringList(u"addFolder(X, Raw \u2014 Raw, /raw, *.tmp|.DS_Store)"_qs));
    EXPECT_EQ(e.callsOf("setDeviceIntroducer"), QStringList("setDeviceIntroducer(B, true)"));
    EXPECT_EQ(rig.defaults.stringList("dismissedFolderIDs"), QStringList());
    awaitTask(pc.acceptIncomingFolder({"Y", "y", "C", "Cy"}, "/chosen", pc.projects().value(0).id, {}, false));
    EXPECT_EQ(pc.projects().value(0).folders.value(1).localPath, "/elsewhere");
    EXPECT_EQ(pc.lastErrorMessage(), u"This Mac already syncs that folder at \u2068/elsewhere\u2069 \u2014 the sync uses it there."_qs);
    EXPECT_EQ(e.callsOf("addDevice"), QStringList("addDevice(C)"));
    for (const QString line : {"/a\\*", "/b", "/a\\*", "/c\n/d", "/e\r/f"})
        awaitTask(pc.addPurgeProtection("X", line));
    EXPECT_EQ(pc.lastErrorMessage(), ProjectController::lineBreakText);
    EXPECT_EQ(e.state.ignores["X"], QStringList({"/a\\*", "/b", "*.tmp", ".DS_Store"}));
    // The user's own copy of a protection line outlives the protection.
    awaitTask(pc.writeIgnoresBySyncthingID("X", {"!keep", "/a\\*"}));
    EXPECT_EQ(e.state.ignores["X"], QStringList({"/a\\*", "/b", "!keep", "/a\\*"}));
    awaitTask(pc.removePurgeProtection("X", "/a\\*"));
    EXPECT_EQ(e.state.ignores["X"], QStringList({"/b", "!keep", "/a\\*"}));
    EXPECT_EQ(pc.projects().value(0).folders.value(0).purgeProtected, QStringList("/b"));
    EXPECT_EQ(ProjectController::mergedIgnores({"a", "a"}, {"a", "n", "n"}), QStringList({"a", "n", "a", "a"}));
    // In force only with nothing but protection lines above it.
    for (const auto &[lines, inForce] : {std::pair{QStringList{"/b"}, true}, {{"/x", "/b"}, false},
                                         {{"!keep", "/b"}, false}, {{"/c"}, false}})
        EXPECT_EQ(pc.protectionInForce("X", "/b", lines), inForce) << lines.join(' ').toStdString();
    awaitTask(pc.addPurgeProtection("X", "/c"));
    EXPECT_TRUE(pc.protectionInForce("X", "/c", e.state.ignores["X"]));
}

// Owed its removal from before Syncthing is asked until its record is
// stored, so that a process ending in between leaves nothing shared that no
// sync names; a pass meanwhile, before or after Syncthing lists it, leaves it
// to the accept. Made paused while everything is.
TEST(ProjectControllerTest, AnAcceptedOffersFolderIsOwedUntilItsRecordIsStoredAndMadePausedWhileAllIs)
{
    Rig rig;
    FakeSyncEngine &e = rig.engine;
    ProjectController &pc = rig.pc();
    e.state.devices = {{.id = "B", .name = "Bo"}};
    e.runPolicy().setAllPaused(true);
    const QString x = "tdw-0ffe12ed";
    std::optional<QStringList> owedWhileMade;
    e.beforeAnswer = [&](QString operation) -> QCoro::Task<void> {
        if (operation != "addFolder")
            co_return;
        // Listed, its answer not yet read; then not listed yet.
        e.state.folders.append(engineFolder(x, "/offered"));
        co_await pc.reconcileAll();
        e.state.folders.clear();
        co_await pc.reconcileAll();
        owedWhileMade = rig.owed();
    };
    awaitTask(pc.acceptIncomingFolder({x, "Raw", "B", "Bo"}, "/offered", {}, {}, false));
    EXPECT_EQ(owedWhileMade, QStringList(x));
    EXPECT_EQ(e.callCount("removeFolder"), 0);
    EXPECT_EQ(rig.owed(), std::nullopt);
    EXPECT_EQ(pc.projects().value(0).folders.value(0).syncthingFolderID, x);
    ASSERT_EQ(e.folderRequests.size(), 1);
    const auto made = std::find_if(e.state.folders.cbegin(), e.state.folders.cend(),
                                   [&x](const SyncFolder &folder) { return folder.id == x; });
    ASSERT_NE(made, e.state.folders.cend());
    EXPECT_TRUE(made->isPaused);
}

// Until a save stores the record naming it: a process ending after a failed
// save would leave the folder shared with nothing naming it and nothing owed.
// The failed save's message stands over the pass's success.
TEST(ProjectControllerTest, AMadeOrAcceptedFolderStaysOwedWhileTheSyncsFileCannotBeWritten)
{
    Rig rig;
    FakeSyncEngine &e = rig.engine;
    ProjectController &pc = rig.pc();
    const QString a = rig.path("a"), b = rig.path("b"), x = "tdw-0ffe12ed";
    for (const QString &path : {a, b, pc.storePath()})
        ASSERT_TRUE(QDir().mkpath(path));
    e.state.devices = {{.id = "B", .name = "Bo"}};
    pc.add({.id = "S", .name = "Film", .members = {{e.state.localDeviceID, "me"}},
            .folders = {{.id = "1", .label = "A", .localPath = a}}});
    awaitTask(pc.reconcileAll());
    const QString made = pc.folderOf("S", "1")->syncthingFolderID.value_or("");
    EXPECT_EQ(rig.owed(), QStringList(made));
    // Its pass keeps the first, claimed now, and the accept's folder.
    awaitTask(pc.acceptIncomingFolder({x, "Raw", "B", "Bo"}, b, {}, {}, false));
    EXPECT_EQ(rig.owed(), QStringList({made, x}));
    EXPECT_TRUE(pc.lastErrorMessage().value_or("").startsWith("Could not save your syncs: "));
    ASSERT_TRUE(QDir().rmdir(pc.storePath()));
    awaitTask(pc.reconcileAll());
    EXPECT_EQ(rig.owed(), std::nullopt);
    EXPECT_EQ(e.callCount("removeFolder"), 0);
    EXPECT_EQ(pc.lastErrorMessage(), std::nullopt);
}

TEST(ProjectControllerTest, DefaultLinesReachEachFolderStillThereAfterTheWriteBefore)
{
    Rig rig;
    ProjectController &pc = rig.pc();
    rig.engine.state.folders = {engineFolder("tdw-1", "/1"), engineFolder("tdw-2", "/2")};
    pc.add({.id = "S", .folders = {{.id = "1", .purgeProtected = {"/p"}, .syncthingFolderID = "tdw-1"},
                                   {.id = "2", .syncthingFolderID = "tdw-2"}}});
    pc.add({.id = "T", .folders = {{.id = "3", .ignorePatterns = {"own"}, .purgeProtected = {"/q"}}}});
    pc.setDefaultIgnores({"d"});
    rig.engine.beforeAnswer = [&pc](QString) -> QCoro::Task<void> {
        if (pc.project("S"))
            pc.remove(*pc.project("S"));
        co_return;
    };
    awaitTask(pc.applyDefaultIgnoresToAll());
    EXPECT_EQ(rig.engine.callsOf("updateIgnorePatterns"), QStringList("updateIgnorePatterns(tdw-1, /p|d)"));
    EXPECT_EQ(pc.folderOf("T", "3")->ignorePatterns, QStringList({"/q", "d"}));
}

} // namespace
} // namespace tw
