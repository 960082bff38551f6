// Devices, sharing, pending offers and pausing all folders, against a fake
// Syncthing: exact requests, and answers a real one won't give on demand.

#include "engine/SyncEngineError.h"
#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "EngineOnFakeServer.h"
#include "FakeServerRoutes.h"
#include "QtPrinters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace tw {
namespace {

using Request = FakeHttpServer::Request;
using Response = FakeHttpServer::Response;

const QString kMyID = QStringLiteral("MYSELF1-AAAAAAA-BBBBBBB");
const QString kPeerA = QStringLiteral("PEERAAA-CCCCCCC-DDDDDDD");
const QString kPeerB = QStringLiteral("PEERBBB-EEEEEEE-FFFFFFF");
const QString kPeerC = QStringLiteral("PEERCCC-GGGGGGG-HHHHHHH");

QByteArray json(const QJsonValue &value)
{
    return value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                           : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

QJsonObject object(const QByteArray &body) { return QJsonDocument::fromJson(body).object(); }

QJsonObject folder(const QString &id, const QJsonArray &devices = {})
{
    return QJsonObject{{"id", id},     {"label", id},       {"path", "/data/" + id},
                       {"type", "sendreceive"}, {"paused", false}, {"devices", devices}};
}

QJsonObject ref(const QString &id, const QString &introducedBy = {}, const QString &password = {})
{
    return QJsonObject{{"deviceID", id}, {"introducedBy", introducedBy}, {"encryptionPassword", password}};
}

QJsonObject device(const QString &id, const QString &name)
{
    return QJsonObject{{"deviceID", id}, {"name", name}, {"paused", false}};
}

class SyncthingEngineDevicesTest : public ::testing::Test
{
protected:
    SyncthingEngineDevicesTest() : routes(fake.server())
    {
        routes.on("GET /rest/system/ping", Response::json("{\"ping\":\"pong\"}"));
        routes.onJson("GET /rest/system/status", json(QJsonObject{{"myID", kMyID}}));
    }
    void SetUp() override { fake.start(); }

    SyncthingEngine &engine() { return fake.engine(); }
    QList<Request> sent(const QByteArray &method) const
    {
        QList<Request> matching;
        for (const Request &request : fake.requests()) {
            if (request.method == method)
                matching.append(request);
        }
        return matching;
    }

    EngineOnFakeServer fake;
    FakeServerRoutes routes;
};

// ---- devices ---------------------------------------------------------------

TEST_F(SyncthingEngineDevicesTest, DevicesKeepSyncthingsOrderAndMarkThisDeviceOnEveryCall)
{
    QJsonObject limited = device(kPeerB, "");
    limited.insert("paused", true);
    limited.insert("maxRecvKbps", 100);
    limited.insert("maxSendKbps", 20);
    routes.onJson("GET /rest/config/devices", json(QJsonArray{limited, device(kMyID, "Studio"), device("SHORT", "")}));
    const QList<SyncDevice> expected = {
        {kPeerB, "PEERBBB", true, false, 100, 20},
        {kMyID, "Studio", false, true, 0, 0},
        {"SHORT", "SHORT", false, false, 0, 0},
    };
    // The second call takes this device's ID from the engine's cache.
    EXPECT_EQ(awaitTask(engine().devices()), expected);
    EXPECT_EQ(awaitTask(engine().devices()), expected);
}

TEST_F(SyncthingEngineDevicesTest, DevicesWithoutThisDevicesIDMarkNoneAsThisDevice)
{
    routes.on("GET /rest/system/status", Response::text(500, "status broken"));
    routes.onJson("GET /rest/config/devices", json(QJsonArray{device(kMyID, "Studio")}));
    EXPECT_FALSE(awaitTask(engine().devices()).value(0).isThisDevice);
}

TEST_F(SyncthingEngineDevicesTest, AddDeviceSendsTheWholeRecordAndPausingOnlyTheFlag)
{
    struct Case
    {
        const char *name;
        std::optional<QStringList> addresses;
        bool introducer;
        QJsonArray sentAddresses;
    } cases[] = {
        {"absent addresses are discovered", std::nullopt, false, {"dynamic"}},
        {"an empty list stays empty", QStringList{}, true, {}},
    };
    routes.on("PUT /rest/config/devices/" + kPeerA.toUtf8(), Response::json(""));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fake.server().clearRequests();
        const SyncDevice added = awaitTask(engine().addDevice({kPeerA, "", c.addresses, c.introducer}));
        EXPECT_EQ(added, (SyncDevice{kPeerA, "", false, false, 0, 0}));
        ASSERT_EQ(sent("PUT").size(), 1);
        const QJsonObject expected{{"deviceID", kPeerA}, {"name", ""},         {"addresses", c.sentAddresses},
                                   {"paused", false},    {"numConnections", 5}, {"introducer", c.introducer}};
        EXPECT_EQ(object(sent("PUT")[0].body), expected);
    }

    routes.on("PATCH /rest/config/devices/" + kPeerA.toUtf8(), Response::json(""));
    awaitTask(engine().setDevicePaused(kPeerA, true));
    ASSERT_EQ(sent("PATCH").size(), 1);
    EXPECT_EQ(object(sent("PATCH")[0].body), (QJsonObject{{"paused", true}}));
}

TEST_F(SyncthingEngineDevicesTest, ConnectionsFillMissingFieldsAndLeaveTheTotalOut)
{
    routes.onJson("GET /rest/system/connections", json(QJsonObject{
        {"connections", QJsonObject{
            {kPeerA, QJsonObject{{"connected", true}, {"address", "127.0.0.2:22000"}, {"type", "tcp-client"},
                                 {"inBytesTotal", 10}, {"outBytesTotal", 20}, {"clientVersion", "v1.29.5"},
                                 {"isLocal", true}, {"crypto", "TLS1.3-TLS_AES_128_GCM_SHA256"}}},
            {kPeerB, QJsonObject{{"connected", false}, {"address", ""}}},
        }},
        {"total", QJsonObject{{"inBytesTotal", 999}, {"outBytesTotal", 999}}},
    }));
    const QList<DeviceConnection> expected = {
        {kPeerA, true, "127.0.0.2:22000", "tcp-client", 10, 20, 0, 0, "v1.29.5", true, "TLS1.3-TLS_AES_128_GCM_SHA256"},
        {kPeerB, false, "", "", 0, 0, 0, 0, "", false, ""},
    };
    EXPECT_EQ(awaitTask(engine().connections()), expected);
}

// ---- sharing ---------------------------------------------------------------

TEST_F(SyncthingEngineDevicesTest, ShareAndUnshareWriteEveryEntryWhole)
{
    struct Case
    {
        const char *name;
        bool share;
        QString device;
        QJsonArray before;
        QJsonArray written;
    } cases[] = {
        {"share appends with empty introducer and password", true, kPeerC,
         {ref(kMyID), ref(kPeerA, kPeerB, "secret")},
         {ref(kMyID), ref(kPeerA, kPeerB, "secret"), ref(kPeerC)}},
        {"sharing again sends the list unchanged", true, kPeerA,
         {ref(kMyID), ref(kPeerA, kPeerB, "secret")},
         {ref(kMyID), ref(kPeerA, kPeerB, "secret")}},
        // The removed entry's values must not slide onto the entry that takes its index.
        {"unshare keeps the others' introducer and password", false, kPeerA,
         {ref(kMyID), ref(kPeerA, kMyID, "pw-a"), ref(kPeerB, kPeerC, "pw-b")},
         {ref(kMyID), ref(kPeerB, kPeerC, "pw-b")}},
        {"unshare removes every duplicate", false, kPeerA, {ref(kPeerA), ref(kMyID), ref(kPeerA)}, {ref(kMyID)}},
        {"unsharing the last device sends an empty list", false, kPeerA, {ref(kPeerA)}, {}},
        {"keys Syncthing left out are written empty", true, kPeerB, {QJsonObject{{"deviceID", kPeerC}}},
         {ref(kPeerC), ref(kPeerB)}},
    };
    routes.on("PATCH /rest/config/folders/tdw-0000abcd", Response::json(""));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        routes.onJson("GET /rest/config/folders",
                      json(QJsonArray{folder("other", {ref(kPeerB)}), folder("tdw-0000abcd", c.before)}));
        fake.server().clearRequests();
        awaitTask(c.share ? engine().shareFolder("tdw-0000abcd", c.device)
                          : engine().unshareFolder("tdw-0000abcd", c.device));
        ASSERT_EQ(sent("PATCH").size(), 1);
        EXPECT_EQ(object(sent("PATCH")[0].body), (QJsonObject{{"devices", c.written}}));
    }
}

TEST_F(SyncthingEngineDevicesTest, SharingAnUnknownFolderFailsWithoutAPatch)
{
    routes.onJson("GET /rest/config/folders", json(QJsonArray{folder("tdw-0000abcd", {ref(kMyID)})}));
    for (const auto &error : {failureOf(engine().shareFolder("tdw-0000ABCD", kPeerA)),
                              failureOf(engine().unshareFolder("tdw-0000ABCD", kMyID))}) {
        ASSERT_TRUE(error);
        EXPECT_EQ(error->errorDescription(), "Folder not found: tdw-0000ABCD");
    }
    EXPECT_TRUE(sent("PATCH").isEmpty());
}

TEST_F(SyncthingEngineDevicesTest, ConcurrentSharesOfOneFolderBothLand)
{
    // Slow reads: without serialising, both would read the list before either write.
    auto devices = std::make_shared<QJsonArray>(QJsonArray{ref(kMyID)});
    routes.on("GET /rest/config/folders", [devices](const Request &) {
        Response response = Response::json(json(QJsonArray{folder("tdw-0000abcd", *devices)}));
        response.delayMs = 50;
        return response;
    });
    routes.on("PATCH /rest/config/folders/tdw-0000abcd", [devices](const Request &request) {
        *devices = object(request.body).value("devices").toArray();
        return Response::json("");
    });
    auto both = [](SyncthingEngine *engine) -> QCoro::Task<void> {
        auto first = engine->shareFolder("tdw-0000abcd", kPeerA);
        auto second = engine->shareFolder("tdw-0000abcd", kPeerB);
        co_await std::move(first);
        co_await std::move(second);
    };
    awaitTask(both(&engine()));
    EXPECT_EQ(*devices, (QJsonArray{ref(kMyID), ref(kPeerA), ref(kPeerB)}));
}

// ---- pending offers ----------------------------------------------------------

TEST_F(SyncthingEngineDevicesTest, PendingDevicesNameThemselvesOrGoByTheShortID)
{
    routes.onJson("GET /rest/cluster/pending/devices", json(QJsonObject{
        {kPeerA, QJsonObject{{"name", "Laptop"}, {"address", "127.0.0.5:22000"}, {"time", "2026-01-01T00:00:00Z"}}},
        {kPeerB, QJsonObject{{"name", ""}}},
        {kPeerC, QJsonObject{}},
    }));
    const QList<PendingDevice> expected = {
        {kPeerA, "Laptop", "127.0.0.5:22000"},
        {kPeerB, "PEERBBB", ""},
        {kPeerC, "PEERCCC", ""},
    };
    EXPECT_EQ(awaitTask(engine().pendingDevices()), expected);
}

TEST_F(SyncthingEngineDevicesTest, PendingFoldersGiveOneEntryPerOfferingDevice)
{
    routes.onJson("GET /rest/config/devices",
                  json(QJsonArray{device(kPeerA, "Laptop"), device(kPeerB, ""), device(kPeerA, "Later duplicate")}));
    routes.onJson("GET /rest/cluster/pending/folders", json(QJsonObject{
        {"shared", QJsonObject{{"offeredBy", QJsonObject{
            {kPeerA, QJsonObject{{"label", "Film"}}},
            {kPeerB, QJsonObject{{"label", ""}}},
            {kPeerC, QJsonObject{}},
            {"", QJsonObject{{"label", "nobody"}}},
        }}}},
        {"", QJsonObject{{"offeredBy", QJsonObject{{kPeerA, QJsonObject{{"label", "no id"}}}}}}},
    }));
    const QList<PendingFolder> expected = {
        {"shared", "Film", kPeerA, "Laptop"},
        {"shared", "shared", kPeerB, "PEERBBB"},
        {"shared", "shared", kPeerC, "PEERCCC"},
    };
    EXPECT_EQ(awaitTask(engine().pendingFolders()), expected);

    routes.on("GET /rest/config/devices", Response::text(500, "config broken"));
    EXPECT_EQ(failureOf(engine().pendingFolders())->statusCode(), 500);
}

// ---- pausing every folder ------------------------------------------------------

TEST_F(SyncthingEngineDevicesTest, SetAllPausedStopsAtTheFirstFailure)
{
    routes.onJson("GET /rest/config/folders", json(QJsonArray{folder("one"), folder("two"), folder("three")}));
    routes.on("PATCH /rest/config/folders/one", Response::json(""));
    routes.on("PATCH /rest/config/folders/two", Response::text(500, "cannot pause"));
    routes.on("PATCH /rest/config/folders/three", Response::json(""));
    const auto error = failureOf(engine().setAllPaused(true));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorDescription(), "Backend error (HTTP 500): cannot pause");
    const QList<Request> patches = sent("PATCH");
    ASSERT_EQ(patches.size(), 2);
    EXPECT_EQ(patches[0].path(), "/rest/config/folders/one");
    EXPECT_EQ(object(patches[0].body), (QJsonObject{{"paused", true}}));
    EXPECT_EQ(patches[1].path(), "/rest/config/folders/two");
}

} // namespace
} // namespace tw
