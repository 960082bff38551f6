// The REST client against a fake server, for answers a real Syncthing won't
// give on demand: odd statuses, broken exchanges, redirects, undecodable or
// loose bodies; and the paths it must refuse to send.

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

Response withStatus(int status, QByteArray body)
{
    Response response;
    response.status = status;
    response.body = std::move(body);
    return response;
}

class SyncthingAPITest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server.listen()); }
    SyncthingAPI api() const { return SyncthingAPI(server.baseURL(), kKey); }

    FakeHttpServer server;
};

TEST_F(SyncthingAPITest, StatusDecidesSuccessAndErrorCarriesTheBody)
{
    struct Case
    {
        const char *name;
        Response response;
        int failStatus; // 0: success with the response's body
        QString errorText;
    } cases[] = {
        {"299 is still success", withStatus(299, "edge"), 0, {}},
        {"300 is not success", withStatus(300, "choices"), 300, "choices"},
        {"invalid UTF-8 gives empty text", withStatus(500, "bad \xFF\xFE bytes"), 500, {}},
        {"401 without retry", withStatus(401, "no key"), 401, "no key"},
        {"407 that Qt calls a proxy error", withStatus(407, "proxy"), 407, "proxy"},
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
}

TEST_F(SyncthingAPITest, ExchangeFailuresAreBackendErrors)
{
    struct Case
    {
        const char *name;
        std::optional<Response> response; // nullopt: nothing listens
    } cases[] = {
        {"connection refused", std::nullopt},
        {"closed without an answer", Response::dropConnection()},
        {"body cut short", Response::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly part")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QUrl base = server.baseURL();
        // Qt sends once more when the connection closed unanswered: every attempt gets the same.
        if (c.response)
            server.setDefaultResponse(*c.response);
        else
            base.setPort(FakeHttpServer::closedPort());
        const auto failure = failureOf(SyncthingAPI(base, kKey).ping());
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->kind(), SyncEngineError::Kind::Backend) << failure->what();
        EXPECT_FALSE(failure->payload().isEmpty());
        if (!c.response) {
            EXPECT_EQ(failure->errorDescription(), QStringLiteral("Connection refused"));
        }
    }
}

TEST_F(SyncthingAPITest, RedirectsAreNotFollowedAndCookiesNeverSentBack)
{
    FakeHttpServer elsewhere;
    ASSERT_TRUE(elsewhere.listen());
    Response redirect = withStatus(302, "");
    redirect.headers = {{"Location", elsewhere.baseURL().toEncoded() + "/steal"},
                        {"Set-Cookie", "CSRF-Token-ABC=secret; Path=/"}};
    server.enqueue(redirect);
    const SyncthingAPI client = api();
    const auto failure = failureOf(client.systemStatus());
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->statusCode(), 302);
    EXPECT_TRUE(elsewhere.requests().isEmpty());

    awaitTask(client.ping());
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_FALSE(server.requests()[1].header("Cookie").has_value());
}

TEST_F(SyncthingAPITest, DotSegmentsAreRefusedBeforeAnythingIsSent)
{
    // Qt would resolve these to another endpoint ("/rest/config" for "..").
    const Call calls[] = {
        CALL(deleteFolder(QStringLiteral(".."))),
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

// ---- answers ------------------------------------------------------------------------

TEST_F(SyncthingAPITest, UndecodableAnswersNameTheirTypeAndTheDecodersDetail)
{
    const struct
    {
        Call call;
        QByteArray body;
        QString expected;
    } cases[] = {
        {CALL(systemStatus()), "{\"myID\":7}", "Failed to decode STSystemStatus: myID: expected a string"},
        {CALL(folderVersions(QStringLiteral("f"))), "{\"a\":[{\"size\":1}]}",
         "Failed to decode Dictionary<String, Array<STVersion>>: [\"a\"][0]: key \"versionTime\" is missing"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.expected.toStdString());
        server.enqueue(Response::json(c.body));
        const auto failure = failureOf(c.call(api()));
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->kind(), SyncEngineError::Kind::Backend);
        EXPECT_EQ(failure->payload(), c.expected) << failure->what();
    }
}

// An ignore update reads the old lines this way to put them back: a failed
// read must not pass for "no lines".
TEST_F(SyncthingAPITest, LooseReadersGiveEmptyValuesButHttpStillFails)
{
    server.enqueue(Response::json(R"({"ignore":null})"));
    EXPECT_EQ(awaitTask(api().getIgnores(QStringLiteral("f"))), QStringList());
    server.enqueue(Response::json(R"([{"ignore":["a"]}])"));
    EXPECT_EQ(awaitTask(api().rawDict(QStringLiteral("/rest/db/status"), {})), QJsonObject());

    server.setDefaultResponse(Response::text(404, "no such folder"));
    EXPECT_EQ(failureOf(api().getIgnores(QStringLiteral("f")))->statusCode(), 404);
    EXPECT_EQ(failureOf(api().rawDict(QStringLiteral("/rest/db/status"), {}))->statusCode(), 404);
}

// ---- lifetime -----------------------------------------------------------------------

TEST_F(SyncthingAPITest, RequestOutlivesTheClientItCameFrom)
{
    Response slow = Response::json("{\"myID\":\"LATE\"}");
    slow.delayMs = 100;
    server.enqueue(slow);
    QCoro::Task<STSystemStatus> pending = [this] { return api().systemStatus(); }();
    EXPECT_EQ(awaitTask(std::move(pending)).myID, QStringLiteral("LATE"));
}

} // namespace
} // namespace tw
