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

FolderStatus status(const QString &id, FolderState state, double completion = 0)
{
    return FolderStatus{.id = id, .state = state, .completion = completion};
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
    list(listed + QStringList{team});
    refresh();
    EXPECT_EQ(controller.folders(), engine.state.folders.first(listed.size()));
    syncFolderList();
    EXPECT_EQ(controller.folders(), engine.state.folders.first(listed.size()));
    EXPECT_FALSE(engine.callsOf("folderStatus").contains("folderStatus(" + team + ")"));
}

// Three passes: the first with every kind of data, the second with failed
// calls, the third after a folder left the list.
TEST_F(FolderControllerTest, EachPassKeepsFailedStatusesAndRebuildsTheRest)
{
    list({a, b, c});
    engine.state.folderStatuses = {{a, status(a, FolderState::Syncing)},
                                   {b, status(b, FolderState::Error)},
                                   {c, status(c, FolderState::Syncing, 0.5)}};
    engine.state.clusterNeeds = {{a, ClusterNeed{500, 1, 2}}};
    // The engine remembers errors after they are over, also of unlisted folders.
    engine.state.recentFolderErrors = {{b, "b: denied"}, {"gone", "old"}};
    engine.state.currentTransferNames = {{a, "a.mov"}, {b, "b.mov"}, {c, "c.mov"}};
    engine.failCall("currentTransferName", 2, SyncEngineError::backend("x"));  // c's; b is not syncing
    refresh();
    EXPECT_EQ(controller.folderErrors(), (FolderTextMap{{b, "b: denied"}}));
    EXPECT_EQ(controller.transferring(), (FolderTextMap{{a, "a.mov"}}));
    EXPECT_EQ(engine.callCount("currentTransferName"), 2);
    ASSERT_EQ(controller.clusterNeeds().size(), 1);

    engine.state.folderStatuses = {{a, status(a, FolderState::Idle)}, {b, status(b, FolderState::Paused)}};
    engine.clearCalls();
    engine.failCall("folderStatus", 3, SyncEngineError::backend("timeout"));  // c keeps its status
    engine.failNext("clusterNeeds", SyncEngineError::http(500, "x"));
    refreshStatuses();
    EXPECT_EQ(controller.status(c), status(c, FolderState::Syncing, 0.5));
    EXPECT_EQ(controller.transferring(), (FolderTextMap{{c, "c.mov"}}));
    EXPECT_TRUE(controller.folderErrors().isEmpty());
    EXPECT_EQ(engine.callCount("recentFolderErrors"), 0);
    EXPECT_TRUE(controller.clusterNeeds().isEmpty());

    list({b});
    syncFolderList();
    EXPECT_EQ(controller.statuses().keys(), QStringList{b});
}

TEST_F(FolderControllerTest, FailedRefreshKeepsTheListAndEndsLoadingButLightReloadIsSilent)
{
    list({a});
    refresh();
    engine.state.folderStatuses = {{a, status(a, FolderState::Scanning)}};
    engine.failNext("folders", SyncEngineError::notRunning());
    syncFolderList();
    EXPECT_FALSE(controller.lastErrorMessage().has_value());
    EXPECT_EQ(controller.status(a).state, FolderState::Scanning);

    engine.failNext("folders", SyncEngineError::notRunning());
    engine.clearCalls();
    refresh();
    EXPECT_FALSE(controller.isLoading());
    EXPECT_EQ(controller.folders(), QList{folder(a)});
    EXPECT_EQ(controller.lastErrorMessage(), SyncEngineError::notRunning().errorDescription());
    EXPECT_EQ(engine.callNames(), QStringList{"folders"});
}

// The one test of the shared setter: lists and maps compare element by element.
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
    EXPECT_EQ(notifications, 0);
    engine.state.folders[1].label = "Renamed";
    syncFolderList();
    EXPECT_EQ(notifications, 1);
}

TEST_F(FolderControllerTest, EmptyArchiveRemovesOnlyTheArchiveOfAListedFolderWithAnAbsolutePath)
{
    QTemporaryDir root;
    const QString archive = root.filePath("Project/.stversions");
    QDir(root.path()).mkpath("Project/.stversions/sub");
    QDir(root.path()).mkpath("Elsewhere");
    for (const char *file : {"Project/.stversions/sub/old.txt", "Project/keep.txt", "Elsewhere/precious.txt"})
        ASSERT_TRUE(QFile(root.filePath(file)).open(QIODevice::WriteOnly));
    engine.state.folders = {folder(a, root.filePath("Project")),
                            folder("tdw-cluster-00000001", root.filePath("Project")), folder(b, QString())};
    refresh();
    // A relative path would resolve against the working directory.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(root.filePath("Project")));
    QCoro::waitFor(controller.emptyArchive("tdw-cluster-00000001"));
    QCoro::waitFor(controller.emptyArchive(b));
    QDir::setCurrent(previous);
    EXPECT_TRUE(QFileInfo::exists(archive));

    QCoro::waitFor(controller.emptyArchive(a));
    EXPECT_FALSE(QFileInfo::exists(archive));
    EXPECT_TRUE(QFileInfo::exists(root.filePath("Project/keep.txt")));

    // In place of the archive, a link loses only itself.
    ASSERT_TRUE(QFile::link(root.filePath("Elsewhere"), archive));
    QCoro::waitFor(controller.emptyArchive(a));
    EXPECT_FALSE(QFileInfo(archive).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(root.filePath("Elsewhere/precious.txt")));
}

} // namespace
} // namespace tw
