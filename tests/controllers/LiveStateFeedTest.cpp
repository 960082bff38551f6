#include "controllers/LiveStateFeed.h"

#include "controllers/DeviceController.h"
#include "controllers/EventController.h"
#include "controllers/FolderController.h"

#include "AwaitTask.h"
#include "FakeSyncEngine.h"
#include "ManualClock.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>
#include <qcoro/qcorotimer.h>

using namespace std::chrono_literals;

namespace tw {
namespace {

const QString a = "tdw-0000000a";
const QString b = "tdw-0000000b";
const QString peer = "PEER-D";

SyncFolder folder(const QString &id)
{
    SyncFolder result;
    result.id = id;
    result.sharedDeviceIDs = {FakeSyncEngine::State().localDeviceID, peer};
    return result;
}

SyncEvent event(QString type, std::optional<QString> folder = {})
{
    SyncEvent e;
    e.type = std::move(type);
    e.folder = std::move(folder);
    return e;
}

SyncEvent indexMoved(const QString &folder, qint64 sequence)
{
    SyncEvent e = event("FolderCompletion", folder);
    e.device = peer;
    e.completion = 100;
    e.takesPart = true;
    e.indexSequence = sequence;
    return e;
}

SyncEvent stateChange(const QString &folder, FolderState from, FolderState to)
{
    SyncEvent e = event("StateChanged", folder);
    e.fromState = from;
    e.toState = to;
    e.toStateWord = toRawValue(to);
    return e;
}

QCoro::Task<void> pauseBriefly(std::shared_ptr<int> ended)
{
    co_await QCoro::sleepFor(1ms);
    ++*ended;
}

class LiveStateFeedTest : public ::testing::Test
{
protected:
    LiveStateFeedTest()
    {
        engine.state.folders = {folder(a), folder(b)};
        DeviceConnection connected;
        connected.id = peer;
        connected.connected = true;
        engine.state.connections = {connected};
        engine.state.folderStatuses[b] = {.id = b, .state = FolderState::Idle, .globalBytes = 9};
    }

    // Hands the events to the poller, waits until it has found the stream
    // quiet again, and answers the reads of one polling cycle.
    QString cycleAfter(const QList<SyncEvent> &pushed)
    {
        for (const SyncEvent &e : pushed)
            engine.pushEvent(e);
        const int pauses = *pausesEnded;
        EXPECT_TRUE(waitUntil([&] { return *pausesEnded > pauses + 1; }));
        const qsizetype before = engine.callLog().size();
        awaitTask(folders.syncFolderList());
        awaitTask(devices.refresh());
        QStringList reads = engine.callLog().mid(before);
        reads.removeIf([](const QString &call) { return call.startsWith("events("); });
        return reads.join(' ');
    }

    FakeSyncEngine engine;
    ManualClock clock;
    std::shared_ptr<int> pausesEnded = std::make_shared<int>(0);
    EventController events{engine, [this](std::chrono::milliseconds) { return pauseBriefly(pausesEnded); }};
    FolderController folders{engine, clock.clock()};
    DeviceController devices{engine, clock.clock()};
    LiveStateFeed feed{engine, events, folders, devices, clock.clock()};
};

TEST_F(LiveStateFeedTest, ALightReloadReadsOnlyWhatTheEventsLeftOpen)
{
    const QString full = "folders() folderStatus(tdw-0000000a) folderStatus(tdw-0000000b) "
                         "peerCompletion(tdw-0000000a, PEER-D) peerCompletion(tdw-0000000b, PEER-D) "
                         "devices() localDeviceID() connections()";
    const QString fullIdle = full.chopped(QString(" connections()").size());
    SyncEvent undecodable = event("FolderCompletion", a);
    undecodable.undecodable = true;
    const auto idle = FolderState::Idle;
    const auto error = FolderState::Error;
    events.start();
    EXPECT_EQ(cycleAfter({}), "folders() folderStatus(tdw-0000000a) folderStatus(tdw-0000000b) "
                              "devices() localDeviceID() connections() "
                              "peerCompletion(tdw-0000000a, PEER-D) peerCompletion(tdw-0000000b, PEER-D)");
    const struct
    {
        const char *situation;
        QList<SyncEvent> events;
        std::function<void()> before;
        QString reads;
    } rows[] = {
        // Nothing moves: the connections wait for the idle pace.
        {"nothing changed", {}, {}, ""},
        {"a state change outside errors", {stateChange(b, idle, FolderState::Scanning)}, {}, "connections()"},
        {"a folder leaving an error", {stateChange(a, error, idle)}, {}, "folderStatus(tdw-0000000a) connections()"},
        {"a folder paused", {event("FolderPaused", b)}, {}, "folderStatus(tdw-0000000b)"},
        {"resumed, then idle", {event("FolderResumed", b), stateChange(b, FolderState::Scanning, idle)}, {},
         "folderStatus(tdw-0000000b)"},
        {"a scan ended on a folder with content", {stateChange(b, FolderState::Scanning, idle)}, {}, ""},
        {"a scan ended on a folder counted empty", {stateChange(a, FolderState::Scanning, idle)}, {}, "folderStatus(tdw-0000000a)"},
        {"a config change", {event("ConfigSaved")}, {}, "folders() devices() localDeviceID()"},
        // Counted before the index came, as a summary may be.
        {"another Mac's index came to a folder counted empty", {indexMoved(a, 3)}, {}, "folderStatus(tdw-0000000a)"},
        {"the same index told again", {indexMoved(a, 3)}, {}, ""},
        {"another Mac's index came to a folder with content", {indexMoved(b, 3)}, {}, ""},
        {"a device paused", {event("DevicePaused")}, {}, "devices() localDeviceID()"},
        {"an undecodable event", {undecodable}, {}, fullIdle},
        {"a gap in the IDs", {}, [this] { engine.state.events.last().id += 3; }, fullIdle},
        {"the poller started again", {}, [this] { events.start(); }, fullIdle},
        {"the backstop due", {}, [this] { clock.advanceMs(5 * 60 * 1000); }, full},
    };
    for (const auto &row : rows) {
        if (row.before)
            row.before();
        EXPECT_EQ(cycleAfter(row.events), row.reads) << row.situation;
    }
    // A summary is the status, error text included, with no read at all.
    FolderStatus summary;
    summary.id = a;
    summary.state = error;
    summary.error = "folder path missing";
    SyncEvent summaryEvent = event("FolderSummary", a);
    summaryEvent.summary = summary;
    EXPECT_EQ(cycleAfter({summaryEvent}), "");
    EXPECT_EQ(folders.status(a), summary);
    EXPECT_EQ(folders.folderErrors(), (FolderTextMap{{a, "folder path missing"}}));
    EXPECT_EQ(cycleAfter({stateChange(b, FolderState::Idle, FolderState::Scanning)}), "connections()");
    EXPECT_EQ(folders.status(b).stateWord, "scanning");
    // An opened status counts as unread until its read has landed.
    engine.hold("folderStatus");
    engine.pushEvent(indexMoved(a, 9));
    ASSERT_TRUE(waitUntil([this] { return folders.unreadStatuses().contains(a); }));
    QCoro::Task<void> reading = folders.syncFolderList();
    ASSERT_TRUE(waitUntil([this] { return engine.waiting("folderStatus") == 1; }));
    EXPECT_TRUE(folders.unreadStatuses().contains(a));
    engine.release("folderStatus");
    awaitTask(std::move(reading));
    EXPECT_FALSE(folders.unreadStatuses().contains(a));
}

TEST_F(LiveStateFeedTest, ConnectionsAreReadEveryCycleOnlyWhileATransferIsPossible)
{
    const auto device = [](QString type, QString id, std::optional<qint64> need = {}) {
        SyncEvent e = event(std::move(type), a);
        e.device = std::move(id);
        e.completion = 50;
        e.needBytes = need;
        return e;
    };
    const auto moveBytes = [this](qint64 bytes) { engine.state.connections[0].inBytesTotal += bytes; };
    events.start();
    ASSERT_TRUE(cycleAfter({}).contains("connections()"));
    const struct
    {
        const char *situation;
        QList<SyncEvent> events;
        qint64 laterMs;
        std::function<void()> before;
        bool reads;
    } rows[] = {
        {"nothing moves", {}, 2000, {}, false},
        {"still quiet before the idle pace", {}, 26000, {}, false},
        {"the idle pace", {}, 2000, {}, true},
        {"a download in progress", {event("DownloadProgress")}, 2000, {}, true},
        {"within 10 s of it", {}, 9000, {}, true},
        {"10 s after it", {}, 2000, {}, false},
        {"a peer downloading from us", {event("RemoteDownloadProgress")}, 2000, {}, true},
        {"10 s after that", {}, 10000, {}, false},
        {"a device just connected", {device("DeviceConnected", peer)}, 2000, {}, true},
        {"10 s after it connected", {}, 10000, {}, false},
        {"a folder syncing", {stateChange(a, FolderState::Idle, FolderState::Syncing)}, 2000, {}, true},
        {"a folder scanning", {stateChange(a, FolderState::Syncing, FolderState::Scanning)}, 2000, {}, true},
        {"the folder idle again", {stateChange(a, FolderState::Scanning, FolderState::Idle)}, 2000, {}, false},
        {"a connected peer needing bytes", {device("FolderCompletion", peer, 4096)}, 2000, {}, true},
        {"the peer needing nothing", {device("FolderCompletion", peer, 0)}, 2000, {}, false},
        {"a device away needing everything", {device("FolderCompletion", "AWAY", 4096)}, 2000, {}, false},
        {"bytes moved unannounced, seen at the idle pace", {}, 28000, [&] { moveBytes(1 << 20); }, true},
        {"a rate above 0 keeps the pace", {}, 2000, {}, true},
        {"a sample with nothing moved", {}, 2000, {}, false},
    };
    for (const auto &row : rows) {
        clock.advanceMs(row.laterMs);
        if (row.before)
            row.before();
        EXPECT_EQ(cycleAfter(row.events).contains("connections()"), row.reads) << row.situation;
    }
}

} // namespace
} // namespace tw
