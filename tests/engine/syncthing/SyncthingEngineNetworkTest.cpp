// Network settings, global limits and byte totals against a fake Syncthing:
// which requests go out, with what, and what is sent when nothing may be.

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

QJsonObject bodyOf(const Request &request)
{
    return QJsonDocument::fromJson(request.body).object();
}

template <typename T>
std::optional<SyncEngineError> failureOf(QCoro::Task<T> task)
{
    try {
        awaitTask(std::move(task));
    } catch (const SyncEngineError &error) {
        return error;
    }
    return std::nullopt;
}

class SyncthingEngineNetworkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Unrouted requests get 404, the engine's liveness probe included.
        routes.on("GET /rest/system/ping", Response::json(R"({"ping": "pong"})"));
        rig.start();
    }

    SyncthingEngine &engine() { return rig.engine(); }

    EngineOnFakeServer rig;
    FakeServerRoutes routes{rig.server()};
};

TEST_F(SyncthingEngineNetworkTest, ApplyMergesIntoTheCurrentLists)
{
    routes.onJson("GET /rest/config/options", R"({
        "listenAddresses": ["tcp://127.0.0.1:4000", "relay://127.0.0.1:9"],
        "globalAnnounceServers": ["default", "https://127.0.0.1:8/"],
        "natEnabled": false})");
    routes.on("PATCH /rest/config/options", Response::json(""));

    NetworkSettings settings;
    settings.customRelayURL = "relay://127.0.0.1:1";
    settings.alwaysLocalNets = "10.0.0.0/8\r\n\n 192.168.0.0/16 ";
    settings.downLimitKbps = 100;
    awaitTask(engine().applyNetworkSettings(settings));

    const QList<Request> &requests = rig.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[1].method, "PATCH");
    EXPECT_EQ(requests[1].target, "/rest/config/options");
    QJsonObject expected;
    expected.insert("natEnabled", false);
    expected.insert("relaysEnabled", false);
    expected.insert("localAnnounceEnabled", false);
    expected.insert("globalAnnounceEnabled", false);
    expected.insert("maxRecvKbps", 100);
    expected.insert("maxSendKbps", 0);
    expected.insert("globalAnnounceServers", QJsonArray{"default"});
    expected.insert("listenAddresses", QJsonArray{"tcp://127.0.0.1:4000", "relay://127.0.0.1:1"});
    expected.insert("alwaysLocalNets", QJsonArray{"10.0.0.0/8", "192.168.0.0/16"});
    EXPECT_EQ(bodyOf(requests[1]), expected);
}

TEST_F(SyncthingEngineNetworkTest, ApplyWritesNothingWhenTheReadFails)
{
    const std::vector<Response> answers{Response::text(500, "down"), Response::json("{\"natEnabled\": \"yes\"}")};
    for (const Response &answer : answers) {
        rig.server().clearRequests();
        routes.on("GET /rest/config/options", answer);
        EXPECT_TRUE(failureOf(engine().applyNetworkSettings(NetworkSettings())));
        ASSERT_EQ(rig.requests().size(), 1);
        EXPECT_EQ(rig.requests()[0].method, "GET");
    }
}

TEST_F(SyncthingEngineNetworkTest, GlobalBandwidthPatchesOnlyTheLimits)
{
    routes.on("PATCH /rest/config/options", Response::json(""));
    awaitTask(engine().setGlobalBandwidth(250, 75));
    ASSERT_EQ(rig.requests().size(), 1);
    QJsonObject expected;
    expected.insert("maxRecvKbps", 250);
    expected.insert("maxSendKbps", 75);
    EXPECT_EQ(bodyOf(rig.requests()[0]), expected);
}

TEST_F(SyncthingEngineNetworkTest, PatchFailurePassesOnUnchanged)
{
    routes.on("PATCH /rest/config/options", Response::text(400, "bad limits"));
    const std::optional<SyncEngineError> error = failureOf(engine().setGlobalBandwidth(1, 2));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), SyncEngineError::Kind::Http);
    EXPECT_EQ(error->statusCode(), 400);
    EXPECT_EQ(error->payload(), "bad limits");
}

TEST_F(SyncthingEngineNetworkTest, CumulativeBytesFromTheTotalOnly)
{
    struct Case
    {
        const char *body;
        CumulativeBytes expected;
    };
    const std::vector<Case> cases{
        {R"({"connections": {"A": {"connected": true, "address": "x", "inBytesTotal": 5, "outBytesTotal": 6}},
             "total": {"inBytesTotal": 1000, "outBytesTotal": 2000}})",
         {1000, 2000}},
        {R"({"connections": {"A": {"connected": true, "address": "x", "inBytesTotal": 5, "outBytesTotal": 6}}})",
         {0, 0}},
        {R"({"connections": {}, "total": {"outBytesTotal": 8589934592}})", {0, 8589934592}},
        {R"({"connections": {}, "total": {}})", {0, 0}},
    };
    for (const Case &c : cases) {
        routes.onJson("GET /rest/system/connections", c.body);
        EXPECT_EQ(awaitTask(engine().cumulativeBytes()), c.expected) << c.body;
    }
}

TEST_F(SyncthingEngineNetworkTest, SettingsReadFromOptions)
{
    routes.onJson("GET /rest/config/options", R"({"listenAddresses": ["default"], "maxSendKbps": 12})");
    const NetworkSettings settings = awaitTask(engine().networkSettings());
    EXPECT_TRUE(settings.natTraversalEnabled); // absent switches read as on
    EXPECT_EQ(settings.upLimitKbps, 12);
    EXPECT_EQ(settings.customRelayURL, "");
}

TEST(SyncthingEngineNetworkStopped, FailNotRunningAndSendNothing)
{
    EngineOnFakeServer rig;
    SyncthingEngine &engine = rig.engine();
    const std::vector<std::pair<const char *, std::optional<SyncEngineError>>> failures{
        {"networkSettings", failureOf(engine.networkSettings())},
        {"applyNetworkSettings", failureOf(engine.applyNetworkSettings(NetworkSettings()))},
        {"setGlobalBandwidth", failureOf(engine.setGlobalBandwidth(1, 1))},
        {"cumulativeBytes", failureOf(engine.cumulativeBytes())},
        {"events", failureOf(engine.events(0))},
    };
    for (const auto &[name, error] : failures) {
        ASSERT_TRUE(error) << name;
        EXPECT_EQ(error->kind(), SyncEngineError::Kind::NotRunning) << name;
    }
    EXPECT_TRUE(rig.requests().isEmpty());
}

} // namespace
} // namespace tw
