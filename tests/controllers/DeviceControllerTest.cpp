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
const QString peerB = "PEER-B";
const SyncDevice studio{peerA, "Studio", false, false, 0, 0};

DeviceConnection connection(const QString &id, qint64 in, qint64 out, double engineIn = 0, double engineOut = 0)
{
    DeviceConnection record;
    record.id = id;
    record.connected = true;
    record.address = "127.0.0.2:22000";
    record.inBytesTotal = in;
    record.outBytesTotal = out;
    record.inBytesPerSecond = engineIn;
    record.outBytesPerSecond = engineOut;
    return record;
}

QCoro::Task<void> until(std::shared_ptr<bool> released)
{
    while (!*released)
        co_await QCoro::sleepFor(std::chrono::milliseconds(1));
}

// Rates as "in/out" to six significant digits: divisions by elapsed seconds.
QString ratesOf(const DeviceController &controller, const QString &id)
{
    const auto shown = controller.connection(id);
    return shown ? QString("%1/%2").arg(shown->inBytesPerSecond).arg(shown->outBytesPerSecond) : "none";
}

class DeviceControllerTest : public ::testing::Test
{
protected:
    QString ratesOf(const QString &id) const { return tw::ratesOf(controller, id); }

    void sample(QList<DeviceConnection> records)
    {
        engine.state.connections = std::move(records);
        QCoro::waitFor(controller.refreshConnections());
    }

    FakeSyncEngine engine;
    ManualClock clock;
    DeviceController controller{engine, clock.clock()};
};

struct Step
{
    qint64 afterMs, in, out;
    const char *expected;  // nothing: the sample fails
};

TEST(DeviceRateTest, RatesFollowTheBaselineRules)
{
    // The engine's own rates are 7 and 9, so they can be told from computed ones.
    const struct
    {
        const char *name;
        QList<Step> steps;
    } cases[] = {
        {"exactly 0.3 s is too short", {{0, 1000, 500, "7/9"}, {300, 5000, 2500, "7/9"}}},
        {"just over 0.3 s computes", {{0, 1000, 500, "7/9"}, {301, 1301, 500, "1000/0"}}},
        {"dropped totals clamp to zero", {{0, 1000, 500, "7/9"}, {1000, 10, 20, "0/0"}}},
        {"failed sample keeps the baseline",
         {{0, 0, 0, "7/9"}, {1000, 999, 999, nullptr}, {1000, 4000, 2000, "2000/1000"}}},
        {"short sample keeps rates and baseline",
         {{0, 0, 0, "7/9"}, {2000, 4000, 2000, "2000/1000"}, {100, 4100, 2100, "2000/1000"},
          {1900, 8000, 4000, "2000/1000"}}},
        {"clock backwards keeps rates and restarts timing",
         {{0, 0, 0, "7/9"}, {2000, 4000, 2000, "2000/1000"}, {-60000, 5000, 3000, "2000/1000"},
          {1000, 6000, 3500, "1000/500"}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeSyncEngine engine;
        ManualClock clock;
        DeviceController controller(engine, clock.clock());
        QString shown = "none";
        for (const Step &step : c.steps) {
            clock.advanceMs(step.afterMs);
            if (!step.expected)
                engine.failNext("connections", SyncEngineError::backend("down"));
            engine.state.connections = {connection(peerA, step.in, step.out, 7, 9)};
            QCoro::waitFor(controller.refreshConnections());
            shown = step.expected ? QString(step.expected) : shown;
            EXPECT_EQ(ratesOf(controller, peerA), shown) << step.afterMs;
        }
        EXPECT_FALSE(controller.lastErrorMessage().has_value());
    }
}

TEST_F(DeviceControllerTest, EachDeviceHasItsOwnBaselineAndLeavesWithItsRecord)
{
    sample({connection(peerA, 0, 0)});
    clock.advanceMs(1000);
    sample({connection(peerA, 1000, 0), connection(peerB, 50, 60, 3, 4)});
    EXPECT_EQ(ratesOf(peerA), "1000/0");
    EXPECT_EQ(ratesOf(peerB), "3/4");
    clock.advanceMs(1000);
    DeviceConnection later = connection(peerB, 1050, 560);
    later.address = "127.0.0.3:22000";
    sample({connection(peerB, 0, 0), later});
    EXPECT_EQ(ratesOf(peerB), "1000/500");
    EXPECT_EQ(controller.connection(peerB)->address, later.address);
    EXPECT_FALSE(controller.connection(peerA).has_value());
    EXPECT_EQ(controller.connections().size(), 1);
}

TEST_F(DeviceControllerTest, AnAnswerOlderThanTheOneAppliedIsDropped)
{
    auto released = std::make_shared<bool>(false);
    engine.beforeAnswer = [this, released](QString) {
        return until(engine.callCount("connections") == 1 ? released : std::make_shared<bool>(true));
    };
    auto older = controller.refreshConnections();
    sample({connection(peerA, 4000, 2000)});
    engine.state.connections = {connection(peerA, 1000, 500)};
    *released = true;
    QCoro::waitFor(std::move(older));
    EXPECT_EQ(controller.connection(peerA)->inBytesTotal, 4000);
}

// The polling cycle runs refresh() (which samples) and then samples once
// more at once; the rates of the first sample must survive the second.
TEST_F(DeviceControllerTest, RatesSurviveTheSecondCallOfACycle)
{
    engine.state.devices = {studio};
    for (int cycle = 0; cycle < 3; ++cycle) {
        engine.state.connections = {connection(peerA, cycle * 4000, cycle * 2000)};
        QCoro::waitFor(controller.refresh());
        clock.advanceMs(5);
        QCoro::waitFor(controller.refreshConnections());
        if (cycle > 0) {
            EXPECT_EQ(ratesOf(peerA), "2000/1000") << "cycle " << cycle;
        }
        clock.advanceMs(1995);
    }
}

TEST_F(DeviceControllerTest, FailedDeviceListKeepsEverythingAndFailedLocalIDOnlyEmptiesIt)
{
    engine.state.devices = {studio};
    engine.state.connections = {connection(peerA, 1, 1)};
    QCoro::waitFor(controller.refresh());
    engine.state.devices.clear();
    engine.state.connections.clear();
    engine.clearCalls();
    engine.failNext("devices", SyncEngineError::backend("connection refused"));
    QCoro::waitFor(controller.refresh());
    EXPECT_EQ(controller.lastErrorMessage(), "connection refused");
    EXPECT_EQ(controller.devices().size(), 1);
    EXPECT_EQ(controller.localDeviceID(), engine.state.localDeviceID);
    EXPECT_TRUE(controller.connection(peerA).has_value());
    EXPECT_EQ(engine.callNames(), QStringList{"devices"});

    DeviceController other(engine);
    QCoro::waitFor(other.refresh());
    engine.failNext("localDeviceID", SyncEngineError::notRunning());
    engine.clearCalls();
    QCoro::waitFor(other.refresh());
    EXPECT_TRUE(other.localDeviceID().isEmpty());
    EXPECT_FALSE(other.lastErrorMessage().has_value());
    EXPECT_EQ(engine.callNames(), (QStringList{"devices", "localDeviceID", "connections"}));
}

TEST_F(DeviceControllerTest, EqualRefreshNotifiesNobody)
{
    engine.state.devices = {studio};
    engine.state.connections = {connection(peerA, 100, 100)};
    QCoro::waitFor(controller.refresh());
    clock.advanceMs(2000);
    QCoro::waitFor(controller.refresh());  // rates now 0 for unchanged totals

    int notified = 0;
    for (auto signal : {&DeviceController::devicesChanged, &DeviceController::connectionsChanged,
                        &DeviceController::localDeviceIDChanged, &DeviceController::lastErrorMessageChanged})
        QObject::connect(&controller, signal, [&notified] { ++notified; });
    clock.advanceMs(2000);
    QCoro::waitFor(controller.refresh());
    QCoro::waitFor(controller.refreshConnections());
    EXPECT_EQ(notified, 0);
    engine.state.devices[0].name = "Studio 2";
    QCoro::waitFor(controller.refresh());
    EXPECT_EQ(notified, 1);
}

} // namespace
} // namespace tw
