// Turning one long-poll answer of Syncthing's event stream into events.

#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "EngineOnFakeServer.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

QList<SyncEvent> parse(const char *json)
{
    return SyncthingEngine::parseEvents(QByteArray(json));
}

SyncEvent only(const char *json)
{
    const QList<SyncEvent> events = parse(json);
    EXPECT_EQ(events.size(), 1) << json;
    return events.value(0);
}

TEST(SyncthingEngineEvents, AnswersThatYieldNoEvents)
{
    const std::vector<const char *> bodies{
        "[]",
        "",
        "not json",
        "{\"id\": 1, \"type\": \"Starting\"}", // an object, not an array
        "null",
        "[{\"id\": 1, \"type\": \"Ping\"}, 3]", // one element is not an object
        "[{\"id\": 1}, \"text\"]",
        "[[]]",
        "[{\"id\": 1, \"type\": \"Ping\"}", // cut off
    };
    for (const char *body : bodies)
        EXPECT_TRUE(parse(body).isEmpty()) << body;
}

TEST(SyncthingEngineEvents, DeviceOfConnectionEvents)
{
    struct Case
    {
        const char *json;
        std::optional<QString> device;
        std::optional<bool> connected;
    };
    const std::vector<Case> cases{
        // Syncthing's own form: the device is "id".
        {R"([{"id":5,"type":"DeviceConnected","data":{"addr":"127.0.0.2:22000","id":"AAAAAAA-B","deviceName":"b","type":"tcp-client"}}])",
         "AAAAAAA-B", true},
        {R"([{"id":6,"type":"DeviceDisconnected","data":{"error":"EOF","id":"AAAAAAA-B"}}])", "AAAAAAA-B", false},
        // "device" serves when "id" is missing or not text.
        {R"([{"id":7,"type":"DeviceDisconnected","data":{"device":"CCCCCCC"}}])", "CCCCCCC", false},
        {R"([{"id":8,"type":"DeviceConnected","data":{"id":12,"device":"DDDDDDD"}}])", "DDDDDDD", true},
        {R"([{"id":9,"type":"DeviceConnected","data":{}}])", std::nullopt, true},
        // Other events never read "id" as a device.
        {R"([{"id":10,"type":"DeviceDiscovered","data":{"device":"EEEEEEE","id":"FFFFFFF"}}])", "EEEEEEE", std::nullopt},
        {R"([{"id":11,"type":"FolderCompletion","data":{"id":"FFFFFFF"}}])", std::nullopt, std::nullopt},
        {R"([{"id":12,"type":"DeviceConnectedX","data":{"id":"FFFFFFF"}}])", std::nullopt, std::nullopt},
    };
    for (const Case &c : cases) {
        const SyncEvent event = only(c.json);
        EXPECT_EQ(event.device, c.device) << c.json;
        EXPECT_EQ(event.connected, c.connected) << c.json;
    }
}

TEST(SyncthingEngineEvents, FieldsFromEveryEvent)
{
    const QList<SyncEvent> events = parse(R"([
        {"id": 21, "globalID": 99, "time": "2025-01-01T00:00:00Z", "type": "StateChanged",
         "data": {"folder": "tdw-1", "from": "idle", "to": "syncing", "duration": 1.5}},
        {"id": 22, "type": "FolderCompletion",
         "data": {"folder": "tdw-1", "device": "AAAAAAA", "completion": 100, "needBytes": 2048, "needItems": 3}},
        {"id": 23, "type": "ItemStarted",
         "data": {"folder": "tdw-1", "item": "a/b.txt", "type": "file", "action": "update"}},
        {"id": 24, "type": "ItemFinished",
         "data": {"folder": "tdw-1", "item": "c", "type": "dir", "action": "delete", "error": null}}
    ])");
    ASSERT_EQ(events.size(), 4);

    EXPECT_EQ(events[0].id, 21);
    EXPECT_EQ(events[0].type, "StateChanged");
    EXPECT_EQ(events[0].folder, "tdw-1");
    EXPECT_EQ(events[0].stateTo, "syncing");
    EXPECT_EQ(events[0].device, std::nullopt);
    EXPECT_EQ(events[0].completion, std::nullopt);
    EXPECT_EQ(events[0].itemType, std::nullopt);

    EXPECT_EQ(events[1].device, "AAAAAAA");
    EXPECT_EQ(events[1].completion, 100.0); // an integer still reads as a fraction-capable number
    EXPECT_EQ(events[1].needBytes, 2048);
    EXPECT_EQ(events[1].stateTo, std::nullopt);

    // The item's type comes from the payload, never the event's own type.
    EXPECT_EQ(events[2].type, "ItemStarted");
    EXPECT_EQ(events[2].item, "a/b.txt");
    EXPECT_EQ(events[2].itemType, "file");
    EXPECT_EQ(events[2].action, "update");
    EXPECT_EQ(events[2].connected, std::nullopt);

    EXPECT_EQ(events[3].itemType, "dir");
    EXPECT_EQ(events[3].action, "delete");
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
    };
    const std::vector<Case> cases{
        {R"([{"type":"Ping"}])", 0, "Ping", std::nullopt, std::nullopt, std::nullopt},
        {R"([{"id":"7","type":3}])", 0, "", std::nullopt, std::nullopt, std::nullopt},
        {R"([{"id":7.5,"type":"X"}])", 0, "X", std::nullopt, std::nullopt, std::nullopt},
        {R"([{"id":9007199254740993,"type":"X"}])", 9007199254740993, "X", std::nullopt, std::nullopt, std::nullopt},
        {R"([{"id":1,"type":"X","data":"text"}])", 1, "X", std::nullopt, std::nullopt, std::nullopt},
        {R"([{"id":1,"type":"X","data":[1,2]}])", 1, "X", std::nullopt, std::nullopt, std::nullopt},
        {R"([{"id":2,"type":"X","data":{"folder":5,"completion":"100","needBytes":"1"}}])", 2, "X", std::nullopt,
         std::nullopt, std::nullopt},
        {R"([{"id":3,"type":"X","data":{"folder":"","completion":99.5,"needBytes":1.9}}])", 3, "X", "", 99.5, 1},
        {R"([{"id":4,"type":"X","data":{"folder":null,"completion":null,"needBytes":null}}])", 4, "X",
         std::nullopt, std::nullopt, std::nullopt},
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
    struct Case
    {
        const char *json;
        std::optional<QStringList> files;
    };
    const std::vector<Case> cases{
        {R"([{"id":1,"type":"RemoteDownloadProgress","data":{"device":"A","folder":"f","state":{"b.txt":3,"a/c.bin":1}}}])",
         QStringList{"a/c.bin", "b.txt"}},
        {R"([{"id":1,"type":"RemoteDownloadProgress","data":{"device":"A","folder":"f","state":{}}}])", QStringList{}},
        {R"([{"id":1,"type":"RemoteDownloadProgress","data":{"device":"A","folder":"f"}}])", std::nullopt},
        {R"([{"id":1,"type":"RemoteDownloadProgress","data":{"state":["a"]}}])", std::nullopt},
        // Another event's "state" object is not a list of files.
        {R"([{"id":1,"type":"DownloadProgress","data":{"state":{"a":1}}}])", std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(only(c.json).remoteFiles, c.files) << c.json;
}

TEST(SyncthingEngineEvents, KeepsOrderAndUnknownTypes)
{
    const QList<SyncEvent> events = parse(R"([{"id":3,"type":"A"},{"id":1,"type":"SomethingNew","data":{"folder":"x"}},{"id":2}])");
    ASSERT_EQ(events.size(), 3);
    EXPECT_EQ(events[0].id, 3);
    EXPECT_EQ(events[1].type, "SomethingNew");
    EXPECT_EQ(events[1].folder, "x");
    EXPECT_EQ(events[2].id, 2);
    EXPECT_EQ(events[2].type, "");
}

TEST(SyncthingEngineEvents, LongPollAsksForEveryEventWithoutLimit)
{
    EngineOnFakeServer rig;
    rig.start();
    rig.server().setDefaultResponse(FakeHttpServer::Response::json(R"([{"id": 42, "type": "Ping"}])"));
    const QList<SyncEvent> events = awaitTask(rig.engine().events(41));
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0].id, 42);
    ASSERT_EQ(rig.requests().size(), 1);
    EXPECT_EQ(rig.requests()[0].method, "GET");
    EXPECT_EQ(rig.requests()[0].target, "/rest/events?since=41&timeout=10");
}

TEST(SyncthingEngineEvents, LongPollFailurePassesOn)
{
    EngineOnFakeServer rig;
    rig.start();
    rig.server().setDefaultResponse(FakeHttpServer::Response::text(403, "CSRF"));
    try {
        awaitTask(rig.engine().events(0));
        FAIL() << "a refused poll answered events";
    } catch (const SyncEngineError &error) {
        EXPECT_EQ(error.kind(), SyncEngineError::Kind::Http);
        EXPECT_EQ(error.statusCode(), 403);
    }
}

} // namespace
} // namespace tw
