// The per-Mac choice of a folder against the fake engine and the real team
// record in a temporary folder; the rescan of a sync's folders.

#include "cluster/ClusterConfigStore.h"
#include "controllers/FolderController.h"
#include "projects/FolderDeviceChoice.h"
#include "projects/ProjectController.h"
#include "projects/SyncRescan.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "FakeSyncEngine.h"
#include "QtPrinters.h"
#include "WaitUntil.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace tw {
namespace {

const QString kLocal = "L";
const QString kPeer = "P";
const QString kEngineID = "tdw-a1";
const QDateTime kNow = QDateTime::fromSecsSinceEpoch(1767225600, QTimeZone::utc());
const QString kNowText = "2026-01-01T00:00:00Z";
const QString kEarlier = "2025-12-31T00:00:00Z";

struct ChoiceRig
{
    ChoiceRig()
    {
        engine.state.localDeviceID = kLocal;
        QDir(dir.path()).mkpath("team");
        ProjectFolder folder{.id = "F", .label = "Docs", .localPath = dir.filePath("docs")};
        folder.syncthingFolderID = kEngineID;
        ProjectFolder fresh{.id = "N", .label = "New", .localPath = dir.filePath("new")};
        projects.add({.id = "S",
                      .members = {{.deviceID = kLocal, .role = MemberRole::Editor, .isOwnDevice = true},
                                  {.deviceID = kPeer, .role = MemberRole::Editor}},
                      .folders = {folder, fresh}});
    }

    ClusterStoreSource source(bool on)
    {
        if (!on)
            return [] { return static_cast<ClusterConfigStore *>(nullptr); };
        return [this] { return &store; };
    }
    ProjectFolder folder(const QString &id = "F") const { return *projects.folderOf("S", id); }
    std::optional<ClusterCell> cell() const
    {
        const ClusterConfig config = ClusterConfigStore(dir.filePath("team"), "0123456789abcdef", kLocal, "k").reload();
        if (!config.folders.value(kEngineID).contains(kPeer))
            return std::nullopt;
        return config.folders.value(kEngineID).value(kPeer);
    }

    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath("defaults.json")};
    FakeSyncEngine engine;
    ProjectController projects{engine, AppPaths(dir.path()), defaults};
    ClusterConfigStore store{dir.filePath("team"), "0123456789abcdef", kLocal, "k"};
};

Clock fixedClock()
{
    return [] { return kNow.toTimeZone(QTimeZone(3600)); };
}

TEST(FolderDeviceChoiceTest, TheChoiceReachesTheTeamRecordOnlyWithPropagationAndAnEngineFolder)
{
    const struct
    {
        QString folderID;
        bool propagation;
        CellState state;
        bool excluded, paused, recorded;
    } rows[] = {
        {"F", true, CellState::Paused, false, true, true},
        {"F", true, CellState::Excluded, true, false, true},
        {"F", false, CellState::Paused, false, true, false},
        {"N", true, CellState::Excluded, true, false, false},
    };
    for (const auto &row : rows) {
        ChoiceRig rig;
        awaitTask(applyFolderDeviceChoice(&rig.projects, rig.source(row.propagation), fixedClock(),
                                          {"S", row.folderID, kPeer, row.state}));
        EXPECT_EQ(rig.folder(row.folderID).excludedDeviceIDs.contains(kPeer), row.excluded);
        EXPECT_EQ(rig.folder(row.folderID).pausedDeviceIDs.contains(kPeer), row.paused);
        const std::optional<ClusterCell> cell = rig.cell();
        ASSERT_EQ(cell.has_value(), row.recorded);
        if (cell) {
            EXPECT_EQ(cell->state, row.state);
            EXPECT_EQ(cell->wallclock, kNowText);
        }
    }
}

TEST(FolderDeviceChoiceTest, ARecordReReadWhileTheChoiceIsOnItsWayLeavesTheFolderAlone)
{
    ChoiceRig rig;
    rig.store.recordEdit(kEngineID, kPeer, CellState::Active, kEarlier);
    rig.engine.hold("folders");
    QCoro::Task<void> choice =
        applyFolderDeviceChoice(&rig.projects, rig.source(true), fixedClock(), {"S", "F", kPeer, CellState::Excluded});
    ASSERT_TRUE(waitUntil([&] { return rig.engine.waiting("folders") == 1; }));
    EXPECT_TRUE(rig.folder().excludedDeviceIDs.contains(kPeer));

    EXPECT_FALSE(rig.projects.applyClusterCells(rig.store.reload()));
    EXPECT_TRUE(rig.folder().excludedDeviceIDs.contains(kPeer));

    rig.engine.release("folders");
    awaitTask(std::move(choice));
    EXPECT_FALSE(rig.projects.clusterCellsHeld(kEngineID));
    ASSERT_TRUE(rig.cell());
    EXPECT_EQ(rig.cell()->state, CellState::Excluded);
    rig.projects.applyClusterCells(rig.store.reload());
    EXPECT_TRUE(rig.folder().excludedDeviceIDs.contains(kPeer));
}

TEST(FolderDeviceChoiceTest, WithoutTheHoldTheOlderCellWouldUndoTheChoice)
{
    ChoiceRig rig;
    rig.store.recordEdit(kEngineID, kPeer, CellState::Active, kEarlier);
    awaitTask(rig.projects.setFolderDeviceState("S", "F", kPeer, true, false));
    EXPECT_TRUE(rig.projects.applyClusterCells(rig.store.reload()));
    EXPECT_FALSE(rig.folder().excludedDeviceIDs.contains(kPeer));
}

Project rescanProject()
{
    Project project{.id = "S"};
    const struct
    {
        QString id;
        std::optional<QString> engineID;
        bool on;
    } folders[] = {{"A", "tdw-a", true}, {"X", std::nullopt, true}, {"B", "tdw-b", true}, {"C", "tdw-c", false}};
    for (const auto &made : folders) {
        ProjectFolder folder{.id = made.id, .label = made.id, .localPath = "/tmp/" + made.id, .syncEnabled = made.on};
        folder.syncthingFolderID = made.engineID;
        project.folders.append(folder);
    }
    return project;
}

TEST(SyncRescanTest, RescansSwitchedOnFoldersInOrderAndGoesOnPastAFailure)
{
    const QStringList once{"rescanFolder(tdw-a)", "rescanFolder(tdw-b)"};
    const struct
    {
        bool allPaused, firstFails;
        QStringList rescans;
        // A second "Retry / rescan" that works takes the failure back.
        bool again = false;
    } rows[] = {
        {false, false, once},
        {false, true, once},
        {true, false, once},
        {false, true, once + once, true},
    };
    for (const auto &row : rows) {
        FakeSyncEngine engine;
        FolderController folders{engine};
        engine.runPolicy().setAllPaused(row.allPaused);
        if (row.firstFails)
            engine.failNext("rescanFolder", SyncEngineError::notRunning());
        awaitTask(rescanSyncFolders(&folders, &engine, rescanProject()));
        if (row.again)
            awaitTask(rescanSyncFolders(&folders, &engine, rescanProject()));
        EXPECT_EQ(engine.callsOf("rescanFolder"), row.rescans);
        // The statuses are read once for the whole sync, not once per folder.
        EXPECT_EQ(engine.callCount("clusterNeeds"), row.again ? 2 : 1);
        EXPECT_EQ(folders.lastErrorMessage().has_value(), row.firstFails && !row.again);
        if (row.firstFails && !row.again) {
            EXPECT_EQ(*folders.lastErrorMessage(), SyncEngineError::notRunning().errorDescription());
        }
    }
}

} // namespace
} // namespace tw
