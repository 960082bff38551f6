#include "controllers/EngineController.h"

#include "FakeSyncEngine.h"
#include "ManualClock.h"
#include "controllers/BandwidthSchedule.h"
#include "utilities/UserDefaults.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

namespace tw {
namespace {

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

// Monday 4 March 2024 in UTC.
QDateTime at(int hour)
{
    return QDateTime(QDate(2024, 3, 4), QTime(hour, 0), Qt::UTC);
}

BandwidthSchedule schedule(bool enabled)
{
    return {.enabled = enabled, .throttledDownKbps = 50, .throttledUpKbps = 10, .weekdays = {1, 2, 3, 4, 5, 6, 7}};
}

TEST_F(EngineControllerTest, ScheduleIsPushedOnlyWhenItsStateChangesOrItsPushFailed)
{
    const QString throttled = "setGlobalBandwidth(50, 10)";
    const QString manual = "setGlobalBandwidth(500, 100)";
    defaults.setInteger("manualDownLimitKbps", 500);
    defaults.setInteger("manualUpLimitKbps", 100);
    const struct
    {
        bool enabled;
        int hour;
        bool fails = false;
    } calls[] = {{true, 20}, {true, 8}, {true, 11}, {false, 11}, {false, 11}, {true, 10, true}, {true, 10}, {true, 10}};
    for (const auto &call : calls) {
        if (call.fails)
            engine.failNext(bandwidth, SyncEngineError::http(500, "no"));
        QCoro::waitFor(controller.applyBandwidthSchedule(schedule(call.enabled), at(call.hour)));
    }
    EXPECT_EQ(engine.callsOf(bandwidth), (QStringList{manual, throttled, manual, throttled, throttled}));
    EXPECT_TRUE(controller.lastErrorMessage().has_value());
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

// A reset starts the engine anew, which numbers its events from 1 again: it
// is announced as a start, so that the event poller starts over.
TEST_F(EngineControllerTest, ASuccessfulResetIsAnnouncedAsAStart)
{
    int announced = 0;
    QObject::connect(&controller, &EngineController::engineStarted, [&announced] { ++announced; });
    QCoro::waitFor(controller.start());
    engine.failNext("resetDatabase", SyncEngineError::backend("reset"));
    QCoro::waitFor(controller.resetDatabase());
    EXPECT_EQ(controller.lastErrorMessage(), "reset");
    EXPECT_EQ(announced, 1);
    QCoro::waitFor(controller.resetDatabase());
    EXPECT_EQ(announced, 2);
}

} // namespace
} // namespace tw
