#include "AwaitTask.h"
#include "FakeSyncEngine.h"
#include "QtPrinters.h"

#include "engine/PlatformError.h"

#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>
#include <qcoro/qcorotimer.h>

#include <functional>
#include <stdexcept>

using namespace std::chrono_literals;

namespace tw {
namespace {

// The outcome of one awaited call: the error text, or empty when it succeeded.
QString outcome(QCoro::Task<void> task)
{
    try {
        awaitTask(std::move(task));
        return {};
    } catch (const std::exception &error) {
        return QStringLiteral("failed: ") + describeError(error);
    }
}

SyncFolder folder(const QString &id)
{
    SyncFolder f;
    f.id = id;
    f.label = id;
    return f;
}

TEST(FakeSyncEngineTest, CallLogKeepsOrderAndArgumentsAlsoOfFailedCalls)
{
    FakeSyncEngine engine;
    engine.state.folders = {folder("f1")};
    engine.failNext(QStringLiteral("setFolderPaused"), SyncEngineError::notRunning());

    awaitTask(engine.folders());
    EXPECT_FALSE(outcome(engine.setFolderPaused("f1", true)).isEmpty());
    awaitTask(engine.shareFolder("f1", "dev2"));
    awaitTask(engine.setVersioning("f1", VersioningPolicy::trashCan(30)));
    awaitTask(engine.updateIgnorePatterns("f1", {"*.tmp", "cache"}));

    EXPECT_EQ(engine.callLog(), (QStringList{"folders()", "setFolderPaused(f1, true)", "shareFolder(f1, dev2)",
                                             "setVersioning(f1, trashCan(30))",
                                             "updateIgnorePatterns(f1, [*.tmp, cache])"}));
    EXPECT_EQ(engine.callCount("setFolderPaused"), 1);
    EXPECT_EQ(engine.callsOf("shareFolder"), QStringList{"shareFolder(f1, dev2)"});
    // The failed pause changed nothing.
    EXPECT_FALSE(engine.state.folders[0].isPaused);
}

struct FaultCase
{
    const char *name;
    std::function<void(FakeSyncEngine &)> arrange;
    QStringList expected;  // outcome of three scanFolder("f1") calls
};

TEST(FakeSyncEngineTest, FaultRulesFailTheCallsTheyName)
{
    const QString boom = QStringLiteral("failed: boom");
    const FaultCase cases[] = {
        {"none", [](FakeSyncEngine &) {}, {"", "", ""}},
        {"next", [](FakeSyncEngine &e) { e.failNext("scanFolder", SyncEngineError::backend("boom")); },
         {boom, "", ""}},
        {"always", [](FakeSyncEngine &e) { e.failAlways("scanFolder", SyncEngineError::backend("boom")); },
         {boom, boom, boom}},
        {"second call", [](FakeSyncEngine &e) { e.failCall("scanFolder", 2, SyncEngineError::backend("boom")); },
         {"", boom, ""}},
        {"every operation", [](FakeSyncEngine &e) { e.failAlways("*", SyncEngineError::backend("boom")); },
         {boom, boom, boom}},
        {"another operation", [](FakeSyncEngine &e) { e.failAlways("rescanFolder", SyncEngineError::backend("boom")); },
         {"", "", ""}},
        {"cleared",
         [](FakeSyncEngine &e) {
             e.failAlways("scanFolder", SyncEngineError::backend("boom"));
             e.clearFaults();
         },
         {"", "", ""}},
        {"platform error", [](FakeSyncEngine &e) { e.failNext("scanFolder", PlatformError("disk gone")); },
         {"failed: disk gone", "", ""}},
    };
    for (const FaultCase &c : cases) {
        SCOPED_TRACE(c.name);
        FakeSyncEngine engine;
        engine.state.folders = {folder("f1")};
        c.arrange(engine);
        QStringList outcomes;
        for (int i = 0; i < 3; ++i)
            outcomes.append(outcome(engine.scanFolder("f1")));
        EXPECT_EQ(outcomes, c.expected);
        EXPECT_EQ(engine.callCount("scanFolder"), 3);
    }
}

TEST(FakeSyncEngineTest, FaultsOnOperationsThatNeverThrowGiveNeutralAnswers)
{
    FakeSyncEngine engine;
    engine.state.status.isRunning = true;
    engine.state.devices = {SyncDevice{"dev2", "Other", false, false, 0, 0}};
    engine.state.diagnosticsReport = QStringLiteral("report");
    engine.state.directoryModified["f1"]["sub"] = 1700000000;
    engine.failAlways("*", SyncEngineError::notRunning());

    EXPECT_FALSE(awaitTask(engine.status()).isRunning);
    EXPECT_FALSE(awaitTask(engine.isPairedDevice("dev2")));
    EXPECT_EQ(awaitTask(engine.diagnosticsReport()), QString());
    EXPECT_EQ(awaitTask(engine.directoryModified("f1", "sub")), std::nullopt);
    EXPECT_NO_THROW(awaitTask(engine.stop()));
    EXPECT_TRUE(engine.state.status.isRunning);  // a failed stop stopped nothing

    engine.clearFaults();
    EXPECT_TRUE(awaitTask(engine.isPairedDevice("dev2")));
    EXPECT_EQ(awaitTask(engine.directoryModified("f1", "sub")), 1700000000);
}

TEST(FakeSyncEngineTest, MisspeltOperationIsRefused)
{
    FakeSyncEngine engine;
    EXPECT_THROW(engine.failNext("folder", SyncEngineError::backend("x")), std::invalid_argument);
    EXPECT_EQ(FakeSyncEngine::operationNames().size(), 50);  // every operation but engineName
}

TEST(FakeSyncEngineTest, OperationsChangeTheStateLikeTheEngine)
{
    FakeSyncEngine engine;
    NewFolderRequest request;
    request.label = QStringLiteral("Photos");
    request.path = QStringLiteral("/tmp/photos");
    request.ignorePatterns = {"*.tmp"};
    const SyncFolder added = awaitTask(engine.addFolder(request));
    EXPECT_TRUE(added.id.startsWith("tdw-"));
    EXPECT_EQ(added.id.size(), 12);
    EXPECT_EQ(added.sharedDeviceIDs, QStringList{engine.state.localDeviceID});
    EXPECT_EQ(added.ignorePatterns, QStringList{"*.tmp"});

    awaitTask(engine.shareFolder(added.id, "dev2"));
    awaitTask(engine.shareFolder(added.id, "dev2"));
    awaitTask(engine.setAllPaused(true));
    const QList<SyncFolder> listed = awaitTask(engine.folders());
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0].sharedDeviceIDs, (QStringList{engine.state.localDeviceID, "dev2"}));
    EXPECT_TRUE(listed[0].isPaused);
    EXPECT_TRUE(listed[0].ignorePatterns.isEmpty());
    EXPECT_EQ(awaitTask(engine.ignorePatterns(added.id)), QStringList{"*.tmp"});

    EXPECT_EQ(outcome(engine.shareFolder("nope", "dev2")), "failed: Folder not found: nope");
    EXPECT_TRUE(outcome(engine.setFolderLabel("nope", "x")).contains("HTTP 404"));
    EXPECT_EQ(awaitTask(engine.folderType("nope")), "sendreceive");

    awaitTask(engine.setFolderType(added.id, "sendonly"));
    EXPECT_EQ(engine.state.folders[0].mode, FolderSyncMode::SendOnly);
    awaitTask(engine.setGlobalBandwidth(100, 50));
    EXPECT_EQ(awaitTask(engine.networkSettings()).downLimitKbps, 100);

    awaitTask(engine.removeFolder(added.id));
    EXPECT_TRUE(engine.state.folders.isEmpty());
}

TEST(FakeSyncEngineTest, EventsAreThoseAfterTheGivenID)
{
    FakeSyncEngine engine;
    for (const char *type : {"DeviceConnected", "FolderCompletion", "PendingDevicesChanged"}) {
        SyncEvent event;
        event.type = QString::fromLatin1(type);
        engine.pushEvent(event);
    }
    const auto typesAfter = [&engine](qint64 since) {
        QStringList types;
        for (const SyncEvent &event : awaitTask(engine.events(since)))
            types.append(QString::number(event.id) + event.type);
        return types;
    };
    EXPECT_EQ(typesAfter(0), (QStringList{"1DeviceConnected", "2FolderCompletion", "3PendingDevicesChanged"}));
    EXPECT_EQ(typesAfter(2), QStringList{"3PendingDevicesChanged"});
    EXPECT_TRUE(typesAfter(3).isEmpty());
}

QCoro::Task<void> holdScans(QString operation)
{
    if (operation == QLatin1String("scanFolder"))
        co_await QCoro::sleepFor(20ms);
}

TEST(FakeSyncEngineTest, BeforeAnswerHoldsCallsInFlight)
{
    FakeSyncEngine engine;
    engine.state.folders = {folder("f1")};
    engine.beforeAnswer = holdScans;
    engine.failNext("scanFolder", SyncEngineError::backend("boom"));

    auto held = engine.scanFolder("f1");
    EXPECT_FALSE(held.isReady());
    EXPECT_EQ(engine.callLog(), QStringList{"scanFolder(f1)"});
    EXPECT_TRUE(awaitTask(engine.folders()).size() == 1);  // other operations are not held
    // The fault belongs to the call that took it, even while that call waits.
    EXPECT_EQ(outcome(engine.scanFolder("f1")), "");
    EXPECT_EQ(outcome(std::move(held)), "failed: boom");
}

} // namespace
} // namespace tw
