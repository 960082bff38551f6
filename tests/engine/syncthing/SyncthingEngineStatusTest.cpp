// Folder status, cluster needs and the transfer name against a fake
// Syncthing, in the states a real one passes through only while it syncs.

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

const QString kMyID = QStringLiteral("MYSELF1-AAAAAAA");
const QString kPeerA = QStringLiteral("PEERAAA-CCCCCCC");
const QString kPeerB = QStringLiteral("PEERBBB-EEEEEEE");
const QString kPeerC = QStringLiteral("PEERCCC-GGGGGGG");

QByteArray json(const QJsonObject &value) { return QJsonDocument(value).toJson(QJsonDocument::Compact); }
QByteArray json(const QJsonArray &value) { return QJsonDocument(value).toJson(QJsonDocument::Compact); }

QJsonObject folder(const QString &id, const QStringList &deviceIDs)
{
    QJsonArray devices;
    for (const QString &deviceID : deviceIDs)
        devices.append(QJsonObject{{"deviceID", deviceID}, {"introducedBy", ""}, {"encryptionPassword", ""}});
    return QJsonObject{{"id", id},     {"label", ""},       {"path", "/data/" + id},
                       {"type", "sendreceive"}, {"paused", false}, {"devices", devices}};
}

class SyncthingEngineStatusTest : public ::testing::Test
{
protected:
    SyncthingEngineStatusTest() : routes(fake.server())
    {
        routes.onJson("GET /rest/system/status", json(QJsonObject{{"myID", kMyID}}));
        fake.start();
    }

    SyncthingEngine &engine() { return fake.engine(); }

    EngineOnFakeServer fake;
    FakeServerRoutes routes;
};

TEST_F(SyncthingEngineStatusTest, FolderStatusIsTheShareOfGlobalBytesPresentHere)
{
    const std::pair<QJsonObject, FolderStatus> cases[] = {
        {{{"state", "syncing"}, {"globalBytes", 200}, {"localBytes", 100}, {"needBytes", -3}, {"errors", 2}},
         {"tdw-1", FolderState::Syncing, 0.5, 200, 100, -3, 2}},
        {{{"state", "idle"}, {"globalBytes", 0}, {"localBytes", 50}}, {"tdw-1", FolderState::Idle, 1.0, 0, 50, 0, 0}},
        {{{"globalBytes", 10}, {"localBytes", 15}}, {"tdw-1", FolderState::Unknown, 1.0, 10, 15, 0, 0}},
    };
    for (const auto &[answer, expected] : cases) {
        routes.onJson("GET /rest/db/status", json(answer));
        EXPECT_EQ(awaitTask(engine().folderStatus("tdw-1")), expected) << json(answer).constData();
    }
}

TEST_F(SyncthingEngineStatusTest, ClusterNeedsCountConnectedPeersAndTheirNeededBytes)
{
    routes.onJson("GET /rest/config/folders", json(QJsonArray{
        folder("only-me", {kMyID}),
        folder("two-peers", {kMyID, kPeerA, kPeerB}),
        folder("failing", {kPeerC, kMyID}),
        folder("negative", {kPeerA}),
        folder("twice", {kPeerA, kPeerA}),
    }));
    routes.onJson("GET /rest/system/connections", json(QJsonObject{{"connections", QJsonObject{
        {kMyID, QJsonObject{{"connected", false}, {"address", ""}}},
        {kPeerA, QJsonObject{{"connected", true}, {"address", "127.0.0.2:1"}}},
        {kPeerC, QJsonObject{{"connected", true}, {"address", "127.0.0.3:1"}}},
        // kPeerB has no entry: not connected.
    }}}));
    routes.on("GET /rest/db/completion", [](const Request &request) {
        const QString folderID = FakeServerRoutes::queryItem(request, "folder");
        if (folderID == "failing")
            return Response::text(500, "no completion");
        if (folderID == "negative")
            return Response::json(json(QJsonObject{{"completion", 100}, {"needBytes", -7}}));
        if (folderID == "twice")
            return Response::json(json(QJsonObject{{"completion", 90}, {"needBytes", 5}}));
        return Response::json(json(QJsonObject{{"completion", 50}, {"needBytes", 1234}}));
    });
    const QMap<QString, ClusterNeed> needs = awaitTask(engine().clusterNeeds());
    const QMap<QString, ClusterNeed> expected = {
        {"only-me", {0, 0, 0}},
        {"two-peers", {1234, 1, 2}},
        {"failing", {0, 1, 1}},
        {"negative", {0, 1, 1}},
        {"twice", {10, 2, 2}},
    };
    EXPECT_EQ(needs, expected);

    // Only connected peers cost a request, never this device.
    QStringList asked;
    for (const Request &request : fake.requests()) {
        if (request.path() == "/rest/db/completion")
            asked.append(FakeServerRoutes::queryItem(request, "folder") + ":" +
                         FakeServerRoutes::queryItem(request, "device"));
    }
    EXPECT_EQ(asked, (QStringList{"two-peers:" + kPeerA, "failing:" + kPeerC, "negative:" + kPeerA,
                                  "twice:" + kPeerA, "twice:" + kPeerA}));
}

TEST_F(SyncthingEngineStatusTest, CurrentTransferNameIsTheLastPathComponent)
{
    const std::pair<QByteArray, std::optional<QString>> cases[] = {
        {R"({"progress":[{"name":"a/b/clip.mov"}],"queued":[{"name":"q.txt"}]})", QStringLiteral("clip.mov")},
        {R"({"progress":[],"queued":[{"name":"dir/q.txt"},{"name":"r"}]})", QStringLiteral("q.txt")},
        {R"({"progress":[],"queued":[]})", std::nullopt},
    };
    for (const auto &[answer, expected] : cases) {
        routes.onJson("GET /rest/db/need", answer);
        EXPECT_EQ(awaitTask(engine().currentTransferName("tdw-1")), expected) << answer.constData();
    }
}

} // namespace
} // namespace tw
