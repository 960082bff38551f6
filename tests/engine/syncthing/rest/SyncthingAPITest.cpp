// The REST client against a fake server, for answers a real Syncthing won't
// give on demand: a client error, a body cut short; and the paths it must
// refuse to send. The answers of ignore updates and restores are read in
// the engine's fake-server test.

#include "engine/SyncEngineError.h"
#include "engine/syncthing/rest/SyncthingAPI.h"

#include "AwaitTask.h"
#include "FakeHttpServer.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

namespace tw {
namespace {

using Response = FakeHttpServer::Response;
class SyncthingAPITest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server.listen()); }
    SyncthingAPI api() const { return SyncthingAPI(server.baseURL(), QStringLiteral("k3y+/=")); }

    FakeHttpServer server;
};

// Qt calls a 407 a proxy error; it is still Syncthing's answer.
TEST_F(SyncthingAPITest, AClientErrorKeepsItsStatusAndBody)
{
    server.enqueue(Response::text(407, "proxy"));
    const SyncEngineError failure = failureOf(api().ping()).value();
    EXPECT_EQ(failure.kind(), SyncEngineError::Kind::Http);
    EXPECT_EQ(failure.errorDescription(), "Backend error (HTTP 407): proxy");
}

TEST_F(SyncthingAPITest, ASuccessWhoseBodyIsCutShortIsABackendFailure)
{
    // Qt sends once more when the connection closes early: every attempt gets the same.
    server.setHandler([](const FakeHttpServer::Request &) {
        return Response{.raw = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly part"};
    });
    EXPECT_EQ(failureOf(api().ping()).value().kind(), SyncEngineError::Kind::Backend);
}

TEST_F(SyncthingAPITest, DotSegmentsAreRefusedBeforeAnythingIsSent)
{
    // Qt would resolve these to another endpoint ("/rest/config" for "..").
    for (const char *id : {"..", ".", "a/../b"})
        EXPECT_EQ(failureOf(api().deleteFolder(id)).value().kind(), SyncEngineError::Kind::Backend) << id;
    EXPECT_TRUE(server.requests().isEmpty());
}

// The other kinds' texts are read where their errors arise.
TEST(SyncEngineErrorText, InvalidResponseIsTheExactUserText)
{
    const SyncEngineError error = SyncEngineError::invalidResponse();
    EXPECT_EQ(error.errorDescription(), QStringLiteral("Invalid response from the sync backend."));
    EXPECT_EQ(QString::fromUtf8(error.what()), error.errorDescription());
}

} // namespace
} // namespace tw
