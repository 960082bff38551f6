#include "controllers/EngineController.h"

#include "FakeSyncEngine.h"
#include "ManualClock.h"
#include "app/BandwidthSchedule.h"
#include "utilities/UserDefaults.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

namespace tw {
namespace {

const QString downKey = "manualDownLimitKbps";
const QString upKey = "manualUpLimitKbps";
const QString bandwidth = "setGlobalBandwidth";

struct Rig
{
    explicit Rig(std::optional<QTimeZone> zone = QTimeZone::utc())
        : defaults(dir.filePath("defaults.json")), controller(engine, defaults, clock.clock(), zone)
    {
    }

    QTemporaryDir dir;
    FakeSyncEngine engine;
    UserDefaults defaults;
    ManualClock clock;
    EngineController controller;
};

class EngineControllerTest : public ::testing::Test, protected Rig
{
};

TEST_F(EngineControllerTest, ThroughputFromTheCounters)
{
    const struct
    {
        qint64 afterMs, in, out;
        double down, up;
        bool fails = false;
    } samples[] = {
        {0, 0, 0, 0, 0},
        {1000, 1000, 1000, 1000, 1000},
        {100, 9000, 9000, 1000, 1000},  // too close: rates kept, baseline moved
        {1000, 10000, 9500, 1000, 500},
        {1000, 2000, 10500, 0, 1000},   // a counter that drops gives 0, not less
        {1000, 0, 0, 0, 1000, true},    // a failed sample changes nothing
        {1000, 4000, 12500, 1000, 1000},
    };
    for (const auto &sample : samples) {
        clock.advanceMs(sample.afterMs);
        engine.state.cumulativeBytes = CumulativeBytes{sample.in, sample.out};
        if (sample.fails)
            engine.failNext("cumulativeBytes", SyncEngineError::notRunning());
        QCoro::waitFor(controller.sampleThroughput());
        EXPECT_NEAR(controller.downRate(), sample.down, 1e-6) << sample.in;
        EXPECT_NEAR(controller.upRate(), sample.up, 1e-6) << sample.out;
    }
    EXPECT_FALSE(controller.lastErrorMessage().has_value());
}

// Monday 4 March 2024 in UTC.
QDateTime at(int hour)
{
    return QDateTime(QDate(2024, 3, 4), QTime(hour, 0), Qt::UTC);
}

BandwidthSchedule schedule(bool enabled)
{
    return {.enabled = enabled, .throttledDownKbps = 50, .throttledUpKbps = 10, .weekdays = {1, 2, 3, 4, 5, 6, 7}};
}

struct ScheduleCall
{
    bool enabled;
    int hour;
    bool fails = false;
};

TEST(EngineControllerScheduleTest, PushesOnlyWhenTheStateChanges)
{
    const QString throttled = "setGlobalBandwidth(50, 10)";
    const QString manual = "setGlobalBandwidth(500, 100)";
    const struct
    {
        const char *name;
        QList<ScheduleCall> calls;
        QStringList sent;
    } cases[] = {
        {"each state pushed once", {{true, 20}, {true, 7}, {true, 8}, {true, 11}}, {manual, throttled}},
        {"off while throttled restores once", {{true, 10}, {false, 10}, {false, 10}}, {throttled, manual}},
        {"off while unthrottled forgets", {{true, 20}, {false, 20}, {true, 20}}, {manual, manual}},
        {"failed throttle is tried again", {{true, 10, true}, {true, 10}, {true, 10}}, {throttled, throttled}},
        {"failed restore is tried again", {{true, 10}, {false, 10, true}, {false, 10}}, {throttled, manual, manual}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.defaults.setInteger(downKey, 500);
        rig.defaults.setInteger(upKey, 100);
        bool anyFailed = false;
        for (const ScheduleCall &call : c.calls) {
            if (call.fails)
                rig.engine.failNext(bandwidth, SyncEngineError::http(500, "no"));
            anyFailed |= call.fails;
            QCoro::waitFor(rig.controller.applyBandwidthSchedule(schedule(call.enabled), at(call.hour)));
        }
        EXPECT_EQ(rig.engine.callsOf(bandwidth), c.sent);
        EXPECT_EQ(rig.controller.lastErrorMessage().has_value(), anyFailed);
    }
}

TEST(EngineControllerScheduleTest, ReadsTheHourInTheGivenZoneElseInTheSystemZoneOfTheMoment)
{
    const bool hadTZ = qEnvironmentVariableIsSet("TZ");
    const QByteArray savedTZ = qgetenv("TZ");
    qputenv("TZ", "UTC");
    Rig east(QTimeZone(2 * 3600));
    Rig system(std::nullopt);
    for (Rig *rig : {&east, &system})
        QCoro::waitFor(rig->controller.applyBandwidthSchedule(schedule(true), at(7)));
    // The user travels two hours east: 07:00 UTC is now 09:00, inside the window.
    qputenv("TZ", "Etc/GMT-2");
    QCoro::waitFor(system.controller.applyBandwidthSchedule(schedule(true), at(7)));
    hadTZ ? qputenv("TZ", savedTZ) : qunsetenv("TZ");
    EXPECT_EQ(east.engine.callsOf(bandwidth), QStringList{"setGlobalBandwidth(50, 10)"});
    // Nothing stored: the engine's own pair counts as the manual one.
    EXPECT_EQ(system.engine.callsOf(bandwidth),
              (QStringList{"setGlobalBandwidth(0, 0)", "setGlobalBandwidth(50, 10)"}));
}

TEST_F(EngineControllerTest, ManualLimitsAreTheStoredPairElseTheEnginesAndChangeOnlyWhenAccepted)
{
    // The engine may hold the schedule's throttled limits right now.
    engine.state.network.upLimitKbps = 10;
    QCoro::waitFor(controller.loadNetwork());
    EXPECT_EQ(defaults.integer(upKey), 10);
    defaults.setInteger(downKey, 500);
    defaults.remove(upKey);
    QCoro::waitFor(controller.loadNetwork());
    EXPECT_EQ(controller.network().downLimitKbps, 500);
    EXPECT_EQ(controller.network().upLimitKbps, 0);
    EXPECT_FALSE(defaults.contains(upKey));

    QCoro::waitFor(controller.applyBandwidthSchedule(schedule(true), at(10)));
    NetworkSettings settings;
    settings.downLimitKbps = 1200;
    QCoro::waitFor(controller.applyNetwork(settings));
    // The engine now holds the applied limits: the schedule throttles again.
    QCoro::waitFor(controller.applyBandwidthSchedule(schedule(true), at(10)));
    EXPECT_EQ(engine.callsOf(bandwidth), (QStringList{"setGlobalBandwidth(50, 10)", "setGlobalBandwidth(50, 10)"}));
    settings.downLimitKbps = 1;
    engine.failNext("applyNetworkSettings", SyncEngineError::http(400, "bad"));
    QCoro::waitFor(controller.applyNetwork(settings));
    EXPECT_EQ(defaults.integer(downKey), 1200);
    EXPECT_EQ(controller.lastErrorMessage(), SyncEngineError::http(400, "bad").errorDescription());
}

// A reset starts the engine anew, which numbers its events from 1 again: it
// is announced as a start, so that the event poller starts over.
TEST_F(EngineControllerTest, StartResetAndPauseOutcomes)
{
    int announced = 0;
    int statusNotices = 0;
    QObject::connect(&controller, &EngineController::engineStarted, [&announced] { ++announced; });
    QObject::connect(&controller, &EngineController::statusChanged, [&statusNotices] { ++statusNotices; });
    engine.failNext("start", SyncEngineError::backend("port in use"));
    QCoro::waitFor(controller.start());
    EXPECT_TRUE(controller.binaryAvailable());
    EXPECT_EQ(controller.lastErrorMessage(), "port in use");

    const SyncEngineError missing = SyncEngineError::binaryNotFound("Install Syncthing.");
    engine.failNext("start", missing);
    QCoro::waitFor(controller.start());
    EXPECT_FALSE(controller.binaryAvailable());
    EXPECT_EQ(controller.lastErrorMessage(), missing.errorDescription());
    EXPECT_EQ(statusNotices, 2);  // also of an equal status

    QCoro::waitFor(controller.start());
    EXPECT_FALSE(controller.lastErrorMessage().has_value());
    EXPECT_FALSE(controller.binaryAvailable());  // for good

    engine.failNext("setAllPaused", SyncEngineError::backend("pause"));
    engine.failNext("resetDatabase", SyncEngineError::backend("reset"));
    QCoro::waitFor(controller.toggleAllPaused());
    EXPECT_FALSE(controller.isAllPaused());
    EXPECT_EQ(controller.lastErrorMessage(), "pause");
    QCoro::waitFor(controller.resetDatabase());
    QCoro::waitFor(controller.toggleAllPaused());
    EXPECT_TRUE(controller.isAllPaused());
    EXPECT_EQ(controller.lastErrorMessage(), "reset");
    EXPECT_EQ(announced, 1);
    QCoro::waitFor(controller.resetDatabase());
    EXPECT_FALSE(controller.lastErrorMessage().has_value());
    EXPECT_EQ(engine.callCount("status"), 5);  // after each start and reset, failed or not
    EXPECT_EQ(announced, 2);
}

} // namespace
} // namespace tw
