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

SyncFolder folder(const QString &id, const QString &path = "/srv/none")
{
    SyncFolder result;
    result.id = id;
    result.label = id;
    result.path = path;
    return result;
}

class FolderControllerTest : public ::testing::Test
{
protected:
    FakeSyncEngine engine;
    FolderController controller{engine};
};

TEST_F(FolderControllerTest, OnlyTheExactTeamPrefixHidesAndHiddenFoldersAreNeverAsked)
{
    const QStringList listed{a, "tdw-cluster", "TDW-CLUSTER-1f2e", "x-tdw-cluster-1"};
    for (const QString &id : listed + QStringList{"tdw-cluster-1f2e3d4c"})
        engine.state.folders.append(folder(id));
    QCoro::waitFor(controller.refresh());
    EXPECT_EQ(controller.folders(), engine.state.folders.first(listed.size()));
    EXPECT_EQ(engine.callCount("folderStatus"), listed.size());
}

// The one test of the shared setter: lists and maps compare element by element.
TEST_F(FolderControllerTest, EqualDataNotifiesNobody)
{
    engine.state.folders = {folder(a), folder(b)};
    engine.state.folderStatuses = {{a, FolderStatus{.id = a, .state = FolderState::Syncing}},
                                   {b, FolderStatus{.id = b, .state = FolderState::Error}}};
    engine.state.currentTransferNames = {{a, "a.mov"}};
    engine.state.recentFolderErrors = {{b, "b failed"}};
    engine.state.clusterNeeds = {{a, ClusterNeed{10, 1, 1}}};
    QCoro::waitFor(controller.syncFolderList());
    int notifications = 0;
    for (auto signal : {&FolderController::foldersChanged, &FolderController::statusesChanged,
                        &FolderController::clusterNeedsChanged, &FolderController::transferringChanged,
                        &FolderController::folderErrorsChanged, &FolderController::lastErrorMessageChanged,
                        &FolderController::isLoadingChanged})
        QObject::connect(&controller, signal, [&notifications] { ++notifications; });
    QCoro::waitFor(controller.syncFolderList());
    EXPECT_EQ(notifications, 0);
    engine.state.folders[1].label = "Renamed";
    QCoro::waitFor(controller.syncFolderList());
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
    engine.state.folders = {folder(a, root.filePath("Project")), folder(b, QString())};
    QCoro::waitFor(controller.refresh());
    // A relative path would resolve against the working directory.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(root.filePath("Project")));
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
