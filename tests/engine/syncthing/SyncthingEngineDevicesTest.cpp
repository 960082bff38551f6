// Devices, sharing and pausing all folders against a fake Syncthing: what a
// real one won't show on demand, and the cached device ID.

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

class SyncthingEngineDevicesTest : public ::testing::Test
{
protected:
    SyncthingEngineDevicesTest() : routes(fake.server())
    {
        routes.onJson("GET /rest/system/status", json(QJsonObject{{"myID", kMyID}}));
        fake.start();
    }

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

TEST_F(SyncthingEngineDevicesTest, ThisDeviceIsStillMarkedWhenItsIDComesFromTheCache)
{
    const QJsonObject me{{"deviceID", kMyID}, {"name", "Studio"}, {"paused", false}};
    const QJsonObject peer{{"deviceID", kPeerB}, {"name", ""}, {"paused", true}};
    routes.onJson("GET /rest/config/devices", json(QJsonArray{peer, me}));
    const QList<SyncDevice> expected = {
        {kPeerB, "PEERBBB", true, false, 0, 0},
        {kMyID, "Studio", false, true, 0, 0},
    };
    // The first call reads the ID, the later ones take it from the cache.
    for (int call = 1; call <= 3; ++call)
        EXPECT_EQ(awaitTask(engine().devices()), expected) << "call " << call;
}

// Syncthing lays a patched list element by element over its own: a key left
// out would keep the value of whichever device sat at that index before.
TEST_F(SyncthingEngineDevicesTest, ShareWritesEveryEntryWhole)
{
    const QJsonArray before{QJsonObject{{"deviceID", kMyID}}, ref(kPeerA, kMyID, "secret")};
    routes.onJson("GET /rest/config/folders", json(QJsonArray{folder("tdw-0000abcd", before)}));
    routes.on("PATCH /rest/config/folders/tdw-0000abcd", Response::json(""));
    awaitTask(engine().shareFolder("tdw-0000abcd", kPeerB));
    ASSERT_EQ(sent("PATCH").size(), 1);
    const QJsonArray written{ref(kMyID), ref(kPeerA, kMyID, "secret"), ref(kPeerB)};
    EXPECT_EQ(object(sent("PATCH")[0].body), (QJsonObject{{"devices", written}}));
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
