#include "controllers/DeviceController.h"

#include "FakeSyncEngine.h"
#include "ManualClock.h"

#include <gtest/gtest.h>
#include <memory>
#include <qcoro/qcorotask.h>
#include <qcoro/qcorotimer.h>

namespace tw {
namespace {

const QString peerA = "PEER-A";

DeviceConnection connection(const QString &id, qint64 in, qint64 out, double engineIn = 0, double engineOut = 0)
{
    DeviceConnection record;
    record.id = id;
    record.inBytesTotal = in;
    record.outBytesTotal = out;
    record.inBytesPerSecond = engineIn;
    record.outBytesPerSecond = engineOut;
    return record;
}

class DeviceControllerTest : public ::testing::Test
{
protected:
    FakeSyncEngine engine;
    ManualClock clock;
    DeviceController controller{engine, clock.clock()};
};

struct Step
{
    qint64 afterMs, in, out;
    const char *expected;
    bool fails = false;
};

TEST_F(DeviceControllerTest, RatesFollowTheBaselineRules)
{
    // The engine's own rates are 7 and 9, so they can be told from computed ones.
    const Step steps[] = {
        {0, 0, 0, "7/9"}, {1000, 999, 999, "7/9", true}, {1000, 4000, 2000, "2000/1000"},
        // As the polling cycle's second sample, right after the first: rates and baseline kept.
        {300, 4100, 2100, "2000/1000"}, {1700, 8000, 4000, "2000/1000"},
        // A clock gone backwards keeps the rates and restarts timing.
        {-60000, 9000, 5000, "2000/1000"}, {1000, 10000, 5500, "1000/500"},
        {1000, 10, 20, "0/0"},  // dropped totals clamp to zero
    };
    for (const Step &step : steps) {
        clock.advanceMs(step.afterMs);
        if (step.fails)
            engine.failNext("connections", SyncEngineError::backend("down"));
        engine.state.connections = {connection(peerA, step.in, step.out, 7, 9)};
        QCoro::waitFor(controller.refreshConnections());
        const auto shown = controller.connection(peerA);
        ASSERT_TRUE(shown);
        EXPECT_EQ(QString("%1/%2").arg(shown->inBytesPerSecond).arg(shown->outBytesPerSecond), step.expected)
            << step.afterMs;
    }
    EXPECT_FALSE(controller.lastErrorMessage().has_value());
}

QCoro::Task<void> until(std::shared_ptr<bool> released)
{
    while (!*released)
        co_await QCoro::sleepFor(std::chrono::milliseconds(1));
}

TEST_F(DeviceControllerTest, AnAnswerOlderThanTheOneAppliedIsDropped)
{
    auto released = std::make_shared<bool>(false);
    engine.beforeAnswer = [this, released](QString) {
        return until(engine.callCount("connections") == 1 ? released : std::make_shared<bool>(true));
    };
    auto older = controller.refreshConnections();
    engine.state.connections = {connection(peerA, 4000, 2000)};
    QCoro::waitFor(controller.refreshConnections());
    engine.state.connections = {connection(peerA, 1000, 500)};
    *released = true;
    QCoro::waitFor(std::move(older));
    EXPECT_EQ(controller.connection(peerA)->inBytesTotal, 4000);
}

} // namespace
} // namespace tw
