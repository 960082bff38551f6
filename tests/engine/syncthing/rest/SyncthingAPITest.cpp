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
#include <functional>

namespace tw {
namespace {

const QString kKey = QStringLiteral("k3y+/=");

using Response = FakeHttpServer::Response;
using Call = std::function<QCoro::Task<>(SyncthingAPI)>;

#define CALL(expr) [](SyncthingAPI a) -> QCoro::Task<> { co_await a.expr; }

class SyncthingAPITest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server.listen()); }
    SyncthingAPI api() const { return SyncthingAPI(server.baseURL(), kKey); }

    FakeHttpServer server;
};

// Qt calls a 407 a proxy error; it is still Syncthing's answer.
TEST_F(SyncthingAPITest, AClientErrorKeepsItsStatusAndBody)
{
    server.enqueue(Response::text(407, "proxy"));
    const auto failure = failureOf(api().ping());
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->kind(), SyncEngineError::Kind::Http);
    EXPECT_EQ(failure->errorDescription(), "Backend error (HTTP 407): proxy");
}

TEST_F(SyncthingAPITest, ASuccessWhoseBodyIsCutShortIsABackendFailure)
{
    // Qt sends once more when the connection closes early: every attempt gets the same.
    Response cut;
    cut.raw = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly part";
    server.setHandler([cut](const FakeHttpServer::Request &) { return cut; });
    const auto failure = failureOf(api().ping());
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->kind(), SyncEngineError::Kind::Backend) << failure->what();
}

TEST_F(SyncthingAPITest, DotSegmentsAreRefusedBeforeAnythingIsSent)
{
    // Qt would resolve these to another endpoint ("/rest/config" for "..").
    const Call calls[] = {
        CALL(deleteFolder(QStringLiteral(".."))),
        CALL(deleteFolder(QStringLiteral("."))),
        CALL(patchDevice(QStringLiteral("a/../b"), QJsonObject())),
    };
    for (const auto &call : calls) {
        const auto failure = failureOf(call(api()));
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->kind(), SyncEngineError::Kind::Backend);
    }
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
