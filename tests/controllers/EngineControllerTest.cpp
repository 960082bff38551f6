#include "controllers/EngineController.h"

#include "FakeSyncEngine.h"
#include "ManualClock.h"
#include "WaitUntil.h"
#include "app/BandwidthSchedule.h"
#include "controllers/EventController.h"
#include "utilities/UserDefaults.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <qcoro/qcorotask.h>
#include <qcoro/qcorotimer.h>

using namespace std::chrono_literals;

namespace tw {
namespace {

const QString downKey = QStringLiteral("manualDownLimitKbps");
const QString upKey = QStringLiteral("manualUpLimitKbps");

class EngineControllerTest : public ::testing::Test
{
protected:
    EngineControllerTest()
        : defaults(dir.filePath(QStringLiteral("TidewellSync/defaults.json"))),
          controller(engine, defaults, clock.clock(), QTimeZone::utc())
    {
    }

    QTemporaryDir dir;
    FakeSyncEngine engine;
    UserDefaults defaults;
    ManualClock clock;
    EngineController controller;
};

TEST_F(EngineControllerTest, StartsWithEverythingOnAndNothingKnown)
{
    EXPECT_FALSE(controller.status().isRunning);
    EXPECT_EQ(controller.status().engineName, QStringLiteral("Syncthing"));
    EXPECT_TRUE(controller.network().natTraversalEnabled);
    EXPECT_TRUE(controller.network().relayEnabled);
    EXPECT_TRUE(controller.network().localDiscoveryEnabled);
    EXPECT_TRUE(controller.network().globalDiscoveryEnabled);
    EXPECT_EQ(controller.network().downLimitKbps, 0);
    EXPECT_TRUE(controller.binaryAvailable());
    EXPECT_TRUE(engine.calls.isEmpty());
}

// --- Throughput --------------------------------------------------------------

struct Sample
{
    qint64 afterMs;
    qint64 in;
    qint64 out;
    double down;
    double up;
    bool fails = false;
};

struct ThroughputCase
{
    const char *name;
    QList<Sample> samples;
};

class ThroughputTest : public EngineControllerTest, public ::testing::WithParamInterface<ThroughputCase>
{
};

TEST_P(ThroughputTest, RatesFromTheCounters)
{
    int step = 0;
    for (const Sample &sample : GetParam().samples) {
        clock.advanceMs(sample.afterMs);
        engine.state.cumulativeBytes = CumulativeBytes{sample.in, sample.out};
        if (sample.fails)
            engine.failNext(QStringLiteral("cumulativeBytes"), SyncEngineError::notRunning());
        QCoro::waitFor(controller.sampleThroughput());
        EXPECT_NEAR(controller.downRate(), sample.down, 1e-6) << "sample " << step;
        EXPECT_NEAR(controller.upRate(), sample.up, 1e-6) << "sample " << step;
        ++step;
    }
    EXPECT_FALSE(controller.lastErrorMessage().has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Baseline, ThroughputTest,
    ::testing::Values(
        ThroughputCase{"FirstSampleOnlySetsTheBaseline", {{0, 5000, 5000, 0, 0}}},
        ThroughputCase{"TwoSecondsApart", {{0, 1000, 500, 0, 0}, {2000, 5000, 2500, 2000, 1000}}},
        ThroughputCase{"TooCloseKeepsRatesButMovesTheBaseline",
                       {{0, 0, 0, 0, 0},
                        {1000, 1000, 1000, 1000, 1000},
                        {100, 9000, 9000, 1000, 1000},
                        {1000, 10000, 9500, 1000, 500}}},
        ThroughputCase{"ClockBackwardsKeepsRates",
                       {{0, 0, 0, 0, 0}, {1000, 1000, 1000, 1000, 1000}, {-5000, 3000, 3000, 1000, 1000},
                        {1000, 4000, 3000, 1000, 0}}},
        ThroughputCase{"CounterDropIsZeroNotNegative",
                       {{0, 9000, 9000, 0, 0}, {1000, 10, 9500, 0, 500}}},
        ThroughputCase{"FailedSampleChangesNothing",
                       {{0, 0, 0, 0, 0}, {1000, 1000, 1000, 1000, 1000}, {1000, 0, 0, 1000, 1000, true},
                        {1000, 5000, 3000, 2000, 1000}}}),
    [](const auto &info) { return std::string(info.param.name); });

// --- Bandwidth schedule ------------------------------------------------------

// Monday 4 March 2024 in UTC, the controller's calendar in these tests.
QDateTime at(int hour, int day = 4)
{
    return QDateTime(QDate(2024, 3, day), QTime(hour, 0), Qt::UTC);
}

BandwidthSchedule schedule(bool enabled)
{
    BandwidthSchedule s;
    s.enabled = enabled;
    s.startHour = 8;
    s.endHour = 18;
    s.weekdays = {1, 2, 3, 4, 5, 6, 7};
    s.throttledDownKbps = 50;
    s.throttledUpKbps = 10;
    return s;
}

struct ScheduleCall
{
    bool enabled;
    int hour;  // 8 to 17 is inside the window
    bool fails = false;
};

struct ScheduleCase
{
    const char *name;
    QList<ScheduleCall> calls;
    QStringList sent;
};

class BandwidthScheduleTest : public EngineControllerTest, public ::testing::WithParamInterface<ScheduleCase>
{
};

TEST_P(BandwidthScheduleTest, PushesOnlyWhenTheStateChanges)
{
    defaults.setInteger(downKey, 500);
    defaults.setInteger(upKey, 100);
    bool anyFailed = false;
    for (const ScheduleCall &call : GetParam().calls) {
        if (call.fails)
            engine.failNext(QStringLiteral("setGlobalBandwidth"), SyncEngineError::http(500, QStringLiteral("no")));
        anyFailed |= call.fails;
        QCoro::waitFor(controller.applyBandwidthSchedule(schedule(call.enabled), at(call.hour)));
    }
    EXPECT_EQ(engine.callsOf(QStringLiteral("setGlobalBandwidth")), GetParam().sent);
    EXPECT_EQ(controller.lastErrorMessage().has_value(), anyFailed);
}

const QString throttled = QStringLiteral("setGlobalBandwidth(50, 10)");
const QString manual = QStringLiteral("setGlobalBandwidth(500, 100)");

INSTANTIATE_TEST_SUITE_P(
    Table, BandwidthScheduleTest,
    ::testing::Values(
        ScheduleCase{"OnOutsideTheWindowPushesManualOnce", {{true, 20}, {true, 21}, {true, 7}}, {manual}},
        ScheduleCase{"OnInsideTheWindowPushesThrottledOnce", {{true, 10}, {true, 11}}, {throttled}},
        ScheduleCase{"EnteringTheWindow", {{true, 20}, {true, 8}}, {manual, throttled}},
        ScheduleCase{"LeavingTheWindow", {{true, 17}, {true, 18}}, {throttled, manual}},
        ScheduleCase{"OffWhileThrottledRestoresManualOnce", {{true, 10}, {false, 10}, {false, 10}}, {throttled, manual}},
        ScheduleCase{"OffWhileUnthrottledSendsNothingButForgets",
                     {{true, 20}, {false, 20}, {true, 20}},
                     {manual, manual}},
        ScheduleCase{"OffFromTheStartSendsNothing", {{false, 10}, {false, 20}}, {}},
        ScheduleCase{"FailedThrottleIsTriedAgain", {{true, 10, true}, {true, 10}, {true, 10}}, {throttled, throttled}},
        ScheduleCase{"FailedRestoreIsTriedAgain",
                     {{true, 10}, {false, 10, true}, {false, 10}, {false, 10}},
                     {throttled, manual, manual}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(EngineControllerTest, ManualPairFallsBackToTheShownNetwork)
{
    QCoro::waitFor(controller.applyBandwidthSchedule(schedule(true), at(20)));
    EXPECT_EQ(engine.callsOf(QStringLiteral("setGlobalBandwidth")), QStringList{QStringLiteral("setGlobalBandwidth(0, 0)")});
}

TEST_F(EngineControllerTest, ManualUpDefaultsToZeroWhenOnlyDownIsStored)
{
    defaults.setInteger(downKey, 300);
    QCoro::waitFor(controller.applyBandwidthSchedule(schedule(true), at(20)));
    EXPECT_EQ(engine.callsOf(QStringLiteral("setGlobalBandwidth")), QStringList{QStringLiteral("setGlobalBandwidth(300, 0)")});
}

TEST_F(EngineControllerTest, ScheduleHoursAreReadInTheUsersZone)
{
    EngineController eastern(engine, defaults, clock.clock(), QTimeZone(2 * 3600));
    // 07:00 UTC is 09:00 two hours east: inside the 8-18 window.
    QCoro::waitFor(eastern.applyBandwidthSchedule(schedule(true), at(7)));
    EXPECT_EQ(engine.callsOf(QStringLiteral("setGlobalBandwidth")), QStringList{throttled});
}

TEST_F(EngineControllerTest, AppliedNetworkMakesTheScheduleApplyAgain)
{
    QCoro::waitFor(controller.applyBandwidthSchedule(schedule(true), at(10)));
    NetworkSettings settings = controller.network();
    settings.downLimitKbps = 800;
    settings.upLimitKbps = 200;
    QCoro::waitFor(controller.applyNetwork(settings));
    QCoro::waitFor(controller.applyBandwidthSchedule(schedule(true), at(10)));
    EXPECT_EQ(engine.callsOf(QStringLiteral("setGlobalBandwidth")), (QStringList{throttled, throttled}));
    QCoro::waitFor(controller.applyBandwidthSchedule(schedule(true), at(20)));
    EXPECT_EQ(engine.callsOf(QStringLiteral("setGlobalBandwidth")).last(),
              QStringLiteral("setGlobalBandwidth(800, 200)"));
}

// --- Manual limits -----------------------------------------------------------

struct SeedCase
{
    const char *name;
    std::optional<QJsonValue> storedDown;
    std::optional<QJsonValue> storedUp;
    qint64 shownDown;
    qint64 shownUp;
    std::optional<qint64> keptDown;
    std::optional<qint64> keptUp;
};

class ManualLimitSeedTest : public EngineControllerTest, public ::testing::WithParamInterface<SeedCase>
{
};

TEST_P(ManualLimitSeedTest, LoadNetworkShowsAndSeedsTheManualLimits)
{
    if (GetParam().storedDown)
        defaults.setValue(downKey, *GetParam().storedDown);
    if (GetParam().storedUp)
        defaults.setValue(upKey, *GetParam().storedUp);
    // The engine may hold the schedule's throttled limits right now.
    engine.state.network.downLimitKbps = 50;
    engine.state.network.upLimitKbps = 10;
    engine.state.network.customRelayURL = QStringLiteral("relay://127.0.0.9:22067");

    QCoro::waitFor(controller.loadNetwork());

    EXPECT_EQ(controller.network().downLimitKbps, GetParam().shownDown);
    EXPECT_EQ(controller.network().upLimitKbps, GetParam().shownUp);
    EXPECT_EQ(controller.network().customRelayURL, QStringLiteral("relay://127.0.0.9:22067"));
    EXPECT_EQ(defaults.integer(downKey), GetParam().keptDown);
    EXPECT_EQ(defaults.integer(upKey), GetParam().keptUp);
    // What is kept is on disk, not only in memory.
    UserDefaults reread(defaults.filePath());
    EXPECT_EQ(reread.integer(downKey), GetParam().keptDown);
}

INSTANTIATE_TEST_SUITE_P(
    Stored, ManualLimitSeedTest,
    ::testing::Values(SeedCase{"NothingStoredSeedsFromTheEngine", std::nullopt, std::nullopt, 50, 10, 50, 10},
                      SeedCase{"OnlyUpStoredCountsAsNothing", std::nullopt, QJsonValue(77), 50, 10, 50, 10},
                      SeedCase{"OnlyDownStoredShowsZeroUp", QJsonValue(500), std::nullopt, 500, 0, 500, std::nullopt},
                      SeedCase{"BothStoredOverrideTheEngine", QJsonValue(500), QJsonValue(100), 500, 100, 500, 100},
                      SeedCase{"MistypedDownCountsAsNothing", QJsonValue(QStringLiteral("500")), QJsonValue(100), 50,
                               10, 50, 10},
                      SeedCase{"BooleanDownCountsAsNothing", QJsonValue(true), QJsonValue(100), 50, 10, 50, 10}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(EngineControllerTest, FailedLoadChangesNothing)
{
    engine.failNext(QStringLiteral("networkSettings"), SyncEngineError::notRunning());
    const NetworkSettings before = controller.network();
    QCoro::waitFor(controller.loadNetwork());
    EXPECT_EQ(controller.network(), before);
    EXPECT_FALSE(defaults.contains(downKey));
    EXPECT_FALSE(controller.lastErrorMessage().has_value());
}

TEST_F(EngineControllerTest, ApplyNetworkStoresTheManualLimits)
{
    NetworkSettings settings;
    settings.downLimitKbps = 1200;
    settings.upLimitKbps = 300;
    QCoro::waitFor(controller.applyNetwork(settings));
    EXPECT_EQ(controller.network(), settings);
    EXPECT_EQ(engine.state.network, settings);
    EXPECT_EQ(defaults.integer(downKey), 1200);
    EXPECT_EQ(defaults.integer(upKey), 300);

    NetworkSettings refused = settings;
    refused.downLimitKbps = 1;
    engine.failNext(QStringLiteral("applyNetworkSettings"), SyncEngineError::http(400, QStringLiteral("bad")));
    QCoro::waitFor(controller.applyNetwork(refused));
    EXPECT_EQ(controller.network(), settings);
    EXPECT_EQ(defaults.integer(downKey), 1200);
    EXPECT_EQ(controller.lastErrorMessage(), SyncEngineError::http(400, QStringLiteral("bad")).errorDescription());
}

// --- Start, status, operations -----------------------------------------------

TEST_F(EngineControllerTest, SuccessfulStartClearsTheErrorAndAnnouncesItself)
{
    int announced = 0;
    QObject::connect(&controller, &EngineController::engineStarted, [&announced] { ++announced; });
    controller.setLastErrorMessage(QStringLiteral("older failure"));

    QCoro::waitFor(controller.start());

    EXPECT_FALSE(controller.lastErrorMessage().has_value());
    EXPECT_TRUE(controller.status().isRunning);
    EXPECT_EQ(announced, 1);
    EXPECT_EQ(engine.callNames(), (QStringList{QStringLiteral("start"), QStringLiteral("status")}));
}

TEST_F(EngineControllerTest, MissingProgramMarksTheBinaryUnavailableForGood)
{
    int announced = 0;
    QObject::connect(&controller, &EngineController::engineStarted, [&announced] { ++announced; });
    const SyncEngineError missing = SyncEngineError::binaryNotFound(QStringLiteral("Install Syncthing."));
    engine.failNext(QStringLiteral("start"), missing);

    QCoro::waitFor(controller.start());
    EXPECT_FALSE(controller.binaryAvailable());
    EXPECT_EQ(controller.lastErrorMessage(), missing.errorDescription());
    EXPECT_EQ(engine.callNames(), (QStringList{QStringLiteral("start"), QStringLiteral("status")}));
    EXPECT_EQ(announced, 0);

    QCoro::waitFor(controller.start());
    EXPECT_FALSE(controller.lastErrorMessage().has_value());
    EXPECT_FALSE(controller.binaryAvailable());
    EXPECT_EQ(announced, 1);
}

TEST_F(EngineControllerTest, OtherStartFailureKeepsTheBinaryAvailable)
{
    engine.failNext(QStringLiteral("start"), SyncEngineError::backend(QStringLiteral("port in use")));
    QCoro::waitFor(controller.start());
    EXPECT_TRUE(controller.binaryAvailable());
    EXPECT_EQ(controller.lastErrorMessage(), QStringLiteral("port in use"));
    EXPECT_FALSE(controller.status().isRunning);
}

TEST_F(EngineControllerTest, EveryStatusWriteNotifies)
{
    int notified = 0;
    QObject::connect(&controller, &EngineController::statusChanged, [&notified] { ++notified; });
    controller.setStatus(controller.status());
    QCoro::waitFor(controller.refreshStatus());
    QCoro::waitFor(controller.refreshStatus());
    EXPECT_EQ(notified, 3);
}

TEST_F(EngineControllerTest, OtherPropertiesNotifyOnlyOnChange)
{
    int notified = 0;
    const auto count = [&notified] { ++notified; };
    QObject::connect(&controller, &EngineController::deviceNameChanged, count);
    QObject::connect(&controller, &EngineController::networkChanged, count);
    QObject::connect(&controller, &EngineController::lastErrorMessageChanged, count);
    QObject::connect(&controller, &EngineController::downRateChanged, count);
    QObject::connect(&controller, &EngineController::upRateChanged, count);
    defaults.setInteger(downKey, 0);
    defaults.setInteger(upKey, 0);
    engine.state.network = controller.network();

    controller.storeDeviceName(QString());
    controller.setLastErrorMessage(std::nullopt);
    QCoro::waitFor(controller.loadNetwork());
    QCoro::waitFor(controller.sampleThroughput());
    clock.advanceMs(2000);
    QCoro::waitFor(controller.sampleThroughput());
    EXPECT_EQ(notified, 0);
}

QCoro::Task<void> pauseTwiceAtOnce(EngineController *controller)
{
    auto first = controller->toggleAllPaused();
    auto second = controller->toggleAllPaused();
    co_await first;
    co_await second;
}

QCoro::Task<void> shortWait(QString)
{
    co_await QCoro::sleepFor(2ms);
}

TEST_F(EngineControllerTest, OverlappingTogglesSendTheSameTarget)
{
    engine.beforeAnswer = shortWait;
    QCoro::waitFor(pauseTwiceAtOnce(&controller));
    EXPECT_EQ(engine.callsOf(QStringLiteral("setAllPaused")),
              (QStringList{QStringLiteral("setAllPaused(true)"), QStringLiteral("setAllPaused(true)")}));
    EXPECT_TRUE(controller.isAllPaused());
}

TEST_F(EngineControllerTest, FailedToggleKeepsTheSwitch)
{
    engine.failNext(QStringLiteral("setAllPaused"), SyncEngineError::notRunning());
    QCoro::waitFor(controller.toggleAllPaused());
    EXPECT_FALSE(controller.isAllPaused());
    EXPECT_EQ(controller.lastErrorMessage(), SyncEngineError::notRunning().errorDescription());
    QCoro::waitFor(controller.toggleAllPaused());
    EXPECT_TRUE(controller.isAllPaused());
    // Only start and database reset clear an older message.
    EXPECT_TRUE(controller.lastErrorMessage().has_value());
}

TEST_F(EngineControllerTest, RenameAlwaysAsksTheEngineAndKeepsTheNameOnFailure)
{
    controller.storeDeviceName(QStringLiteral("Studio"));
    QCoro::waitFor(controller.setDeviceName(QStringLiteral("Studio")));
    EXPECT_EQ(engine.callsOf(QStringLiteral("setLocalDeviceName")), QStringList{QStringLiteral("setLocalDeviceName(Studio)")});

    engine.failNext(QStringLiteral("setLocalDeviceName"), SyncEngineError::http(500, QStringLiteral("x")));
    QCoro::waitFor(controller.setDeviceName(QStringLiteral(" Edit Bay ")));
    EXPECT_EQ(controller.deviceName(), QStringLiteral("Studio"));
    QCoro::waitFor(controller.setDeviceName(QStringLiteral(" Edit Bay ")));
    EXPECT_EQ(controller.deviceName(), QStringLiteral(" Edit Bay "));
    EXPECT_EQ(engine.state.localDeviceName, QStringLiteral(" Edit Bay "));
}

TEST_F(EngineControllerTest, DatabaseResetReportsAndAlwaysRefreshesStatus)
{
    engine.failNext(QStringLiteral("resetDatabase"), SyncEngineError::backend(QStringLiteral("busy")));
    QCoro::waitFor(controller.resetDatabase());
    EXPECT_EQ(controller.lastErrorMessage(), QStringLiteral("busy"));
    QCoro::waitFor(controller.resetDatabase());
    EXPECT_FALSE(controller.lastErrorMessage().has_value());
    EXPECT_EQ(engine.callNames(), (QStringList{QStringLiteral("resetDatabase"), QStringLiteral("status"),
                                              QStringLiteral("resetDatabase"), QStringLiteral("status")}));
}

// --- Engine restarts and the event poller -------------------------------------

QCoro::Task<void> yieldBriefly(std::chrono::milliseconds)
{
    co_await QCoro::sleepFor(1ms);
}

SyncEvent connectedEvent()
{
    SyncEvent event;
    event.type = QStringLiteral("DeviceConnected");
    return event;
}

// A restarted engine numbers its events from 1 again. Wired to the start
// signal, the poller starts over and hears the new engine at once instead of
// waiting until the new numbering passes the old one.
TEST_F(EngineControllerTest, RestartedEngineRestartsThePoller)
{
    auto poller = std::make_unique<EventController>(engine, yieldBriefly);
    int connects = 0;
    poller->setOnDeviceChange([&connects] { ++connects; });
    QObject::connect(&controller, &EngineController::engineStarted, poller.get(), &EventController::start);

    for (int i = 0; i < 5; ++i)
        engine.pushEvent(connectedEvent());
    QCoro::waitFor(controller.start());
    ASSERT_TRUE(waitUntil([&] { return connects == 5; }));
    ASSERT_TRUE(waitUntil([&] { return engine.callsOf(QStringLiteral("events")).contains(QStringLiteral("events(5)")); }));

    // The engine dies and comes back with a fresh event counter.
    engine.state.events.clear();
    engine.failNext(QStringLiteral("start"), SyncEngineError::backend(QStringLiteral("not yet")));
    QCoro::waitFor(controller.start());
    engine.pushEvent(connectedEvent());
    runEventLoopFor(20);
    EXPECT_EQ(connects, 5);  // still asking after event 5: nothing heard

    QCoro::waitFor(controller.start());
    EXPECT_TRUE(waitUntil([&] { return connects == 6; }));
    EXPECT_EQ(engine.callsOf(QStringLiteral("events")).count(QStringLiteral("events(0)")), 2);

    poller.reset();
    runEventLoopFor(5);
}

} // namespace
} // namespace tw
