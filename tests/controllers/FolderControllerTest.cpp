#include "controllers/FolderController.h"

#include "FakeSyncEngine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

namespace tw {
namespace {

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

    // Counts every change notification of the controller.
    int watchNotifications()
    {
        for (auto signal : {&FolderController::foldersChanged, &FolderController::statusesChanged,
                            &FolderController::clusterNeedsChanged, &FolderController::transferringChanged,
                            &FolderController::folderErrorsChanged, &FolderController::lastErrorMessageChanged,
                            &FolderController::isLoadingChanged})
            QObject::connect(&controller, signal, [this] { ++notifications; });
        return notifications;
    }

    FakeSyncEngine engine;
    FolderController controller{engine};
    int notifications = 0;
};

struct HidingCase
{
    const char *id;
    bool hidden;
};

class FolderHidingTest : public FolderControllerTest, public ::testing::WithParamInterface<HidingCase>
{
};

TEST_P(FolderHidingTest, OnlyTheExactPrefixHides)
{
    list({QStringLiteral("tdw-0000000a"), QString::fromLatin1(GetParam().id), QStringLiteral("tdw-0000000b")});
    QCoro::waitFor(controller.refresh());
    const QStringList expected = GetParam().hidden
        ? QStringList{QStringLiteral("tdw-0000000a"), QStringLiteral("tdw-0000000b")}
        : QStringList{QStringLiteral("tdw-0000000a"), QString::fromLatin1(GetParam().id), QStringLiteral("tdw-0000000b")};
    EXPECT_EQ(idsOf(controller.folders()), expected);

    // The light reload of the polling loop hides the same way.
    FolderController polled(engine);
    QCoro::waitFor(polled.syncFolderList());
    EXPECT_EQ(idsOf(polled.folders()), expected);
}

INSTANTIATE_TEST_SUITE_P(Prefix, FolderHidingTest,
                         ::testing::Values(HidingCase{"tdw-cluster-1f2e3d4c", true}, HidingCase{"tdw-cluster-", true},
                                           HidingCase{"tdw-cluster", false}, HidingCase{"TDW-CLUSTER-1f2e", false},
                                           HidingCase{"tdw-clusterx", false}, HidingCase{"x-tdw-cluster-1", false}),
                         [](const auto &info) {
                             QString name = QString::fromLatin1(info.param.id);
                             name.replace(QLatin1Char('-'), QLatin1Char('_'));
                             return name.toStdString() + (info.param.hidden ? "_hidden" : "_listed");
                         });

TEST_F(FolderControllerTest, OnlyTheTeamFolderGivesAnEmptyPicture)
{
    list({QStringLiteral("tdw-0000000a")});
    engine.state.folderStatuses.insert(QStringLiteral("tdw-0000000a"),
                                       status(QStringLiteral("tdw-0000000a"), FolderState::Error));
    engine.state.recentFolderErrors.insert(QStringLiteral("tdw-0000000a"), QStringLiteral("disk full"));
    QCoro::waitFor(controller.refresh());
    ASSERT_FALSE(controller.folderErrors().isEmpty());

    list({QStringLiteral("tdw-cluster-00000001")});
    engine.state.folderStatuses.insert(QStringLiteral("tdw-cluster-00000001"),
                                       status(QStringLiteral("tdw-cluster-00000001"), FolderState::Syncing));
    engine.state.currentTransferNames.insert(QStringLiteral("tdw-cluster-00000001"), QStringLiteral("cluster.json"));
    engine.clearCalls();
    QCoro::waitFor(controller.refresh());

    EXPECT_TRUE(controller.folders().isEmpty());
    EXPECT_TRUE(controller.statuses().isEmpty());
    EXPECT_TRUE(controller.transferring().isEmpty());
    EXPECT_TRUE(controller.folderErrors().isEmpty());
    // The team folder is never asked about.
    EXPECT_EQ(engine.callsOf(QStringLiteral("folderStatus")), QStringList{});
}

TEST_F(FolderControllerTest, StatusSurvivesAFailedCallAndLeavesWithItsFolder)
{
    const QString a = QStringLiteral("tdw-0000000a");
    const QString b = QStringLiteral("tdw-0000000b");
    list({a, b});
    engine.state.folderStatuses.insert(a, status(a, FolderState::Syncing, 0.5));
    engine.state.folderStatuses.insert(b, status(b, FolderState::Error));
    engine.state.recentFolderErrors.insert(a, QStringLiteral("a failed"));
    engine.state.currentTransferNames.insert(a, QStringLiteral("clip.mov"));
    QCoro::waitFor(controller.refresh());
    ASSERT_EQ(controller.statuses().size(), 2);
    ASSERT_EQ(controller.transferring().value(a), QStringLiteral("clip.mov"));

    // This pass: a's status request fails, b's reports it idle.
    engine.state.folderStatuses.insert(b, status(b, FolderState::Idle));
    engine.failNext(QStringLiteral("folderStatus"), SyncEngineError::backend(QStringLiteral("timeout")));
    QCoro::waitFor(controller.refreshStatuses());
    EXPECT_EQ(controller.status(a), status(a, FolderState::Syncing, 0.5));
    EXPECT_EQ(controller.status(b).state, FolderState::Idle);
    EXPECT_FALSE(controller.lastErrorMessage().has_value());

    // a leaves the engine's list: its status, error and transfer go with it.
    engine.state.folderStatuses.insert(b, status(b, FolderState::Error));
    engine.state.recentFolderErrors.insert(b, QStringLiteral("b failed"));
    list({b});
    QCoro::waitFor(controller.syncFolderList());
    EXPECT_EQ(controller.statuses().keys(), QStringList{b});
    EXPECT_EQ(controller.folderErrors().keys(), QStringList{b});
    EXPECT_FALSE(controller.transferring().contains(a));
    EXPECT_EQ(controller.status(a).state, FolderState::Unknown);
}

TEST_F(FolderControllerTest, UnknownStatusIsZeroWithTheAskedID)
{
    const FolderStatus unknown = controller.status(QStringLiteral("nope"));
    FolderStatus expected;
    expected.id = QStringLiteral("nope");
    expected.state = FolderState::Unknown;
    EXPECT_EQ(unknown, expected);
}

struct ErrorCase
{
    const char *name;
    QList<FolderState> states;  // of folders a and b
    bool errorsShown;
};

class FolderErrorTest : public FolderControllerTest, public ::testing::WithParamInterface<ErrorCase>
{
};

TEST_P(FolderErrorTest, ErrorsShowOnlyWhileSomeFolderIsInError)
{
    const QString a = QStringLiteral("tdw-0000000a");
    const QString b = QStringLiteral("tdw-0000000b");
    list({a, b});
    // The engine remembers errors long after they are over, and of folders
    // that are not listed.
    engine.state.recentFolderErrors = {{a, QStringLiteral("a: permission denied")},
                                       {QStringLiteral("gone"), QStringLiteral("old")}};
    // A previous pass had a folder in error.
    engine.state.folderStatuses = {{a, status(a, FolderState::Error)}, {b, status(b, FolderState::Idle)}};
    QCoro::waitFor(controller.refresh());
    ASSERT_EQ(controller.folderErrors().keys(), QStringList{a});

    engine.state.folderStatuses = {{a, status(a, GetParam().states[0])}, {b, status(b, GetParam().states[1])}};
    engine.clearCalls();
    QCoro::waitFor(controller.refreshStatuses());

    if (GetParam().errorsShown) {
        EXPECT_EQ(controller.folderErrors(), (FolderTextMap{{a, QStringLiteral("a: permission denied")}}));
        EXPECT_EQ(engine.callCount(QStringLiteral("recentFolderErrors")), 1);
    } else {
        EXPECT_TRUE(controller.folderErrors().isEmpty());
        EXPECT_EQ(engine.callCount(QStringLiteral("recentFolderErrors")), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    States, FolderErrorTest,
    ::testing::Values(ErrorCase{"AllIdle", {FolderState::Idle, FolderState::Idle}, false},
                      ErrorCase{"SyncingAndPaused", {FolderState::Syncing, FolderState::Paused}, false},
                      ErrorCase{"OtherFolderInError", {FolderState::Idle, FolderState::Error}, true},
                      ErrorCase{"SameFolderInError", {FolderState::Error, FolderState::Idle}, true}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(FolderControllerTest, TransferNamesOnlyForSyncingFoldersAndRebuiltEachPass)
{
    const QString a = QStringLiteral("tdw-0000000a");
    const QString b = QStringLiteral("tdw-0000000b");
    const QString c = QStringLiteral("tdw-0000000c");
    list({a, b, c});
    engine.state.folderStatuses = {{a, status(a, FolderState::Syncing)},
                                   {b, status(b, FolderState::Idle)},
                                   {c, status(c, FolderState::Syncing)}};
    engine.state.currentTransferNames = {{a, QStringLiteral("a.mov")}, {b, QStringLiteral("b.mov")}};
    QCoro::waitFor(controller.refresh());
    EXPECT_EQ(controller.transferring(), (FolderTextMap{{a, QStringLiteral("a.mov")}}));
    EXPECT_EQ(engine.callsOf(QStringLiteral("currentTransferName")),
              (QStringList{QStringLiteral("currentTransferName(tdw-0000000a)"),
                           QStringLiteral("currentTransferName(tdw-0000000c)")}));

    engine.state.folderStatuses.insert(a, status(a, FolderState::Idle));
    QCoro::waitFor(controller.refreshStatuses());
    EXPECT_TRUE(controller.transferring().isEmpty());
}

TEST_F(FolderControllerTest, FailedTransferNameLeavesThatFolderOut)
{
    const QString a = QStringLiteral("tdw-0000000a");
    const QString b = QStringLiteral("tdw-0000000b");
    list({a, b});
    engine.state.folderStatuses = {{a, status(a, FolderState::Syncing)}, {b, status(b, FolderState::Syncing)}};
    engine.state.currentTransferNames = {{a, QStringLiteral("a.mov")}, {b, QStringLiteral("b.mov")}};
    engine.failCall(QStringLiteral("currentTransferName"), 1, SyncEngineError::backend(QStringLiteral("x")));
    QCoro::waitFor(controller.refresh());
    EXPECT_EQ(controller.transferring(), (FolderTextMap{{b, QStringLiteral("b.mov")}}));
}

TEST_F(FolderControllerTest, FailedClusterNeedsEmptiesThem)
{
    list({QStringLiteral("tdw-0000000a")});
    engine.state.clusterNeeds = {{QStringLiteral("tdw-0000000a"), ClusterNeed{500, 1, 2}}};
    QCoro::waitFor(controller.refresh());
    ASSERT_EQ(controller.clusterNeeds().size(), 1);
    engine.failNext(QStringLiteral("clusterNeeds"), SyncEngineError::http(500, QStringLiteral("x")));
    QCoro::waitFor(controller.refreshStatuses());
    EXPECT_TRUE(controller.clusterNeeds().isEmpty());
}

TEST_F(FolderControllerTest, FailedRefreshKeepsTheListAndEndsLoading)
{
    list({QStringLiteral("tdw-0000000a")});
    QCoro::waitFor(controller.refresh());
    list({});
    bool loadingDuringCall = false;
    engine.beforeAnswer = [this, &loadingDuringCall](QString) -> QCoro::Task<void> {
        loadingDuringCall = controller.isLoading();
        co_return;
    };
    engine.failNext(QStringLiteral("folders"), SyncEngineError::notRunning());
    engine.clearCalls();

    QCoro::waitFor(controller.refresh());

    EXPECT_TRUE(loadingDuringCall);
    EXPECT_FALSE(controller.isLoading());
    EXPECT_EQ(idsOf(controller.folders()), QStringList{QStringLiteral("tdw-0000000a")});
    EXPECT_EQ(controller.lastErrorMessage(), SyncEngineError::notRunning().errorDescription());
    EXPECT_EQ(engine.callNames(), QStringList{QStringLiteral("folders")});
}

TEST_F(FolderControllerTest, FailedLightReloadIsSilentAndStillRefreshesStatuses)
{
    const QString a = QStringLiteral("tdw-0000000a");
    list({a});
    QCoro::waitFor(controller.refresh());
    engine.state.folderStatuses = {{a, status(a, FolderState::Scanning)}};
    engine.failNext(QStringLiteral("folders"), SyncEngineError::notRunning());
    QCoro::waitFor(controller.syncFolderList());
    EXPECT_FALSE(controller.lastErrorMessage().has_value());
    EXPECT_EQ(controller.status(a).state, FolderState::Scanning);
}

TEST_F(FolderControllerTest, EqualDataNotifiesNobody)
{
    const QString a = QStringLiteral("tdw-0000000a");
    const QString b = QStringLiteral("tdw-0000000b");
    list({a, b});
    engine.state.folderStatuses = {{a, status(a, FolderState::Syncing)}, {b, status(b, FolderState::Error)}};
    engine.state.currentTransferNames = {{a, QStringLiteral("a.mov")}};
    engine.state.recentFolderErrors = {{b, QStringLiteral("b failed")}};
    engine.state.clusterNeeds = {{a, ClusterNeed{10, 1, 1}}};
    QCoro::waitFor(controller.syncFolderList());
    watchNotifications();

    QCoro::waitFor(controller.syncFolderList());
    QCoro::waitFor(controller.refreshStatuses());
    EXPECT_EQ(notifications, 0);

    // One changed field of one record is a change.
    engine.state.folders[1].label = QStringLiteral("Renamed");
    QCoro::waitFor(controller.syncFolderList());
    EXPECT_EQ(notifications, 1);
}

class ArchiveTest : public FolderControllerTest
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        QDir(root.path()).mkpath(QStringLiteral("Project/.stversions/sub"));
        writeFile(root.filePath(QStringLiteral("Project/.stversions/sub/old.txt")));
        writeFile(root.filePath(QStringLiteral("Project/keep.txt")));
        engine.state.folders = {folder(QStringLiteral("tdw-0000000a"), root.filePath(QStringLiteral("Project"))),
                                folder(QStringLiteral("tdw-cluster-00000001"), root.filePath(QStringLiteral("Project")))};
        QCoro::waitFor(controller.refresh());
    }

    static void writeFile(const QString &path)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
    }

    QString archive() const { return root.filePath(QStringLiteral("Project/.stversions")); }

    QTemporaryDir root;
};

TEST_F(ArchiveTest, RemovesTheArchiveOfAListedFolder)
{
    QCoro::waitFor(controller.emptyArchive(QStringLiteral("tdw-0000000a")));
    EXPECT_FALSE(QFileInfo::exists(archive()));
    EXPECT_TRUE(QFileInfo::exists(root.filePath(QStringLiteral("Project/keep.txt"))));
}

TEST_F(ArchiveTest, HiddenAndUnknownFoldersAreLeftAlone)
{
    engine.clearCalls();
    QCoro::waitFor(controller.emptyArchive(QStringLiteral("tdw-cluster-00000001")));
    QCoro::waitFor(controller.emptyArchive(QStringLiteral("tdw-ffffffff")));
    EXPECT_TRUE(QFileInfo::exists(archive()));
    EXPECT_TRUE(engine.calls.isEmpty());
}

TEST_F(ArchiveTest, MissingArchiveIsQuiet)
{
    QCoro::waitFor(controller.emptyArchive(QStringLiteral("tdw-0000000a")));
    QCoro::waitFor(controller.emptyArchive(QStringLiteral("tdw-0000000a")));
    EXPECT_FALSE(controller.lastErrorMessage().has_value());
}

// A link in place of the archive must not take the directory it points to.
TEST_F(ArchiveTest, LinkedArchiveLosesOnlyTheLink)
{
    QDir(root.path()).mkpath(QStringLiteral("Elsewhere"));
    writeFile(root.filePath(QStringLiteral("Elsewhere/precious.txt")));
    ASSERT_TRUE(QDir(archive()).removeRecursively());
    ASSERT_TRUE(QFile::link(root.filePath(QStringLiteral("Elsewhere")), archive()));

    QCoro::waitFor(controller.emptyArchive(QStringLiteral("tdw-0000000a")));

    EXPECT_FALSE(QFileInfo(archive()).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(root.filePath(QStringLiteral("Elsewhere/precious.txt"))));
}

TEST_F(ArchiveTest, RelativeFolderPathIsLeftAlone)
{
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(root.filePath(QStringLiteral("Project"))));
    engine.state.folders = {folder(QStringLiteral("tdw-0000000b"), QString())};
    QCoro::waitFor(controller.refresh());
    QCoro::waitFor(controller.emptyArchive(QStringLiteral("tdw-0000000b")));
    QDir::setCurrent(previous);
    EXPECT_TRUE(QFileInfo::exists(archive()));
}

} // namespace
} // namespace tw
