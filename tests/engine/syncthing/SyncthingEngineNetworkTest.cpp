// Network settings and byte totals against a fake Syncthing, for the answers
// a real one won't give on demand.

#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "EngineOnFakeServer.h"
#include "FakeServerRoutes.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using Response = FakeHttpServer::Response;

class SyncthingEngineNetworkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        routes.on("GET /rest/system/ping", Response::json(R"({"ping": "pong"})"));
        rig.start();
    }

    EngineOnFakeServer rig;
    FakeServerRoutes routes{rig.server()};
};

TEST_F(SyncthingEngineNetworkTest, ApplyWritesNothingWhenTheReadFails)
{
    routes.on("PATCH /rest/config/options", Response::json(""));
    for (const Response &answer : {Response::text(500, "down"), Response::json("{\"natEnabled\": \"yes\"}")}) {
        rig.server().clearRequests();
        routes.on("GET /rest/config/options", answer);
        EXPECT_THROW(awaitTask(rig.engine().applyNetworkSettings(NetworkSettings())), SyncEngineError);
        ASSERT_EQ(rig.requests().size(), 1);
        EXPECT_EQ(rig.requests()[0].method, "GET");
    }
}

TEST_F(SyncthingEngineNetworkTest, CumulativeBytesFromTheTotalOnly)
{
    const std::pair<const char *, CumulativeBytes> cases[] = {
        {R"({"connections": {"A": {"connected": true, "address": "x", "inBytesTotal": 5, "outBytesTotal": 6}},
             "total": {"inBytesTotal": 1000, "outBytesTotal": 2000}})",
         {1000, 2000}},
        {R"({"connections": {"A": {"connected": true, "address": "x", "inBytesTotal": 5, "outBytesTotal": 6}}})",
         {0, 0}},
        {R"({"connections": {}, "total": {"outBytesTotal": 8589934592}})", {0, 8589934592}},
    };
    for (const auto &[body, expected] : cases) {
        routes.onJson("GET /rest/system/connections", body);
        EXPECT_EQ(awaitTask(rig.engine().cumulativeBytes()), expected) << body;
    }
}

} // namespace
} // namespace tw
