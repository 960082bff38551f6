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

class FakeSyncEngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SyncFolder folder;
        folder.id = QStringLiteral("f1");
        engine.state.folders = {folder};
    }

    FakeSyncEngine engine;
};

TEST_F(FakeSyncEngineTest, CallLogKeepsOrderAndArgumentsAlsoOfFailedCalls)
{
    engine.failNext(QStringLiteral("setFolderPaused"), SyncEngineError::notRunning());
    awaitTask(engine.folders());
    EXPECT_FALSE(outcome(engine.setFolderPaused("f1", true)).isEmpty());
    awaitTask(engine.setVersioning("f1", VersioningPolicy::trashCan(30)));
    awaitTask(engine.updateIgnorePatterns("f1", {"*.tmp", "cache"}));

    EXPECT_EQ(engine.callLog(), (QStringList{"folders()", "setFolderPaused(f1, true)", "setVersioning(f1, trashCan(30))",
                                             "updateIgnorePatterns(f1, [*.tmp, cache])"}));
    EXPECT_EQ(engine.callsOf("setVersioning"), QStringList{"setVersioning(f1, trashCan(30))"});
    EXPECT_FALSE(engine.state.folders[0].isPaused); // the failed pause changed nothing
    EXPECT_THROW(engine.failNext("folder", SyncEngineError::backend("x")), std::invalid_argument);
    EXPECT_EQ(FakeSyncEngine::operationNames().size(), 51); // every operation but engineName
}

TEST_F(FakeSyncEngineTest, FaultRulesFailTheCallsTheyName)
{
    const SyncEngineError boom = SyncEngineError::backend("boom");
    const QString b = QStringLiteral("failed: boom");
    const struct
    {
        std::function<void(FakeSyncEngine &)> arrange;
        QStringList expected; // outcome of three scanFolder("f1") calls
    } cases[] = {
        {[&](FakeSyncEngine &e) { e.failNext("scanFolder", boom); }, {b, "", ""}},
        {[&](FakeSyncEngine &e) { e.failCall("scanFolder", 2, boom); }, {"", b, ""}},
        {[&](FakeSyncEngine &e) { e.failAlways("*", boom); }, {b, b, b}},
        {[&](FakeSyncEngine &e) { e.failAlways("rescanFolder", boom); }, {"", "", ""}},
        {[](FakeSyncEngine &e) { e.failNext("scanFolder", PlatformError("disk gone")); }, {"failed: disk gone", "", ""}},
    };
    for (const auto &c : cases) {
        FakeSyncEngine fresh;
        fresh.state.folders = engine.state.folders;
        c.arrange(fresh);
        QStringList outcomes;
        for (int i = 0; i < 3; ++i)
            outcomes.append(outcome(fresh.scanFolder("f1")));
        EXPECT_EQ(outcomes, c.expected);
        EXPECT_EQ(fresh.callCount("scanFolder"), 3);
    }
}

TEST_F(FakeSyncEngineTest, FaultsOnOperationsThatNeverThrowGiveNeutralAnswers)
{
    engine.state.status.isRunning = true;
    engine.state.devices = {SyncDevice{"dev2", "Other", false, false, 0, 0}};
    engine.failAlways("*", SyncEngineError::notRunning());

    EXPECT_FALSE(awaitTask(engine.status()).isRunning);
    EXPECT_FALSE(awaitTask(engine.isPairedDevice("dev2")));
    EXPECT_NO_THROW(awaitTask(engine.stop()));
    EXPECT_TRUE(engine.state.status.isRunning); // a failed stop stopped nothing
    engine.clearFaults();
    EXPECT_TRUE(awaitTask(engine.isPairedDevice("dev2")));
}

QCoro::Task<void> holdScans(QString operation)
{
    if (operation == QLatin1String("scanFolder"))
        co_await QCoro::sleepFor(20ms);
}

TEST_F(FakeSyncEngineTest, BeforeAnswerHoldsCallsInFlight)
{
    engine.beforeAnswer = holdScans;
    engine.failNext("scanFolder", SyncEngineError::backend("boom"));

    auto held = engine.scanFolder("f1");
    EXPECT_FALSE(held.isReady());
    EXPECT_EQ(awaitTask(engine.folders()).size(), 1); // other operations are not held
    // The fault belongs to the call that took it, even while that call waits.
    EXPECT_EQ(outcome(engine.scanFolder("f1")), "");
    EXPECT_EQ(outcome(std::move(held)), "failed: boom");
}

} // namespace
} // namespace tw
