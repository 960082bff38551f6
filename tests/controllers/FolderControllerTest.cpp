#include "controllers/FolderController.h"

#include "FakeSyncEngine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

namespace tw {
namespace {

const QString a = QStringLiteral("tdw-0000000a");
const QString b = QStringLiteral("tdw-0000000b");
const QString c = QStringLiteral("tdw-0000000c");

SyncFolder folder(const QString &id, const QString &path = QStringLiteral("/srv/none"))
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

    FakeSyncEngine engine;
    FolderController controller{engine};
};

TEST_F(FolderControllerTest, OnlyTheExactTeamPrefixHides)
{
    const QStringList listed{a, QStringLiteral("tdw-cluster"), QStringLiteral("TDW-CLUSTER-1f2e"),
                             QStringLiteral("x-tdw-cluster-1")};
    list(listed + QStringList{QStringLiteral("tdw-cluster-1f2e3d4c"), QStringLiteral("tdw-cluster-")});
    refresh();
    EXPECT_EQ(idsOf(controller.folders()), listed);
    FolderController polled(engine);
    QCoro::waitFor(polled.syncFolderList());
    EXPECT_EQ(idsOf(polled.folders()), listed);
}

TEST_F(FolderControllerTest, TheTeamFolderIsNeverAskedAbout)
{
    const QString team = QStringLiteral("tdw-cluster-00000001");
    list({team});
    engine.state.folderStatuses.insert(team, status(team, FolderState::Error));
    engine.state.recentFolderErrors.insert(team, QStringLiteral("disk full"));
    engine.state.currentTransferNames.insert(team, QStringLiteral("cluster.json"));
    refresh();
    EXPECT_TRUE(controller.statuses().isEmpty());
    EXPECT_TRUE(controller.transferring().isEmpty());
    EXPECT_TRUE(controller.folderErrors().isEmpty());
    EXPECT_EQ(engine.callCount(QStringLiteral("folderStatus")), 0);
}

TEST_F(FolderControllerTest, StatusSurvivesAFailedCallAndLeavesWithItsFolder)
{
    list({a, b});
    engine.state.folderStatuses.insert(a, status(a, FolderState::Syncing, 0.5));
    engine.state.folderStatuses.insert(b, status(b, FolderState::Error));
    engine.state.recentFolderErrors.insert(a, QStringLiteral("a failed"));
    engine.state.currentTransferNames.insert(a, QStringLiteral("clip.mov"));
    refresh();
    ASSERT_EQ(controller.transferring().value(a), QStringLiteral("clip.mov"));

    engine.state.folderStatuses.insert(b, status(b, FolderState::Idle));
    engine.failNext(QStringLiteral("folderStatus"), SyncEngineError::backend(QStringLiteral("timeout")));
    refreshStatuses();
    EXPECT_EQ(controller.status(a), status(a, FolderState::Syncing, 0.5));
    EXPECT_EQ(controller.status(b).state, FolderState::Idle);
    EXPECT_FALSE(controller.lastErrorMessage().has_value());

    engine.state.folderStatuses.insert(b, status(b, FolderState::Error));
    engine.state.recentFolderErrors.insert(b, QStringLiteral("b failed"));
    list({b});
    QCoro::waitFor(controller.syncFolderList());
    EXPECT_EQ(controller.statuses().keys(), QStringList{b});
    EXPECT_EQ(controller.folderErrors().keys(), QStringList{b});
    EXPECT_FALSE(controller.transferring().contains(a));
    EXPECT_EQ(controller.status(a).state, FolderState::Unknown);
}

TEST_F(FolderControllerTest, ErrorsShowOnlyWhileSomeFolderIsInError)
{
    list({a, b});
    // The engine remembers errors after they are over, also of unlisted folders.
    engine.state.recentFolderErrors = {{a, QStringLiteral("a: denied")}, {QStringLiteral("gone"), QStringLiteral("old")}};
    const FolderTextMap shown{{a, QStringLiteral("a: denied")}};
    engine.state.folderStatuses = {{a, status(a, FolderState::Error)}, {b, status(b, FolderState::Idle)}};
    refresh();
    EXPECT_EQ(controller.folderErrors(), shown);

    engine.state.folderStatuses = {{a, status(a, FolderState::Syncing)}, {b, status(b, FolderState::Paused)}};
    engine.clearCalls();
    refreshStatuses();
    EXPECT_TRUE(controller.folderErrors().isEmpty());
    EXPECT_EQ(engine.callCount(QStringLiteral("recentFolderErrors")), 0);

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
    engine.state.currentTransferNames = {{a, QStringLiteral("a.mov")}, {b, QStringLiteral("b.mov")},
                                         {c, QStringLiteral("c.mov")}};
    engine.failCall(QStringLiteral("currentTransferName"), 2, SyncEngineError::backend(QStringLiteral("x")));
    refresh();
    EXPECT_EQ(controller.transferring(), (FolderTextMap{{a, QStringLiteral("a.mov")}}));
    EXPECT_EQ(engine.callsOf(QStringLiteral("currentTransferName")),
              (QStringList{QStringLiteral("currentTransferName(tdw-0000000a)"),
                           QStringLiteral("currentTransferName(tdw-0000000c)")}));

    engine.state.folderStatuses.insert(a, status(a, FolderState::Idle));
    refreshStatuses();
    EXPECT_EQ(controller.transferring(), (FolderTextMap{{c, QStringLiteral("c.mov")}}));
}

TEST_F(FolderControllerTest, FailedClusterNeedsEmptiesThem)
{
    list({a});
    engine.state.clusterNeeds = {{a, ClusterNeed{500, 1, 2}}};
    refresh();
    ASSERT_EQ(controller.clusterNeeds().size(), 1);
    engine.failNext(QStringLiteral("clusterNeeds"), SyncEngineError::http(500, QStringLiteral("x")));
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
    engine.failNext(QStringLiteral("folders"), SyncEngineError::notRunning());
    engine.clearCalls();
    refresh();
    EXPECT_TRUE(loadingDuringCall);
    EXPECT_FALSE(controller.isLoading());
    EXPECT_EQ(idsOf(controller.folders()), QStringList{a});
    EXPECT_EQ(controller.lastErrorMessage(), SyncEngineError::notRunning().errorDescription());
    EXPECT_EQ(engine.callNames(), QStringList{QStringLiteral("folders")});

    FolderController polled(engine);
    list({a});
    QCoro::waitFor(polled.refresh());
    engine.state.folderStatuses = {{a, status(a, FolderState::Scanning)}};
    engine.failNext(QStringLiteral("folders"), SyncEngineError::notRunning());
    QCoro::waitFor(polled.syncFolderList());
    EXPECT_FALSE(polled.lastErrorMessage().has_value());
    EXPECT_EQ(polled.status(a).state, FolderState::Scanning);
}

TEST_F(FolderControllerTest, EqualDataNotifiesNobody)
{
    list({a, b});
    engine.state.folderStatuses = {{a, status(a, FolderState::Syncing)}, {b, status(b, FolderState::Error)}};
    engine.state.currentTransferNames = {{a, QStringLiteral("a.mov")}};
    engine.state.recentFolderErrors = {{b, QStringLiteral("b failed")}};
    engine.state.clusterNeeds = {{a, ClusterNeed{10, 1, 1}}};
    QCoro::waitFor(controller.syncFolderList());
    int notifications = 0;
    for (auto signal : {&FolderController::foldersChanged, &FolderController::statusesChanged,
                        &FolderController::clusterNeedsChanged, &FolderController::transferringChanged,
                        &FolderController::folderErrorsChanged, &FolderController::lastErrorMessageChanged,
                        &FolderController::isLoadingChanged})
        QObject::connect(&controller, signal, [&notifications] { ++notifications; });

    QCoro::waitFor(controller.syncFolderList());
    refreshStatuses();
    EXPECT_EQ(notifications, 0);
    engine.state.folders[1].label = QStringLiteral("Renamed");
    QCoro::waitFor(controller.syncFolderList());
    EXPECT_EQ(notifications, 1);
}

class ArchiveTest : public FolderControllerTest
{
protected:
    void SetUp() override
    {
        QDir(root.path()).mkpath(QStringLiteral("Project/.stversions/sub"));
        QDir(root.path()).mkpath(QStringLiteral("Elsewhere"));
        for (const char *file : {"Project/.stversions/sub/old.txt", "Project/keep.txt", "Elsewhere/precious.txt"}) {
            QFile out(root.filePath(QString::fromLatin1(file)));
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        }
        engine.state.folders = {folder(a, root.filePath(QStringLiteral("Project"))),
                                folder(QStringLiteral("tdw-cluster-00000001"), root.filePath(QStringLiteral("Project")))};
        refresh();
    }

    bool exists(const char *path) const { return QFileInfo::exists(root.filePath(QString::fromLatin1(path))); }
    QString archive() const { return root.filePath(QStringLiteral("Project/.stversions")); }

    QTemporaryDir root;
};

TEST_F(ArchiveTest, RemovesOnlyTheArchiveOfAListedFolderQuietly)
{
    engine.clearCalls();
    QCoro::waitFor(controller.emptyArchive(QStringLiteral("tdw-cluster-00000001")));
    QCoro::waitFor(controller.emptyArchive(QStringLiteral("tdw-ffffffff")));
    EXPECT_TRUE(QFileInfo::exists(archive()));
    EXPECT_TRUE(engine.calls.isEmpty());

    QCoro::waitFor(controller.emptyArchive(a));
    EXPECT_FALSE(QFileInfo::exists(archive()));
    EXPECT_TRUE(exists("Project/keep.txt"));
    QCoro::waitFor(controller.emptyArchive(a));
    EXPECT_FALSE(controller.lastErrorMessage().has_value());
}

TEST_F(ArchiveTest, LinkedArchiveLosesOnlyTheLink)
{
    ASSERT_TRUE(QDir(archive()).removeRecursively());
    ASSERT_TRUE(QFile::link(root.filePath(QStringLiteral("Elsewhere")), archive()));
    QCoro::waitFor(controller.emptyArchive(a));
    EXPECT_FALSE(QFileInfo(archive()).isSymLink());
    EXPECT_TRUE(exists("Elsewhere/precious.txt"));
}

TEST_F(ArchiveTest, RelativeFolderPathIsLeftAlone)
{
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(root.filePath(QStringLiteral("Project"))));
    engine.state.folders = {folder(b, QString())};
    refresh();
    QCoro::waitFor(controller.emptyArchive(b));
    QDir::setCurrent(previous);
    EXPECT_TRUE(QFileInfo::exists(archive()));
}

} // namespace
} // namespace tw
