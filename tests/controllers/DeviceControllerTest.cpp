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
    record.inBytesTotal = in;
    record.outBytesTotal = out;
    record.inBytesPerSecond = engineIn;
    record.outBytesPerSecond = engineOut;
    return record;
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

TEST_F(DeviceControllerTest, RatesFollowTheBaselineRules)
{
    // The engine's own rates are 7 and 9, so they can be told from computed ones.
    const std::pair<const char *, QList<Step>> cases[] = {
        {"dropped totals clamp to zero", {{0, 1000, 500, "7/9"}, {1000, 10, 20, "0/0"}}},
        {"failed sample keeps the baseline",
         {{0, 0, 0, "7/9"}, {1000, 999, 999, nullptr}, {1000, 4000, 2000, "2000/1000"}}},
        // As the polling cycle's second sample, right after the first.
        {"0.3 s or less keeps rates and baseline",
         {{0, 0, 0, "7/9"}, {2000, 4000, 2000, "2000/1000"}, {300, 4100, 2100, "2000/1000"},
          {1700, 8000, 4000, "2000/1000"}}},
        {"clock backwards keeps rates and restarts timing",
         {{0, 0, 0, "7/9"}, {2000, 4000, 2000, "2000/1000"}, {-60000, 5000, 3000, "2000/1000"},
          {1000, 6000, 3500, "1000/500"}}},
    };
    for (const auto &[name, steps] : cases) {
        SCOPED_TRACE(name);
        DeviceController fresh(engine, clock.clock());
        QString shown = "none";
        for (const Step &step : steps) {
            clock.advanceMs(step.afterMs);
            if (!step.expected)
                engine.failNext("connections", SyncEngineError::backend("down"));
            engine.state.connections = {connection(peerA, step.in, step.out, 7, 9)};
            QCoro::waitFor(fresh.refreshConnections());
            shown = step.expected ? QString(step.expected) : shown;
            EXPECT_EQ(ratesOf(fresh, peerA), shown) << step.afterMs;
        }
        EXPECT_FALSE(fresh.lastErrorMessage().has_value());
    }
}

TEST_F(DeviceControllerTest, EachDeviceHasItsOwnBaselineAndLeavesWithItsRecord)
{
    sample({connection(peerA, 0, 0)});
    clock.advanceMs(1000);
    sample({connection(peerA, 1000, 0), connection(peerB, 50, 60, 3, 4)});
    EXPECT_EQ(ratesOf(controller, peerA), "1000/0");
    EXPECT_EQ(ratesOf(controller, peerB), "3/4");
    sample({connection(peerB, 50, 60)});
    EXPECT_EQ(controller.connections().keys(), QStringList{peerB});
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
    sample({connection(peerA, 4000, 2000)});
    engine.state.connections = {connection(peerA, 1000, 500)};
    *released = true;
    QCoro::waitFor(std::move(older));
    EXPECT_EQ(controller.connection(peerA)->inBytesTotal, 4000);
}

TEST_F(DeviceControllerTest, FailedDeviceListEndsTheRefreshAndAFailedLocalIDEmptiesOnlyThat)
{
    engine.state.devices = {studio};
    QCoro::waitFor(controller.refresh());
    engine.clearCalls();
    engine.failNext("localDeviceID", SyncEngineError::notRunning());
    QCoro::waitFor(controller.refresh());
    EXPECT_TRUE(controller.localDeviceID().isEmpty());
    EXPECT_FALSE(controller.lastErrorMessage().has_value());
    EXPECT_EQ(engine.callNames(), (QStringList{"devices", "localDeviceID", "connections"}));

    engine.state.devices.clear();
    engine.clearCalls();
    engine.failNext("devices", SyncEngineError::backend("connection refused"));
    QCoro::waitFor(controller.refresh());
    EXPECT_EQ(controller.lastErrorMessage(), "connection refused");
    EXPECT_EQ(controller.devices(), QList{studio});
    EXPECT_EQ(engine.callNames(), QStringList{"devices"});
}

} // namespace
} // namespace tw
