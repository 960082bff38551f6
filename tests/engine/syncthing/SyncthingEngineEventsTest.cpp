// Turning one long-poll answer of Syncthing's event stream into events, and ending a poll in flight.

#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "EngineOnFakeServer.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

SyncEvent only(const char *json)
{
    const QList<SyncEvent> events = SyncthingEngine::parseEvents(QByteArray(json));
    EXPECT_EQ(events.size(), 1) << json;
    return events.value(0);
}

TEST(SyncthingEngineEvents, AnswersThatYieldNoEvents)
{
    for (const char *body : {"not json", R"({"id": 1, "type": "Starting"})", R"([{"id": 1}, "text"])",
                             R"([{"id": 1, "type": "Ping"})"})
        EXPECT_TRUE(SyncthingEngine::parseEvents(QByteArray(body)).isEmpty()) << body;
}

TEST(SyncthingEngineEvents, DeviceOfConnectionEvents)
{
    struct Case
    {
        const char *json;
        std::optional<QString> device;
        std::optional<bool> connected;
    } cases[] = {
        // Syncthing's own form, with the device as "id", is read in the real-instance test;
        // "device" serves when "id" is missing or not text.
        {R"([{"id":7,"type":"DeviceDisconnected","data":{"device":"CCCCCCC"}}])", "CCCCCCC", false},
        {R"([{"id":8,"type":"DeviceConnected","data":{"id":12,"device":"DDDDDDD"}}])", "DDDDDDD", true},
        // Other events never read "id" as a device.
        {R"([{"id":10,"type":"DeviceDiscovered","data":{"device":"EEEEEEE","id":"FFFFFFF"}}])", "EEEEEEE", std::nullopt},
    };
    for (const Case &c : cases) {
        const SyncEvent event = only(c.json);
        EXPECT_EQ(event.device, c.device) << c.json;
        EXPECT_EQ(event.connected, c.connected) << c.json;
    }
}

TEST(SyncthingEngineEvents, FieldsInOrderAndUnknownTypesKept)
{
    const QList<SyncEvent> events = SyncthingEngine::parseEvents(R"([
        {"id": 21, "type": "StateChanged", "data": {"folder": "tdw-1", "from": "idle", "to": "syncing"}},
        {"id": 23, "type": "ItemStarted", "data": {"folder": "tdw-1", "item": "a/b.txt", "type": "file", "action": "update"}},
        {"id": 3, "type": "SomethingNew"}
    ])");
    ASSERT_EQ(events.size(), 3);
    EXPECT_EQ(events[0].stateTo, "syncing");
    EXPECT_EQ(events[0].itemType, std::nullopt);
    // The item's type comes from the payload, never the event's own type.
    EXPECT_EQ(events[1].type, "ItemStarted");
    EXPECT_EQ(events[1].itemType, "file");
    EXPECT_EQ(events[1].action, "update");
    EXPECT_EQ(events[1].item, "a/b.txt");
    EXPECT_EQ(events[2].id, 3);
    EXPECT_EQ(events[2].type, "SomethingNew");
}

TEST(SyncthingEngineEvents, LenientFields)
{
    struct Case
    {
        const char *json;
        qint64 id;
        QString type;
        std::optional<QString> folder;
        std::optional<double> completion;
        std::optional<qint64> needBytes;
    } cases[] = {
        {R"([{"id":"7","type":3}])", 0, "", std::nullopt, std::nullopt, std::nullopt},
        {R"([{"id":7.5,"type":"X"}])", 0, "X", std::nullopt, std::nullopt, std::nullopt},
        {R"([{"id":9007199254740993,"type":"X","data":"text"}])", 9007199254740993, "X", std::nullopt, std::nullopt,
         std::nullopt},
        {R"([{"id":2,"type":"X","data":{"folder":5,"completion":"100","needBytes":"1"}}])", 2, "X", std::nullopt,
         std::nullopt, std::nullopt},
        {R"([{"id":3,"type":"X","data":{"folder":"","completion":99.5,"needBytes":1.9}}])", 3, "X", "", 99.5, 1},
    };
    for (const Case &c : cases) {
        const SyncEvent event = only(c.json);
        EXPECT_EQ(event.id, c.id) << c.json;
        EXPECT_EQ(event.type, c.type) << c.json;
        EXPECT_EQ(event.folder, c.folder) << c.json;
        EXPECT_EQ(event.completion, c.completion) << c.json;
        EXPECT_EQ(event.needBytes, c.needBytes) << c.json;
    }
}

TEST(SyncthingEngineEvents, RemoteDownloadProgress)
{
    const std::pair<const char *, std::optional<QStringList>> cases[] = {
        {R"([{"id":1,"type":"RemoteDownloadProgress","data":{"device":"A","folder":"f","state":{"b.txt":3,"a/c.bin":1}}}])",
         QStringList{"a/c.bin", "b.txt"}},
        {R"([{"id":1,"type":"RemoteDownloadProgress","data":{"device":"A","folder":"f"}}])", std::nullopt},
        // Another event's "state" object is not a list of files.
        {R"([{"id":1,"type":"DownloadProgress","data":{"state":{"a":1}}}])", std::nullopt},
    };
    for (const auto &[json, files] : cases)
        EXPECT_EQ(only(json).remoteFiles, files) << json;
}

TEST(SyncthingEngineEvents, CancelEndsTheLongPollInFlight)
{
    EngineOnFakeServer rig;
    rig.start();
    FakeHttpServer::Response held = FakeHttpServer::Response::json("[]");
    held.delayMs = 60'000;
    rig.server().enqueue(held);
    auto poll = rig.engine().events(0);
    rig.engine().cancelEvents();
    EXPECT_THROW(awaitTask(std::move(poll)), SyncEngineError);  // the answer would come after a minute
}

} // namespace
} // namespace tw
