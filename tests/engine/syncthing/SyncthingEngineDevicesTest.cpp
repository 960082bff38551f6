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
#include <functional>

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

std::optional<SyncEngineError> failureOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const SyncEngineError &error) {
        return error;
    }
    return std::nullopt;
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
    // The requests with the given method, in order.
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

TEST(SyncthingEngineDevicesStoppedTest, EveryOperationFailsNotRunningWithoutARequest)
{
    EngineOnFakeServer fake;  // never started
    SyncthingEngine &engine = fake.engine();
    const std::pair<const char *, std::function<void()>> calls[] = {
        {"devices", [&] { awaitTask(engine.devices()); }},
        {"addDevice", [&] { awaitTask(engine.addDevice({kPeerA, "A", std::nullopt, false})); }},
        {"setDevicePaused", [&] { awaitTask(engine.setDevicePaused(kPeerA, true)); }},
        {"connections", [&] { awaitTask(engine.connections()); }},
        {"shareFolder", [&] { awaitTask(engine.shareFolder("f", kPeerA)); }},
        {"unshareFolder", [&] { awaitTask(engine.unshareFolder("f", kPeerA)); }},
        {"pendingDevices", [&] { awaitTask(engine.pendingDevices()); }},
        {"pendingFolders", [&] { awaitTask(engine.pendingFolders()); }},
        {"dismissPendingDevice", [&] { awaitTask(engine.dismissPendingDevice(kPeerA)); }},
        {"dismissPendingFolder", [&] { awaitTask(engine.dismissPendingFolder("f", kPeerA)); }},
        {"setAllPaused", [&] { awaitTask(engine.setAllPaused(true)); }},
        {"folderStatus", [&] { awaitTask(engine.folderStatus("f")); }},
        {"clusterNeeds", [&] { awaitTask(engine.clusterNeeds()); }},
        {"deviceCompletion", [&] { awaitTask(engine.deviceCompletion("f", kPeerA)); }},
        {"currentTransferName", [&] { awaitTask(engine.currentTransferName("f")); }},
    };
    for (const auto &[name, call] : calls) {
        SCOPED_TRACE(name);
        const auto error = failureOf(call);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), SyncEngineError::Kind::NotRunning);
    }
    EXPECT_TRUE(fake.requests().isEmpty());
}

// ---- devices ---------------------------------------------------------------

TEST_F(SyncthingEngineDevicesTest, DevicesKeepSyncthingsOrderAndFallBackToTheShortID)
{
    routes.onJson("GET /rest/config/devices", json(QJsonArray{
        QJsonObject{{"deviceID", kPeerB}, {"name", ""}, {"paused", true}, {"maxRecvKbps", 100}, {"maxSendKbps", 20}},
        QJsonObject{{"deviceID", kMyID}, {"name", "Studio"}, {"paused", false}},
        QJsonObject{{"deviceID", "SHORT"}, {"name", ""}, {"paused", false}},
    }));
    const QList<SyncDevice> devices = awaitTask(engine().devices());
    const QList<SyncDevice> expected = {
        {kPeerB, "PEERBBB", true, false, 100, 20},
        {kMyID, "Studio", false, true, 0, 0},
        {"SHORT", "SHORT", false, false, 0, 0},
    };
    EXPECT_EQ(devices, expected);
}

TEST_F(SyncthingEngineDevicesTest, DevicesWithoutThisDevicesIDMarkNoneAsThisDevice)
{
    routes.on("GET /rest/system/status", Response::text(500, "status broken"));
    routes.onJson("GET /rest/config/devices", json(QJsonArray{
        QJsonObject{{"deviceID", kMyID}, {"name", "Studio"}, {"paused", false}},
    }));
    const QList<SyncDevice> devices = awaitTask(engine().devices());
    ASSERT_EQ(devices.size(), 1);
    EXPECT_FALSE(devices[0].isThisDevice);
}

TEST_F(SyncthingEngineDevicesTest, DevicesMarkThisDeviceOnEveryCall)
{
    routes.onJson("GET /rest/config/devices", json(QJsonArray{
        QJsonObject{{"deviceID", kMyID}, {"name", "Studio"}, {"paused", false}},
    }));
    // Later calls take this device's ID from the engine's cache.
    for (int call = 1; call <= 3; ++call) {
        SCOPED_TRACE(call);
        const QList<SyncDevice> devices = awaitTask(engine().devices());
        ASSERT_EQ(devices.size(), 1);
        EXPECT_TRUE(devices[0].isThisDevice);
    }
}

TEST_F(SyncthingEngineDevicesTest, AddDeviceSendsTheWholeRecordAndReadsNothingBack)
{
    struct Case
    {
        const char *name;
        std::optional<QStringList> addresses;
        bool introducer;
        QJsonArray sentAddresses;
    };
    const Case cases[] = {
        {"absent addresses are discovered", std::nullopt, false, {"dynamic"}},
        {"an empty list stays empty", QStringList{}, true, {}},
        {"given addresses unchanged", QStringList{"tcp://127.0.0.2:22000", "quic://127.0.0.2:22000"}, false,
         {"tcp://127.0.0.2:22000", "quic://127.0.0.2:22000"}},
    };
    routes.on("PUT /rest/config/devices/" + kPeerA.toUtf8(), Response::json(""));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fake.server().clearRequests();
        const SyncDevice added = awaitTask(engine().addDevice({kPeerA, "", c.addresses, c.introducer}));
        EXPECT_EQ(added, (SyncDevice{kPeerA, "", false, false, 0, 0}));
        ASSERT_EQ(fake.requests().size(), 1);
        const Request &put = fake.requests()[0];
        EXPECT_EQ(put.method, "PUT");
        const QJsonObject expected{{"deviceID", kPeerA}, {"name", ""},         {"addresses", c.sentAddresses},
                                   {"paused", false},    {"numConnections", 5}, {"introducer", c.introducer}};
        EXPECT_EQ(object(put.body), expected);
    }
}

TEST_F(SyncthingEngineDevicesTest, SetDevicePausedPatchesOnlyThePausedFlag)
{
    routes.on("PATCH /rest/config/devices/" + kPeerA.toUtf8(), Response::json(""));
    awaitTask(engine().setDevicePaused(kPeerA, true));
    awaitTask(engine().setDevicePaused(kPeerA, false));
    const QList<Request> patches = sent("PATCH");
    ASSERT_EQ(patches.size(), 2);
    EXPECT_EQ(object(patches[0].body), (QJsonObject{{"paused", true}}));
    EXPECT_EQ(object(patches[1].body), (QJsonObject{{"paused", false}}));
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
    const QList<DeviceConnection> connections = awaitTask(engine().connections());
    const QList<DeviceConnection> expected = {
        {kPeerA, true, "127.0.0.2:22000", "tcp-client", 10, 20, 0, 0, "v1.29.5", true, "TLS1.3-TLS_AES_128_GCM_SHA256"},
        {kPeerB, false, "", "", 0, 0, 0, 0, "", false, ""},
    };
    EXPECT_EQ(connections, expected);
}

// ---- sharing ---------------------------------------------------------------

struct ShareCase
{
    const char *name;
    bool share;
    QString device;
    QJsonArray before;
    QJsonArray written;
};

TEST_F(SyncthingEngineDevicesTest, ShareAndUnshareWriteEveryEntryWhole)
{
    const QJsonObject bare{{"deviceID", kPeerC}};
    const ShareCase cases[] = {
        {"share appends a new device with empty introducer and password", true, kPeerC,
         {ref(kMyID), ref(kPeerA, kPeerB, "secret")},
         {ref(kMyID), ref(kPeerA, kPeerB, "secret"), ref(kPeerC)}},
        {"sharing with a device that has it sends the list unchanged", true, kPeerA,
         {ref(kMyID), ref(kPeerA, kPeerB, "secret")},
         {ref(kMyID), ref(kPeerA, kPeerB, "secret")}},
        // The removed entry's introducer and password must not slide onto the
        // entry that takes its index.
        {"unshare keeps the others' introducer and password", false, kPeerA,
         {ref(kMyID), ref(kPeerA, kMyID, "pw-a"), ref(kPeerB, kPeerC, "pw-b")},
         {ref(kMyID), ref(kPeerB, kPeerC, "pw-b")}},
        {"unshare removes every duplicate", false, kPeerA,
         {ref(kPeerA), ref(kMyID), ref(kPeerA)},
         {ref(kMyID)}},
        {"unsharing the last device sends an empty list", false, kPeerA, {ref(kPeerA)}, {}},
        {"unsharing a device that does not have it still patches", false, kPeerC, {ref(kMyID)}, {ref(kMyID)}},
        {"this device is an ordinary entry", false, kMyID, {ref(kMyID), ref(kPeerA)}, {ref(kPeerA)}},
        {"keys Syncthing left out are written empty", true, kPeerB, {bare}, {ref(kPeerC), ref(kPeerB)}},
        {"of duplicates the first entry's values win", true, kPeerB,
         {ref(kPeerA, kMyID, "first"), ref(kPeerA, kPeerC, "second")},
         {ref(kPeerA, kMyID, "first"), ref(kPeerA, kMyID, "first"), ref(kPeerB)}},
    };
    routes.on("PATCH /rest/config/folders/tdw-0000abcd", Response::json(""));
    for (const ShareCase &c : cases) {
        SCOPED_TRACE(c.name);
        routes.onJson("GET /rest/config/folders",
                      json(QJsonArray{folder("other", {ref(kPeerB)}), folder("tdw-0000abcd", c.before)}));
        fake.server().clearRequests();
        if (c.share)
            awaitTask(engine().shareFolder("tdw-0000abcd", c.device));
        else
            awaitTask(engine().unshareFolder("tdw-0000abcd", c.device));
        const QList<Request> patches = sent("PATCH");
        ASSERT_EQ(patches.size(), 1);
        EXPECT_EQ(object(patches[0].body), (QJsonObject{{"devices", c.written}}));
    }
}

TEST_F(SyncthingEngineDevicesTest, SharingAnUnknownFolderFailsWithoutAPatch)
{
    routes.onJson("GET /rest/config/folders", json(QJsonArray{folder("tdw-0000abcd", {ref(kMyID)})}));
    const std::pair<const char *, std::function<void()>> calls[] = {
        {"share", [&] { awaitTask(engine().shareFolder("tdw-0000ABCD", kPeerA)); }},
        {"unshare", [&] { awaitTask(engine().unshareFolder("tdw-0000ABCD", kMyID)); }},
    };
    for (const auto &[name, call] : calls) {
        SCOPED_TRACE(name);
        const auto error = failureOf(call);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), SyncEngineError::Kind::Backend);
        EXPECT_EQ(error->errorDescription(), "Folder not found: tdw-0000ABCD");
    }
    EXPECT_TRUE(sent("PATCH").isEmpty());
}

TEST_F(SyncthingEngineDevicesTest, ConcurrentSharesOfOneFolderBothLand)
{
    // A Syncthing that keeps the folder's devices and answers slowly, so that
    // without serialising both reads would see the list before either write.
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
    QList<QByteArray> methods;
    for (const Request &request : fake.requests())
        methods.append(request.method);
    EXPECT_EQ(methods, (QList<QByteArray>{"GET", "PATCH", "GET", "PATCH"}));
}

// ---- pending offers ----------------------------------------------------------

TEST_F(SyncthingEngineDevicesTest, PendingDevicesNameThemselvesOrGoByTheShortID)
{
    routes.onJson("GET /rest/cluster/pending/devices", json(QJsonObject{
        {kPeerA, QJsonObject{{"name", "Laptop"}, {"address", "127.0.0.5:22000"}, {"time", "2026-01-01T00:00:00Z"}}},
        {kPeerB, QJsonObject{{"name", ""}}},
        {kPeerC, QJsonObject{}},
    }));
    const QList<PendingDevice> pending = awaitTask(engine().pendingDevices());
    const QList<PendingDevice> expected = {
        {kPeerA, "Laptop", "127.0.0.5:22000"},
        {kPeerB, "PEERBBB", ""},
        {kPeerC, "PEERCCC", ""},
    };
    EXPECT_EQ(pending, expected);
}

TEST_F(SyncthingEngineDevicesTest, PendingFoldersGiveOneEntryPerOfferingDevice)
{
    routes.onJson("GET /rest/config/devices", json(QJsonArray{
        QJsonObject{{"deviceID", kPeerA}, {"name", "Laptop"}, {"paused", false}},
        QJsonObject{{"deviceID", kPeerB}, {"name", ""}, {"paused", false}},
        QJsonObject{{"deviceID", kPeerA}, {"name", "Later duplicate"}, {"paused", false}},
    }));
    routes.onJson("GET /rest/cluster/pending/folders", json(QJsonObject{
        {"shared", QJsonObject{{"offeredBy", QJsonObject{
            {kPeerA, QJsonObject{{"label", "Film"}}},
            {kPeerB, QJsonObject{{"label", ""}}},
            {kPeerC, QJsonObject{}},
            {"", QJsonObject{{"label", "nobody"}}},
        }}}},
        {"", QJsonObject{{"offeredBy", QJsonObject{{kPeerA, QJsonObject{{"label", "no id"}}}}}}},
    }));
    const QList<PendingFolder> pending = awaitTask(engine().pendingFolders());
    const QList<PendingFolder> expected = {
        {"shared", "Film", kPeerA, "Laptop"},
        {"shared", "shared", kPeerB, "PEERBBB"},
        {"shared", "shared", kPeerC, "PEERCCC"},
    };
    EXPECT_EQ(pending, expected);
}

TEST_F(SyncthingEngineDevicesTest, PendingFoldersFailWhenTheDeviceListFails)
{
    routes.on("GET /rest/config/devices", Response::text(500, "config broken"));
    routes.onJson("GET /rest/cluster/pending/folders", "{}");
    const auto error = failureOf([&] { awaitTask(engine().pendingFolders()); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), SyncEngineError::Kind::Http);
    EXPECT_EQ(error->statusCode(), 500);
}

TEST_F(SyncthingEngineDevicesTest, DismissingNamesTheOfferExactly)
{
    routes.on("DELETE /rest/cluster/pending/devices", Response::json(""));
    routes.on("DELETE /rest/cluster/pending/folders", Response::json(""));
    awaitTask(engine().dismissPendingDevice(kPeerA));
    awaitTask(engine().dismissPendingFolder("a b+c", kPeerB));
    const QList<Request> deletes = sent("DELETE");
    ASSERT_EQ(deletes.size(), 2);
    EXPECT_EQ(FakeServerRoutes::queryItem(deletes[0], "device"), kPeerA);
    EXPECT_EQ(FakeServerRoutes::queryItem(deletes[1], "folder"), "a b+c");
    EXPECT_EQ(FakeServerRoutes::queryItem(deletes[1], "device"), kPeerB);
}

// ---- pausing every folder ------------------------------------------------------

TEST_F(SyncthingEngineDevicesTest, SetAllPausedStopsAtTheFirstFailure)
{
    routes.onJson("GET /rest/config/folders", json(QJsonArray{folder("one"), folder("two"), folder("three")}));
    routes.on("PATCH /rest/config/folders/one", Response::json(""));
    routes.on("PATCH /rest/config/folders/two", Response::text(500, "cannot pause"));
    routes.on("PATCH /rest/config/folders/three", Response::json(""));
    const auto error = failureOf([&] { awaitTask(engine().setAllPaused(true)); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorDescription(), "Backend error (HTTP 500): cannot pause");
    const QList<Request> patches = sent("PATCH");
    ASSERT_EQ(patches.size(), 2);
    EXPECT_EQ(patches[0].path(), "/rest/config/folders/one");
    EXPECT_EQ(object(patches[0].body), (QJsonObject{{"paused", true}}));
    EXPECT_EQ(patches[1].path(), "/rest/config/folders/two");
}

TEST_F(SyncthingEngineDevicesTest, SetAllPausedResumesEachFolderAndNothingMore)
{
    struct Case
    {
        const char *name;
        QJsonArray folders;
        QList<QByteArray> patchedPaths;
    };
    const Case cases[] = {
        {"no folders sends only the read", {}, {}},
        {"each folder in Syncthing's order", {folder("b"), folder("a")},
         {"/rest/config/folders/b", "/rest/config/folders/a"}},
    };
    routes.on("PATCH /rest/config/folders/a", Response::json(""));
    routes.on("PATCH /rest/config/folders/b", Response::json(""));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        routes.onJson("GET /rest/config/folders", json(c.folders));
        fake.server().clearRequests();
        awaitTask(engine().setAllPaused(false));
        QList<QByteArray> paths;
        for (const Request &patch : sent("PATCH")) {
            paths.append(patch.path());
            EXPECT_EQ(object(patch.body), (QJsonObject{{"paused", false}}));
        }
        EXPECT_EQ(paths, c.patchedPaths);
        EXPECT_EQ(fake.requests().size(), 1 + c.patchedPaths.size());
    }
}

} // namespace
} // namespace tw
