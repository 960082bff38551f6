// The REST client against a fake server, for answers a real Syncthing won't
// give on demand: odd statuses, redirects, a body cut short; and the paths it
// must refuse to send. The answers of ignore updates and restores are read in
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

TEST_F(SyncthingAPITest, StatusDecidesSuccessAndErrorsKeepTheirStatusAndBody)
{
    Response redirect = Response::text(302, "moved");
    redirect.headers = {{"Location", server.baseURL().toEncoded() + "/elsewhere"}};
    struct Case
    {
        const char *name;
        Response response;
        int failStatus; // 0: success with the response's body
        QString errorText;
    } cases[] = {
        {"299 is still success", Response::text(299, "edge"), 0, {}},
        {"a redirect is not followed", redirect, 302, "moved"},
        {"invalid UTF-8 gives empty text", Response::text(500, "bad \xFF\xFE bytes"), 500, {}},
        {"401 without retry", Response::text(401, "no key"), 401, "no key"},
        {"407 that Qt calls a proxy error", Response::text(407, "proxy"), 407, "proxy"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        server.enqueue(c.response);
        const SyncthingAPI client = api();
        try {
            const QByteArray answered = awaitTask(client.send(client.prepare("GET", QStringLiteral("/rest/any"))));
            EXPECT_EQ(c.failStatus, 0);
            EXPECT_EQ(answered, c.response.body);
        } catch (const SyncEngineError &failure) {
            EXPECT_NE(c.failStatus, 0) << failure.what();
            EXPECT_EQ(failure.kind(), SyncEngineError::Kind::Http);
            EXPECT_EQ(failure.statusCode(), c.failStatus);
            EXPECT_EQ(failure.errorDescription(),
                      QStringLiteral("Backend error (HTTP %1): ").arg(c.failStatus) + c.errorText);
        }
    }
    EXPECT_EQ(server.requests().size(), std::size(cases));
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
        CALL(rawDict(QStringLiteral("/rest/../rest/system/status"), {})),
    };
    for (const auto &call : calls) {
        const auto failure = failureOf(call(api()));
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->kind(), SyncEngineError::Kind::Backend);
    }
    EXPECT_TRUE(server.requests().isEmpty());
}

} // namespace
} // namespace tw
