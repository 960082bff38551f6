#include "engine/SyncEngineError.h"
#include "engine/syncthing/SyncthingAPI.h"

#include "AwaitTask.h"
#include "FakeHttpServer.h"
#include "QtPrinters.h"

#include <QJsonArray>
#include <QJsonDocument>
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
        {"200", withStatus(200, "hello"), 0, {}},
        {"299 is still success", withStatus(299, "edge"), 0, {}},
        {"199 is not success", withStatus(199, ""), 199, {}},
        {"300 is not success", withStatus(300, "choices"), 300, "choices"},
        {"multi-byte UTF-8 kept", withStatus(409, "d\xC3\xA9j\xC3\xA0 vu"), 409, "déjà vu"},
        {"invalid UTF-8 gives empty text", withStatus(500, "bad \xFF\xFE bytes"), 500, {}},
        {"UTF-8 cut off at the end gives empty text", withStatus(500, "cut \xE2\x82"), 500, {}},
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
        {"not an HTTP answer", Response::rawBytes("this is not HTTP at all\r\n\r\n")},
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

// ---- request shapes -------------------------------------------------------------

struct ShapeCase
{
    const char *name;
    Call call;
    QByteArray method;
    QByteArray target;
    std::optional<QJsonObject> body; // nullopt: no body and no Content-Type
};

STFolderWrite sampleFolder()
{
    STFolderWrite folder;
    folder.id = QStringLiteral("tdw-0a1b2c3d");
    folder.path = QStringLiteral("/tmp/x");
    folder.type = QStringLiteral("sendreceive");
    folder.devices = {STDeviceRef{QStringLiteral("DEV-1"), std::nullopt, std::nullopt}};
    folder.xattrFilter = STXattrFilter::syncedXattrs();
    return folder;
}

const QJsonObject kPatch{{QStringLiteral("paused"), true}, {QStringLiteral("label"), QStringLiteral("x")}};

// Endpoints with a fixed path and nothing else are proven by the integration tests,
// where a wrong path fails the operation.
std::vector<ShapeCase> shapeCases()
{
    return {
        {"putFolder", CALL(putFolder(sampleFolder())), "PUT", "/rest/config/folders/tdw-0a1b2c3d",
         sampleFolder().toJson()},
        {"patchFolder", CALL(patchFolder(QStringLiteral("f1"), kPatch)), "PATCH", "/rest/config/folders/f1", kPatch},
        {"deleteFolder", CALL(deleteFolder(QStringLiteral("f1"))), "DELETE", "/rest/config/folders/f1", {}},
        {"scan", CALL(scan(QStringLiteral("f1"))), "POST", "/rest/db/scan?folder=f1", {}},
        {"completion", CALL(completion(QStringLiteral("f1"), QStringLiteral("D1"))), "GET",
         "/rest/db/completion?folder=f1&device=D1", {}},
        {"need", CALL(need(QStringLiteral("f1"))), "GET", "/rest/db/need?folder=f1&perpage=5", {}},
        {"browse without prefix", CALL(browse(QStringLiteral("f1"), QString())), "GET",
         "/rest/db/browse?folder=f1&levels=0", {}},
        {"browse with prefix", CALL(browse(QStringLiteral("f1"), QStringLiteral("a/b"))), "GET",
         "/rest/db/browse?folder=f1&levels=0&prefix=a%2Fb", {}},
        {"setIgnores",
         [](SyncthingAPI a) -> QCoro::Task<> {
             const QStringList patterns{QStringLiteral("b"), QStringLiteral("a")};
             co_await a.setIgnores(QStringLiteral("f1"), patterns);
         },
         "POST", "/rest/db/ignores?folder=f1", QJsonObject{{"ignore", QJsonArray{"b", "a"}}}},
        {"eventsRaw without limit", CALL(eventsRaw(9007199254740993, 10, std::nullopt)), "GET",
         "/rest/events?since=9007199254740993&timeout=10", {}},
        {"dismissPendingFolder", CALL(dismissPendingFolder(QStringLiteral("f1"), QStringLiteral("D1"))), "DELETE",
         "/rest/cluster/pending/folders?folder=f1&device=D1", {}},
        {"restoreVersions",
         [](SyncthingAPI a) -> QCoro::Task<> {
             QMap<QString, QString> mapping;
             mapping.insert(QStringLiteral("a/b.txt"), QStringLiteral("2024-01-02T03:04:05+01:00"));
             co_await a.restoreVersions(QStringLiteral("f1"), mapping);
         },
         "POST", "/rest/folder/versions?folder=f1", QJsonObject{{"a/b.txt", "2024-01-02T03:04:05+01:00"}}},
        {"rawDict with items in order",
         [](SyncthingAPI a) -> QCoro::Task<> {
             SyncthingAPI::QueryItems query;
             query.append({QStringLiteral("folder"), QStringLiteral("f1")});
             query.append({QStringLiteral("file"), QStringLiteral("x y")});
             co_await a.rawDict(QStringLiteral("/rest/db/file"), query);
         },
         "GET", "/rest/db/file?folder=f1&file=x%20y", {}},
        {"rawDict without items", CALL(rawDict(QStringLiteral("/rest/db/status"), {})), "GET", "/rest/db/status", {}},
        // A failed log read only leaves the report's log out, so nothing else would notice a wrong path.
        {"systemLogLines", CALL(systemLogLines()), "GET", "/rest/system/log", {}},
    };
}

TEST_F(SyncthingAPITest, EveryEndpointSendsItsExactRequest)
{
    for (const auto &c : shapeCases()) {
        SCOPED_TRACE(c.name);
        server.clearRequests();
        failureOf(c.call(api())); // decoding calls may fail on the empty answer
        ASSERT_EQ(server.requests().size(), 1);
        const FakeHttpServer::Request &sent = server.requests().first();
        EXPECT_EQ(sent.method + ' ' + sent.target, c.method + ' ' + c.target);
        EXPECT_EQ(sent.header("X-API-Key"), kKey.toUtf8());
        EXPECT_FALSE(sent.header("Authorization").has_value());
        if (c.body) {
            EXPECT_EQ(sent.header("Content-Type"), QByteArray("application/json"));
            EXPECT_EQ(QJsonDocument::fromJson(sent.body).object(), *c.body);
            EXPECT_FALSE(sent.body.contains('\n')) << "compact JSON expected";
        } else {
            EXPECT_FALSE(sent.header("Content-Type").has_value());
            EXPECT_TRUE(sent.body.isEmpty());
        }
    }
}

TEST_F(SyncthingAPITest, IdentifiersAndValuesReachTheServerUnchanged)
{
    const QString values[] = {"a+b", "a b", "a/b", "100%", "%2B", "a&b=c", "a#b", "a?b", "ü€", "..x", "a/.b"};
    for (const QString &value : values) {
        SCOPED_TRACE(value.toStdString());
        server.clearRequests();
        const SyncthingAPI client = api();
        awaitTask(client.dismissPendingFolder(value, QStringLiteral("D1")));
        awaitTask(client.deleteFolder(value));
        ASSERT_EQ(server.requests().size(), 2);

        // Fully encoded, so a server that reads "+" as a space still gets the value back.
        const QByteArray query = *server.requests()[0].query();
        ASSERT_TRUE(query.startsWith("folder=") && query.endsWith("&device=D1")) << query.constData();
        const QByteArray encodedValue = query.mid(7, query.size() - 7 - 10);
        EXPECT_FALSE(encodedValue.contains('+') || encodedValue.contains(' ') || encodedValue.contains('&'));
        EXPECT_EQ(QByteArray::fromPercentEncoding(encodedValue), value.toUtf8());

        // In a path "/" stays a separator; everything else decodes back.
        const QByteArray path = server.requests()[1].path();
        EXPECT_FALSE(server.requests()[1].query().has_value());
        EXPECT_EQ(QByteArray::fromPercentEncoding(path), "/rest/config/folders/" + value.toUtf8());
        EXPECT_EQ(path.count('/'), 4 + value.count(QLatin1Char('/')));
    }
}

TEST_F(SyncthingAPITest, DotSegmentsAreRefusedBeforeAnythingIsSent)
{
    // Qt would resolve these to another endpoint ("/rest/config" for "..").
    const Call calls[] = {
        CALL(deleteFolder(QStringLiteral(".."))),
        CALL(patchDevice(QStringLiteral("a/../b"), kPatch)),
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
        {CALL(completion(QStringLiteral("f"), QStringLiteral("d"))), "{\"needBytes\":1.5}",
         "Failed to decode STCompletion: needBytes: expected a 64-bit integer"},
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

TEST_F(SyncthingAPITest, LooseReadersGiveEmptyValuesButHttpStillFails)
{
    struct Case
    {
        const char *name;
        QByteArray body;
        QStringList ignores;
        QJsonObject dict;
    } cases[] = {
        {"lines / object", R"({"ignore":["b","a","// c"],"n":2})", {"b", "a", "// c"},
         QJsonObject{{"ignore", QJsonArray{"b", "a", "// c"}}, {"n", 2}}},
        {"null ignore", R"({"ignore":null})", {}, QJsonObject{{"ignore", QJsonValue::Null}}},
        {"wrong element type", R"({"ignore":[1]})", {}, QJsonObject{{"ignore", QJsonArray{1}}}},
        {"an array", R"([{"ignore":["a"]}])", {}, {}},
        {"not JSON", "<html>", {}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        server.enqueue(Response::json(c.body));
        EXPECT_EQ(awaitTask(api().getIgnores(QStringLiteral("f"))), c.ignores);
        server.enqueue(Response::json(c.body));
        EXPECT_EQ(awaitTask(api().rawDict(QStringLiteral("/rest/db/status"), {})), c.dict);
    }

    server.setDefaultResponse(Response::text(404, "no such folder"));
    EXPECT_EQ(failureOf(api().getIgnores(QStringLiteral("f")))->statusCode(), 404);
    EXPECT_EQ(failureOf(api().rawDict(QStringLiteral("/rest/db/status"), {}))->statusCode(), 404);
}

TEST_F(SyncthingAPITest, LogLinesFollowTheServersEntries)
{
    struct Case
    {
        const char *name;
        QByteArray body;
        QStringList expected;
    } cases[] = {
        {"no when", R"({"messages":[{"message":"alone"}]})", {"alone"}},
        {"when not a string", R"({"messages":[{"when":12,"message":"m"}]})", {"m"}},
        {"empty message skipped", R"({"messages":[{"when":"T","message":""},{"when":"T","message":"k"}]})", {"T  k"}},
        {"message not a string skipped", R"({"messages":[{"when":"T","message":5}]})", {}},
        {"a non-object voids all", R"({"messages":[{"when":"T","message":"m"},"x"]})", {}},
        {"messages not a list", R"({"messages":{"when":"T","message":"m"}})", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        server.enqueue(Response::json(c.body));
        EXPECT_EQ(awaitTask(api().systemLogLines()), c.expected);
    }
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
