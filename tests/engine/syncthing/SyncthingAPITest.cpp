#include "engine/SyncEngineError.h"
#include "engine/syncthing/SyncthingAPI.h"

#include "AwaitTask.h"
#include "FakeHttpServer.h"
#include "QtPrinters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>
#include <functional>

namespace tw {
namespace {

const QString kKey = QStringLiteral("k3y+/=");

using Response = FakeHttpServer::Response;
using Call = std::function<QCoro::Task<>(SyncthingAPI)>;

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

QJsonObject parsedObject(const QByteArray &body) { return QJsonDocument::fromJson(body).object(); }

class SyncthingAPITest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server.listen()); }
    SyncthingAPI api() const { return SyncthingAPI(server.baseURL(), kKey); }

    FakeHttpServer server;
};

// ---- statuses and error bodies -------------------------------------------

struct StatusCase
{
    const char *name;
    Response response;
    std::optional<QByteArray> body;        // success with this body
    std::optional<int> status;             // or an http failure with this status ...
    QString errorText;                     // ... and this text
};

Response withStatus(int status, QByteArray body)
{
    Response response;
    response.status = status;
    response.body = std::move(body);
    return response;
}

TEST_F(SyncthingAPITest, StatusDecidesSuccessAndErrorCarriesTheBody)
{
    const StatusCase cases[] = {
        {"200 answers the body", withStatus(200, "hello"), QByteArray("hello"), {}, {}},
        {"204 answers empty", withStatus(204, ""), QByteArray(), {}, {}},
        {"299 is still success", withStatus(299, "edge"), QByteArray("edge"), {}, {}},
        // An informational status has no body, so there is none to carry.
        {"199 is not success", withStatus(199, ""), {}, 199, QString()},
        {"300 is not success", withStatus(300, "choices"), {}, 300, QStringLiteral("choices")},
        {"304 is not success", withStatus(304, ""), {}, 304, QString()},
        {"404 with empty body", withStatus(404, ""), {}, 404, QString()},
        {"trailing line break kept", withStatus(500, "boom\n"), {}, 500, QStringLiteral("boom\n")},
        {"multi-byte UTF-8 kept", withStatus(409, "d\xC3\xA9j\xC3\xA0 vu"), {}, 409, QStringLiteral("déjà vu")},
        {"invalid UTF-8 gives empty text", withStatus(500, "bad \xFF\xFE bytes"), {}, 500, QString()},
        {"UTF-8 cut off at the end gives empty text", withStatus(500, "cut \xE2\x82"), {}, 500, QString()},
        {"418 unknown to Qt", withStatus(418, "teapot"), {}, 418, QStringLiteral("teapot")},
        {"400 that Qt calls a protocol error", withStatus(400, "bad request\n"), {}, 400, QStringLiteral("bad request\n")},
        {"401 without retry", withStatus(401, "no key"), {}, 401, QStringLiteral("no key")},
        {"407 that Qt calls a proxy error", withStatus(407, "proxy"), {}, 407, QStringLiteral("proxy")},
        {"502", withStatus(502, "gateway"), {}, 502, QStringLiteral("gateway")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        server.enqueue(c.response);
        const SyncthingAPI client = api();
        std::optional<QByteArray> answered;
        std::optional<SyncEngineError> failure;
        try {
            answered = awaitTask(client.send(client.prepare("GET", QStringLiteral("/rest/any"))));
        } catch (const SyncEngineError &error) {
            failure = error;
        }
        if (c.body) {
            ASSERT_TRUE(answered.has_value()) << (failure ? failure->what() : "");
            EXPECT_EQ(*answered, *c.body);
            continue;
        }
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->kind(), SyncEngineError::Kind::Http);
        EXPECT_EQ(failure->statusCode(), *c.status);
        EXPECT_EQ(failure->payload(), c.errorText);
        EXPECT_EQ(failure->errorDescription(),
                  QStringLiteral("Backend error (HTTP %1): ").arg(*c.status) + c.errorText);
    }
}

TEST_F(SyncthingAPITest, ExchangeFailuresAreBackendErrors)
{
    Response truncated = Response::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly part");
    Response garbage = Response::rawBytes("this is not HTTP at all\r\n\r\n");
    struct Case
    {
        const char *name;
        std::optional<Response> response; // nullopt: nothing listens
    } cases[] = {
        {"connection refused", std::nullopt},
        {"closed without an answer", Response::dropConnection()},
        {"body cut short", truncated},
        {"not an HTTP answer", garbage},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QUrl base = server.baseURL();
        // Qt sends a request once more when the connection closed before any
        // answer, so every attempt gets the same treatment.
        if (c.response)
            server.setDefaultResponse(*c.response);
        else
            base.setPort(FakeHttpServer::closedPort());
        const SyncthingAPI client(base, kKey);
        const auto failure = failureOf(client.ping());
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->kind(), SyncEngineError::Kind::Backend) << failure->what();
        EXPECT_FALSE(failure->payload().isEmpty());
    }
}

TEST_F(SyncthingAPITest, RefusedConnectionCarriesQtsDescription)
{
    QUrl base = server.baseURL();
    base.setPort(FakeHttpServer::closedPort());
    const auto failure = failureOf(SyncthingAPI(base, kKey).systemStatus());
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->errorDescription(), QStringLiteral("Connection refused"));
}

TEST_F(SyncthingAPITest, RedirectsAreNotFollowed)
{
    FakeHttpServer elsewhere;
    ASSERT_TRUE(elsewhere.listen());
    Response redirect = withStatus(302, "");
    redirect.headers = {{"Location", elsewhere.baseURL().toEncoded() + "/steal"}};
    server.enqueue(redirect);

    const auto failure = failureOf(api().systemStatus());
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->kind(), SyncEngineError::Kind::Http);
    EXPECT_EQ(failure->statusCode(), 302);
    EXPECT_TRUE(elsewhere.requests().isEmpty());
}

TEST_F(SyncthingAPITest, CookiesSetByTheServerAreNeverSentBack)
{
    Response withCookie = withStatus(200, "");
    withCookie.headers = {{"Set-Cookie", "CSRF-Token-ABC=secret; Path=/"}};
    server.enqueue(withCookie);
    const SyncthingAPI client = api();
    awaitTask(client.ping());
    awaitTask(client.ping());
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_FALSE(server.requests()[1].header("Cookie").has_value());
}

// ---- request shapes of every endpoint ---------------------------------------

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
    folder.label = QStringLiteral("Label");
    folder.path = QStringLiteral("/tmp/x");
    folder.type = QStringLiteral("sendreceive");
    folder.devices = {STDeviceRef{QStringLiteral("DEV-1"), std::nullopt, std::nullopt}};
    folder.rescanIntervalS = 900;
    folder.copyRangeMethod = QStringLiteral("all");
    folder.xattrFilter = STXattrFilter::syncedXattrs();
    return folder;
}

STDeviceWrite sampleDevice()
{
    STDeviceWrite device;
    device.deviceID = QStringLiteral("AAAA-BBBB");
    device.name = QStringLiteral("Mac");
    device.addresses = {QStringLiteral("tcp://127.0.0.2:22001")};
    device.numConnections = 5;
    return device;
}

const QJsonObject kPatch{{QStringLiteral("paused"), true}, {QStringLiteral("label"), QStringLiteral("x")}};

std::vector<ShapeCase> shapeCases()
{
    return {
        {"systemStatus", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.systemStatus(); },
         "GET", "/rest/system/status", {}},
        {"getFolders", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.getFolders(); },
         "GET", "/rest/config/folders", {}},
        {"putFolder", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.putFolder(sampleFolder()); },
         "PUT", "/rest/config/folders/tdw-0a1b2c3d", sampleFolder().toJson()},
        {"patchFolder", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.patchFolder(QStringLiteral("f1"), kPatch); },
         "PATCH", "/rest/config/folders/f1", kPatch},
        {"deleteFolder", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.deleteFolder(QStringLiteral("f1")); },
         "DELETE", "/rest/config/folders/f1", {}},
        {"getDevices", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.getDevices(); },
         "GET", "/rest/config/devices", {}},
        {"putDevice", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.putDevice(sampleDevice()); },
         "PUT", "/rest/config/devices/AAAA-BBBB", sampleDevice().toJson()},
        {"patchDevice", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.patchDevice(QStringLiteral("D1"), kPatch); },
         "PATCH", "/rest/config/devices/D1", kPatch},
        {"getOptions", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.getOptions(); },
         "GET", "/rest/config/options", {}},
        {"patchOptions", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.patchOptions(kPatch); },
         "PATCH", "/rest/config/options", kPatch},
        {"scan", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.scan(QStringLiteral("f1")); },
         "POST", "/rest/db/scan?folder=f1", {}},
        {"folderStatus", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.folderStatus(QStringLiteral("f1")); },
         "GET", "/rest/db/status?folder=f1", {}},
        {"completion", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.completion(QStringLiteral("f1"), QStringLiteral("D1")); },
         "GET", "/rest/db/completion?folder=f1&device=D1", {}},
        {"need", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.need(QStringLiteral("f1")); },
         "GET", "/rest/db/need?folder=f1&perpage=5", {}},
        {"browse without prefix", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.browse(QStringLiteral("f1"), QString()); },
         "GET", "/rest/db/browse?folder=f1&levels=0", {}},
        {"browse with prefix", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.browse(QStringLiteral("f1"), QStringLiteral("a/b")); },
         "GET", "/rest/db/browse?folder=f1&levels=0&prefix=a%2Fb", {}},
        {"getIgnores", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.getIgnores(QStringLiteral("f1")); },
         "GET", "/rest/db/ignores?folder=f1", {}},
        {"setIgnores", [](SyncthingAPI a) -> QCoro::Task<> {
             const QStringList patterns{QStringLiteral("b"), QStringLiteral("a")};
             co_await a.setIgnores(QStringLiteral("f1"), patterns);
         },
         "POST", "/rest/db/ignores?folder=f1",
         QJsonObject{{QStringLiteral("ignore"), QJsonArray{QStringLiteral("b"), QStringLiteral("a")}}}},
        {"connections", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.connections(); },
         "GET", "/rest/system/connections", {}},
        {"eventsRaw with limit", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.eventsRaw(0, 10, 5); },
         "GET", "/rest/events?since=0&timeout=10&limit=5", {}},
        {"eventsRaw without limit", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.eventsRaw(9007199254740993, 10, std::nullopt); },
         "GET", "/rest/events?since=9007199254740993&timeout=10", {}},
        {"pendingDevices", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.pendingDevices(); },
         "GET", "/rest/cluster/pending/devices", {}},
        {"pendingFolders", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.pendingFolders(); },
         "GET", "/rest/cluster/pending/folders", {}},
        {"dismissPendingDevice", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.dismissPendingDevice(QStringLiteral("D1")); },
         "DELETE", "/rest/cluster/pending/devices?device=D1", {}},
        {"dismissPendingFolder", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.dismissPendingFolder(QStringLiteral("f1"), QStringLiteral("D1")); },
         "DELETE", "/rest/cluster/pending/folders?folder=f1&device=D1", {}},
        {"folderVersions", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.folderVersions(QStringLiteral("f1")); },
         "GET", "/rest/folder/versions?folder=f1", {}},
        {"restoreVersions",
         [](SyncthingAPI a) -> QCoro::Task<> {
             const QMap<QString, QString> mapping{{QStringLiteral("a/b.txt"), QStringLiteral("2024-01-02T03:04:05+01:00")}};
             co_await a.restoreVersions(QStringLiteral("f1"), mapping);
         },
         "POST", "/rest/folder/versions?folder=f1",
         QJsonObject{{QStringLiteral("a/b.txt"), QStringLiteral("2024-01-02T03:04:05+01:00")}}},
        {"rawDict with items in order",
         [](SyncthingAPI a) -> QCoro::Task<> {
             const SyncthingAPI::QueryItems query{{QStringLiteral("folder"), QStringLiteral("f1")}, {QStringLiteral("file"), QStringLiteral("x y")}};
             co_await a.rawDict(QStringLiteral("/rest/db/file"), query);
         },
         "GET", "/rest/db/file?folder=f1&file=x%20y", {}},
        {"rawDict without items", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.rawDict(QStringLiteral("/rest/db/status"), {}); },
         "GET", "/rest/db/status", {}},
        {"systemLogLines", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.systemLogLines(); },
         "GET", "/rest/system/log", {}},
        {"ping", [](SyncthingAPI a) -> QCoro::Task<> { co_await a.ping(); },
         "GET", "/rest/system/ping", {}},
    };
}

TEST_F(SyncthingAPITest, EveryEndpointSendsItsExactRequest)
{
    for (const auto &c : shapeCases()) {
        SCOPED_TRACE(c.name);
        server.clearRequests();
        // The answer does not matter here: decoding calls may fail on it.
        failureOf(c.call(api()));
        ASSERT_EQ(server.requests().size(), 1);
        const FakeHttpServer::Request &sent = server.requests().first();
        EXPECT_EQ(sent.method, c.method);
        EXPECT_EQ(sent.target, c.target);
        EXPECT_EQ(sent.header("X-API-Key"), kKey.toUtf8());
        EXPECT_FALSE(sent.header("Cookie").has_value());
        EXPECT_FALSE(sent.header("Authorization").has_value());
        if (c.body) {
            EXPECT_EQ(sent.header("Content-Type"), QByteArray("application/json"));
            EXPECT_EQ(parsedObject(sent.body), *c.body);
            EXPECT_FALSE(sent.body.contains('\n')) << "compact JSON expected";
        } else {
            EXPECT_FALSE(sent.header("Content-Type").has_value()) << sent.header("Content-Type")->constData();
            EXPECT_TRUE(sent.body.isEmpty());
        }
    }
}

// ---- percent-encoding ------------------------------------------------------

TEST_F(SyncthingAPITest, IdentifiersAndValuesReachTheServerUnchanged)
{
    const QString values[] = {
        QStringLiteral("a+b"),   QStringLiteral("a b"),   QStringLiteral("a/b"),  QStringLiteral("100%"),
        QStringLiteral("%2B"),   QStringLiteral("a&b=c"), QStringLiteral("a#b"),  QStringLiteral("a?b"),
        QStringLiteral("ü€"),    QStringLiteral("a;b,c"), QStringLiteral("~._-"), QStringLiteral("..x"), QStringLiteral("a/.b"),
    };
    for (const QString &value : values) {
        SCOPED_TRACE(value.toStdString());
        server.clearRequests();
        const SyncthingAPI client = api();
        awaitTask(client.dismissPendingFolder(value, QStringLiteral("D1")));
        awaitTask(client.deleteFolder(value));
        ASSERT_EQ(server.requests().size(), 2);

        // Query values: fully encoded, so a server that reads "+" as a space
        // still gets the value back.
        const QByteArray query = *server.requests()[0].query();
        ASSERT_TRUE(query.startsWith("folder=")) << query.constData();
        ASSERT_TRUE(query.endsWith("&device=D1")) << query.constData();
        const QByteArray encodedValue = query.mid(7, query.size() - 7 - 10);
        EXPECT_FALSE(encodedValue.contains('+'));
        EXPECT_FALSE(encodedValue.contains(' '));
        EXPECT_FALSE(encodedValue.contains('&'));
        EXPECT_EQ(QByteArray::fromPercentEncoding(encodedValue), value.toUtf8());

        // Path identifiers: "/" stays a separator, everything else decodes back.
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
        [](SyncthingAPI a) -> QCoro::Task<> { co_await a.deleteFolder(QStringLiteral("..")); },
        [](SyncthingAPI a) -> QCoro::Task<> {
            STFolderWrite folder = sampleFolder();
            folder.id = QStringLiteral(".");
            co_await a.putFolder(folder);
        },
        [](SyncthingAPI a) -> QCoro::Task<> { co_await a.patchFolder(QStringLiteral("a/../b"), kPatch); },
        [](SyncthingAPI a) -> QCoro::Task<> { co_await a.patchDevice(QStringLiteral("x/."), kPatch); },
        [](SyncthingAPI a) -> QCoro::Task<> { co_await a.rawDict(QStringLiteral("/rest/../rest/system/status"), {}); },
    };
    for (const auto &call : calls) {
        const auto failure = failureOf(call(api()));
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->kind(), SyncEngineError::Kind::Backend);
    }
    EXPECT_TRUE(server.requests().isEmpty());
}

// ---- decoding -------------------------------------------------------------

struct DecodeFailureCase
{
    Call call;
    QString typeName;
    QByteArray body;
};

TEST_F(SyncthingAPITest, UndecodableAnswersNameTheirType)
{
    const DecodeFailureCase cases[] = {
        {[](SyncthingAPI a) -> QCoro::Task<> { co_await a.systemStatus(); }, QStringLiteral("STSystemStatus"), "{}"},
        {[](SyncthingAPI a) -> QCoro::Task<> { co_await a.getFolders(); }, QStringLiteral("Array<STFolderRead>"), "{}"},
        {[](SyncthingAPI a) -> QCoro::Task<> { co_await a.getDevices(); }, QStringLiteral("Array<STDeviceRead>"), "[{}]"},
        {[](SyncthingAPI a) -> QCoro::Task<> { co_await a.getOptions(); }, QStringLiteral("STOptions"), "[]"},
        {[](SyncthingAPI a) -> QCoro::Task<> { co_await a.folderStatus(QStringLiteral("f")); }, QStringLiteral("STFolderStatus"), ""},
        {[](SyncthingAPI a) -> QCoro::Task<> { co_await a.completion(QStringLiteral("f"), QStringLiteral("d")); },
         QStringLiteral("STCompletion"), "{\"needBytes\":1.5}"},
        {[](SyncthingAPI a) -> QCoro::Task<> { co_await a.need(QStringLiteral("f")); }, QStringLiteral("STNeedResponse"), "null"},
        {[](SyncthingAPI a) -> QCoro::Task<> { co_await a.browse(QStringLiteral("f"), QString()); },
         QStringLiteral("Array<STBrowseEntry>"), "[{\"name\":\"x\"}]"},
        {[](SyncthingAPI a) -> QCoro::Task<> { co_await a.connections(); }, QStringLiteral("STConnectionsResponse"), "{}"},
        {[](SyncthingAPI a) -> QCoro::Task<> { co_await a.pendingDevices(); },
         QStringLiteral("Dictionary<String, STPendingDevice>"), "[]"},
        {[](SyncthingAPI a) -> QCoro::Task<> { co_await a.pendingFolders(); },
         QStringLiteral("Dictionary<String, STPendingFolder>"), "{\"f\":{}}"},
        {[](SyncthingAPI a) -> QCoro::Task<> { co_await a.folderVersions(QStringLiteral("f")); },
         QStringLiteral("Dictionary<String, Array<STVersion>>"), "{\"a\":[{\"size\":1}]}"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typeName.toStdString());
        server.enqueue(Response::json(c.body));
        const auto failure = failureOf(c.call(api()));
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->kind(), SyncEngineError::Kind::Backend);
        const QString prefix = QStringLiteral("Failed to decode ") + c.typeName + QStringLiteral(": ");
        EXPECT_TRUE(failure->payload().startsWith(prefix)) << failure->what();
        EXPECT_GT(failure->payload().size(), prefix.size()) << "the decoder's detail is missing";
    }
}

TEST_F(SyncthingAPITest, DecodeFailureCarriesTheDecodersDetail)
{
    server.enqueue(Response::json("{\"myID\":7}"));
    const auto failure = failureOf(api().systemStatus());
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->errorDescription(), QStringLiteral("Failed to decode STSystemStatus: myID: expected a string"));
}

TEST_F(SyncthingAPITest, DecodedAnswersReachTheCaller)
{
    const SyncthingAPI client = api();
    server.enqueue(Response::json("{\"myID\":\"ABC-123\",\"uptime\":5}"));
    EXPECT_EQ(awaitTask(client.systemStatus()).myID, QStringLiteral("ABC-123"));

    server.enqueue(Response::json(
        "[{\"id\":\"f1\",\"label\":\"\",\"path\":\"/p\",\"type\":\"sendonly\",\"paused\":true,\"devices\":[]}]"));
    const QList<STFolderRead> folders = awaitTask(client.getFolders());
    ASSERT_EQ(folders.size(), 1);
    EXPECT_EQ(folders[0].id, QStringLiteral("f1"));
    EXPECT_TRUE(folders[0].paused);

    server.enqueue(Response::json("{\"a.txt\":[{\"versionTime\":\"2024-01-01T00:00:00Z\",\"size\":3}],\"b\":[]}"));
    const auto versions = awaitTask(client.folderVersions(QStringLiteral("f1")));
    ASSERT_EQ(versions.size(), 2);
    ASSERT_EQ(versions[QStringLiteral("a.txt")].size(), 1);
    EXPECT_EQ(versions[QStringLiteral("a.txt")][0].size, 3);

    server.enqueue(Response::json("{\"events\":[1,2]}"));
    EXPECT_EQ(awaitTask(client.eventsRaw(0, 10, std::nullopt)), QByteArray("{\"events\":[1,2]}"));
}

TEST_F(SyncthingAPITest, BodyIgnoringOperationsSucceedOnAnEmpty2xx)
{
    const Call calls[] = {
        [](SyncthingAPI a) -> QCoro::Task<> { co_await a.deleteFolder(QStringLiteral("f")); },
        [](SyncthingAPI a) -> QCoro::Task<> { co_await a.scan(QStringLiteral("f")); },
        [](SyncthingAPI a) -> QCoro::Task<> { co_await a.restoreVersions(QStringLiteral("f"), {}); },
        [](SyncthingAPI a) -> QCoro::Task<> { co_await a.patchOptions({}); },
    };
    for (const auto &call : calls) {
        server.enqueue(withStatus(200, "not json at all"));
        EXPECT_FALSE(failureOf(call(api())).has_value());
    }
}

// ---- loose readers ----------------------------------------------------------

TEST_F(SyncthingAPITest, IgnoresReadLooselyButHttpStillFails)
{
    struct Case
    {
        const char *name;
        Response response;
        QStringList expected;
    } cases[] = {
        {"lines in order", Response::json("{\"ignore\":[\"b\",\"a\",\"// c\"]}"),
         {QStringLiteral("b"), QStringLiteral("a"), QStringLiteral("// c")}},
        {"null ignore", Response::json("{\"ignore\":null,\"expanded\":[]}"), {}},
        {"missing ignore", Response::json("{}"), {}},
        {"plain text body", Response::text(200, "not json"), {}},
        {"wrong element type", Response::json("{\"ignore\":[1]}"), {}},
        {"empty body", withStatus(200, ""), {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        server.enqueue(c.response);
        EXPECT_EQ(awaitTask(api().getIgnores(QStringLiteral("f"))), c.expected);
    }

    server.enqueue(Response::text(404, "no such folder"));
    const auto failure = failureOf(api().getIgnores(QStringLiteral("f")));
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->kind(), SyncEngineError::Kind::Http);
    EXPECT_EQ(failure->statusCode(), 404);
}

TEST_F(SyncthingAPITest, RawDictAnswersObjectsOnly)
{
    struct Case
    {
        const char *name;
        QByteArray body;
        QJsonObject expected;
    } cases[] = {
        {"object", "{\"state\":\"idle\",\"n\":2,\"x\":null,\"a\":[1]}",
         QJsonObject{{"state", "idle"}, {"n", 2}, {"x", QJsonValue::Null}, {"a", QJsonArray{1}}}},
        {"array", "[{\"state\":\"idle\"}]", {}},
        {"bare string", "\"idle\"", {}},
        {"null", "null", {}},
        {"not JSON", "<html>", {}},
        {"empty", "", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        server.enqueue(Response::json(c.body));
        EXPECT_EQ(awaitTask(api().rawDict(QStringLiteral("/rest/db/status"), {})), c.expected);
    }

    server.enqueue(Response::text(500, "err"));
    const auto failure = failureOf(api().rawDict(QStringLiteral("/rest/db/status"), {}));
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->kind(), SyncEngineError::Kind::Http);
}

TEST_F(SyncthingAPITest, LogLinesFollowTheServersEntries)
{
    struct Case
    {
        const char *name;
        QByteArray body;
        QStringList expected;
    } cases[] = {
        {"when and message", R"({"messages":[{"when":"T1","message":"one"},{"when":"T2","message":"two"}]})",
         {QStringLiteral("T1  one"), QStringLiteral("T2  two")}},
        {"no when", R"({"messages":[{"message":"alone"}]})", {QStringLiteral("alone")}},
        {"when not a string", R"({"messages":[{"when":12,"message":"m"}]})", {QStringLiteral("m")}},
        {"empty when", R"({"messages":[{"when":"","message":"m"}]})", {QStringLiteral("m")}},
        {"empty message skipped", R"({"messages":[{"when":"T","message":""},{"when":"T","message":"k"}]})",
         {QStringLiteral("T  k")}},
        {"message not a string skipped", R"({"messages":[{"when":"T","message":5}]})", {}},
        {"nothing trimmed", R"({"messages":[{"when":"T","message":" m \n"}]})", {QStringLiteral("T   m \n")}},
        {"a non-object voids all", R"({"messages":[{"when":"T","message":"m"},"x"]})", {}},
        {"messages null", R"({"messages":null})", {}},
        {"messages missing", R"({})", {}},
        {"messages an object", R"({"messages":{"when":"T","message":"m"}})", {}},
        {"body an array", R"([{"when":"T","message":"m"}])", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        server.enqueue(Response::json(c.body));
        EXPECT_EQ(awaitTask(api().systemLogLines()), c.expected);
    }
}

// ---- lifetime ---------------------------------------------------------------

TEST_F(SyncthingAPITest, RequestOutlivesTheClientItCameFrom)
{
    Response slow = Response::json("{\"myID\":\"LATE\"}");
    slow.delayMs = 100;
    server.enqueue(slow);
    QCoro::Task<STSystemStatus> pending = [this] { return api().systemStatus(); }();
    // The client value and its last other copy are gone; the request goes on.
    EXPECT_EQ(awaitTask(std::move(pending)).myID, QStringLiteral("LATE"));
}

TEST_F(SyncthingAPITest, ConcurrentRequestsShareOneSession)
{
    const SyncthingAPI client = api();
    const SyncthingAPI copy = client;
    EXPECT_EQ(copy.session(), client.session());
    server.setHandler([](const FakeHttpServer::Request &request) {
        Response response = Response::json("{\"state\":\"" + request.path().mid(1) + "\"}");
        response.delayMs = 50;
        return response;
    });
    auto first = client.rawDict(QStringLiteral("/one"), {});
    auto second = copy.rawDict(QStringLiteral("/two"), {});
    EXPECT_EQ(awaitTask(std::move(second)).value("state").toString(), QStringLiteral("two"));
    EXPECT_EQ(awaitTask(std::move(first)).value("state").toString(), QStringLiteral("one"));
}

} // namespace
} // namespace tw
