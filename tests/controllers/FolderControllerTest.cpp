#include "controllers/FolderController.h"

#include "FakeSyncEngine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

namespace tw {
namespace {

const QString a = "tdw-0000000a";
const QString b = "tdw-0000000b";
const QString c = "tdw-0000000c";

SyncFolder folder(const QString &id, const QString &path = "/srv/none")
{
    SyncFolder result;
    result.id = id;
    result.label = id;
    result.path = path;
    return result;
}

FolderStatus status(const QString &id, FolderState state, double completion = 1.0)
{
    FolderStatus result;
    result.id = id;
    result.state = state;
    result.completion = completion;
    result.globalBytes = 100;
    result.localBytes = qint64(completion * 100);
    return result;
}

QStringList idsOf(const QList<SyncFolder> &folders)
{
    QStringList ids;
    for (const SyncFolder &f : folders)
        ids.append(f.id);
    return ids;
}

class FolderControllerTest : public ::testing::Test
{
protected:
    void list(const QStringList &ids)
    {
        engine.state.folders.clear();
        for (const QString &id : ids)
            engine.state.folders.append(folder(id));
    }

    void refresh() { QCoro::waitFor(controller.refresh()); }
    void refreshStatuses() { QCoro::waitFor(controller.refreshStatuses()); }
    void syncFolderList() { QCoro::waitFor(controller.syncFolderList()); }

    FakeSyncEngine engine;
    FolderController controller{engine};
};

TEST_F(FolderControllerTest, OnlyTheExactTeamPrefixHidesAndHiddenFoldersAreNeverAsked)
{
    const QString team = "tdw-cluster-1f2e3d4c";
    const QStringList listed{a, "tdw-cluster", "TDW-CLUSTER-1f2e", "x-tdw-cluster-1"};
    list(listed + QStringList{team, "tdw-cluster-"});
    engine.state.folderStatuses.insert(team, status(team, FolderState::Syncing));
    engine.state.recentFolderErrors.insert(team, "disk full");
    engine.state.currentTransferNames.insert(team, "cluster.json");
    refresh();
    EXPECT_EQ(idsOf(controller.folders()), listed);
    EXPECT_FALSE(controller.statuses().contains(team));
    EXPECT_FALSE(engine.callsOf("folderStatus").contains("folderStatus(" + team + ")"));
    EXPECT_TRUE(controller.transferring().isEmpty());
    FolderController polled(engine);
    QCoro::waitFor(polled.syncFolderList());
    EXPECT_EQ(idsOf(polled.folders()), listed);
}

TEST_F(FolderControllerTest, StatusSurvivesAFailedCallAndLeavesWithItsFolder)
{
    list({a, b});
    engine.state.folderStatuses = {{a, status(a, FolderState::Syncing, 0.5)}, {b, status(b, FolderState::Error)}};
    engine.state.recentFolderErrors = {{a, "a failed"}};
    engine.state.currentTransferNames = {{a, "clip.mov"}};
    refresh();
    ASSERT_EQ(controller.transferring().value(a), "clip.mov");

    engine.state.folderStatuses.insert(b, status(b, FolderState::Idle));
    engine.failNext("folderStatus", SyncEngineError::backend("timeout"));
    refreshStatuses();
    EXPECT_EQ(controller.status(a), status(a, FolderState::Syncing, 0.5));
    EXPECT_EQ(controller.status(b).state, FolderState::Idle);
    EXPECT_FALSE(controller.lastErrorMessage().has_value());

    engine.state.folderStatuses.insert(b, status(b, FolderState::Error));
    engine.state.recentFolderErrors.insert(b, "b failed");
    list({b});
    syncFolderList();
    EXPECT_EQ(controller.statuses().keys(), QStringList{b});
    EXPECT_EQ(controller.folderErrors().keys(), QStringList{b});
    EXPECT_FALSE(controller.transferring().contains(a));
    EXPECT_EQ(controller.status(a).state, FolderState::Unknown);
}

TEST_F(FolderControllerTest, ErrorsShowOnlyWhileSomeFolderIsInError)
{
    list({a, b});
    // The engine remembers errors after they are over, also of unlisted folders.
    engine.state.recentFolderErrors = {{a, "a: denied"}, {"gone", "old"}};
    const FolderTextMap shown{{a, "a: denied"}};
    engine.state.folderStatuses = {{a, status(a, FolderState::Error)}, {b, status(b, FolderState::Idle)}};
    refresh();
    EXPECT_EQ(controller.folderErrors(), shown);

    engine.state.folderStatuses = {{a, status(a, FolderState::Syncing)}, {b, status(b, FolderState::Paused)}};
    engine.clearCalls();
    refreshStatuses();
    EXPECT_TRUE(controller.folderErrors().isEmpty());
    EXPECT_EQ(engine.callCount("recentFolderErrors"), 0);

    engine.state.folderStatuses = {{a, status(a, FolderState::Idle)}, {b, status(b, FolderState::Error)}};
    refreshStatuses();
    EXPECT_EQ(controller.folderErrors(), shown);
}

TEST_F(FolderControllerTest, TransferNamesOnlyForSyncingFoldersAndRebuiltEachPass)
{
    list({a, b, c});
    engine.state.folderStatuses = {{a, status(a, FolderState::Syncing)},
                                   {b, status(b, FolderState::Idle)},
                                   {c, status(c, FolderState::Syncing)}};
    engine.state.currentTransferNames = {{a, "a.mov"}, {b, "b.mov"}, {c, "c.mov"}};
    engine.failCall("currentTransferName", 2, SyncEngineError::backend("x"));
    refresh();
    EXPECT_EQ(controller.transferring(), (FolderTextMap{{a, "a.mov"}}));
    EXPECT_EQ(engine.callsOf("currentTransferName"),
              (QStringList{"currentTransferName(tdw-0000000a)", "currentTransferName(tdw-0000000c)"}));

    engine.state.folderStatuses.insert(a, status(a, FolderState::Idle));
    refreshStatuses();
    EXPECT_EQ(controller.transferring(), (FolderTextMap{{c, "c.mov"}}));
}

TEST_F(FolderControllerTest, FailedClusterNeedsEmptiesThem)
{
    list({a});
    engine.state.clusterNeeds = {{a, ClusterNeed{500, 1, 2}}};
    refresh();
    ASSERT_EQ(controller.clusterNeeds().size(), 1);
    engine.failNext("clusterNeeds", SyncEngineError::http(500, "x"));
    refreshStatuses();
    EXPECT_TRUE(controller.clusterNeeds().isEmpty());
}

TEST_F(FolderControllerTest, FailedRefreshKeepsTheListAndEndsLoadingButLightReloadIsSilent)
{
    list({a});
    refresh();
    list({});
    bool loadingDuringCall = false;
    engine.beforeAnswer = [this, &loadingDuringCall](QString) -> QCoro::Task<void> {
        loadingDuringCall = controller.isLoading();
        co_return;
    };
    engine.failNext("folders", SyncEngineError::notRunning());
    engine.clearCalls();
    refresh();
    EXPECT_TRUE(loadingDuringCall);
    EXPECT_FALSE(controller.isLoading());
    EXPECT_EQ(idsOf(controller.folders()), QStringList{a});
    EXPECT_EQ(controller.lastErrorMessage(), SyncEngineError::notRunning().errorDescription());
    EXPECT_EQ(engine.callNames(), QStringList{"folders"});

    FolderController polled(engine);
    list({a});
    QCoro::waitFor(polled.refresh());
    engine.state.folderStatuses = {{a, status(a, FolderState::Scanning)}};
    engine.failNext("folders", SyncEngineError::notRunning());
    QCoro::waitFor(polled.syncFolderList());
    EXPECT_FALSE(polled.lastErrorMessage().has_value());
    EXPECT_EQ(polled.status(a).state, FolderState::Scanning);
}

TEST_F(FolderControllerTest, EqualDataNotifiesNobody)
{
    list({a, b});
    engine.state.folderStatuses = {{a, status(a, FolderState::Syncing)}, {b, status(b, FolderState::Error)}};
    engine.state.currentTransferNames = {{a, "a.mov"}};
    engine.state.recentFolderErrors = {{b, "b failed"}};
    engine.state.clusterNeeds = {{a, ClusterNeed{10, 1, 1}}};
    syncFolderList();
    int notifications = 0;
    for (auto signal : {&FolderController::foldersChanged, &FolderController::statusesChanged,
                        &FolderController::clusterNeedsChanged, &FolderController::transferringChanged,
                        &FolderController::folderErrorsChanged, &FolderController::lastErrorMessageChanged,
                        &FolderController::isLoadingChanged})
        QObject::connect(&controller, signal, [&notifications] { ++notifications; });
    syncFolderList();
    refreshStatuses();
    EXPECT_EQ(notifications, 0);
    engine.state.folders[1].label = "Renamed";
    syncFolderList();
    EXPECT_EQ(notifications, 1);
}

class ArchiveTest : public FolderControllerTest
{
protected:
    void SetUp() override
    {
        QDir(root.path()).mkpath("Project/.stversions/sub");
        QDir(root.path()).mkpath("Elsewhere");
        for (const char *file : {"Project/.stversions/sub/old.txt", "Project/keep.txt", "Elsewhere/precious.txt"})
            ASSERT_TRUE(QFile(root.filePath(file)).open(QIODevice::WriteOnly));
        engine.state.folders = {folder(a, root.filePath("Project")),
                                folder("tdw-cluster-00000001", root.filePath("Project"))};
        refresh();
    }

    QTemporaryDir root;
    const QString archive = root.filePath("Project/.stversions");
};

TEST_F(ArchiveTest, RemovesOnlyTheArchiveOfAListedFolderQuietly)
{
    engine.clearCalls();
    QCoro::waitFor(controller.emptyArchive("tdw-cluster-00000001"));
    QCoro::waitFor(controller.emptyArchive("tdw-ffffffff"));
    EXPECT_TRUE(QFileInfo::exists(archive));
    EXPECT_TRUE(engine.calls.isEmpty());

    QCoro::waitFor(controller.emptyArchive(a));
    EXPECT_FALSE(QFileInfo::exists(archive));
    EXPECT_TRUE(QFileInfo::exists(root.filePath("Project/keep.txt")));
    QCoro::waitFor(controller.emptyArchive(a));
    EXPECT_FALSE(controller.lastErrorMessage().has_value());
}

TEST_F(ArchiveTest, LinkedArchiveLosesOnlyTheLink)
{
    ASSERT_TRUE(QDir(archive).removeRecursively());
    ASSERT_TRUE(QFile::link(root.filePath("Elsewhere"), archive));
    QCoro::waitFor(controller.emptyArchive(a));
    EXPECT_FALSE(QFileInfo(archive).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(root.filePath("Elsewhere/precious.txt")));
}

TEST_F(ArchiveTest, RelativeFolderPathIsLeftAlone)
{
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(root.filePath("Project")));
    engine.state.folders = {folder(b, QString())};
    refresh();
    QCoro::waitFor(controller.emptyArchive(b));
    QDir::setCurrent(previous);
    EXPECT_TRUE(QFileInfo::exists(archive));
}

} // namespace
} // namespace tw
