#include "engine/DiagServer.h"

#include "FakeSyncEngine.h"
#include "RawHttpClient.h"
#include "WaitUntil.h"
#include "engine/PairedPeerGate.h"

#include <QHostAddress>
#include <gtest/gtest.h>
#include <memory>

#include <qcoro/qcorotimer.h>

using namespace std::chrono_literals;

namespace tw {
namespace {

const QHostAddress loopback(QHostAddress::LocalHost);
const QString peerID = QStringLiteral("PEERDEV-AAAAAAA");

QByteArray answer(const QByteArray &status, const QByteArray &type, const QByteArray &body)
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type + "; charset=utf-8\r\nContent-Length: "
           + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

const QByteArray notPaired = answer("403 Forbidden", "text/plain", "Not a paired device.");
const QByteArray pageForbidden =
    answer("403 Forbidden", "text/plain", "Remote status is off, or the link/token is invalid.");
const QByteArray notFound = answer("404 Not Found", "text/plain", "not found");

DeviceConnection connectedAt(const QString &address)
{
    DeviceConnection connection;
    connection.id = peerID;
    connection.connected = true;
    connection.address = address;
    return connection;
}

QByteArray statusRequest(const QByteArray &sender = peerID.toUtf8())
{
    return "GET /status HTTP/1.1\r\nHost: mac\r\nX-Tidewell-From: " + sender + "\r\n\r\n";
}

// Handlers. Coroutines take what they record through pointers, so the
// lambdas that the server holds stay plain.
QCoro::Task<bool> recordGate(QStringList *log, bool admit, QString id, QString address)
{
    log->append(id + u'@' + address);
    co_return admit;
}

QCoro::Task<bool> recordToken(QStringList *tokens, QString token)
{
    tokens->append(token);
    co_return token == QLatin1String("good");
}

QCoro::Task<QByteArray> bytesAfter(const bool *release, QByteArray bytes)
{
    while (release && !*release)
        co_await QCoro::sleepFor(2ms);
    co_return bytes;
}

QCoro::Task<QString> textOf(QString text)
{
    co_return text;
}

QCoro::Task<DiagServer::PurgeAnswer> recordPurge(QList<QByteArray> *bodies, QString sender, QByteArray body)
{
    bodies->append(body);
    co_return DiagServer::PurgeAnswer{QStringLiteral("409 Conflict"), "{\"ok\":false,\"from\":\"" + sender.toUtf8() + "\"}"};
}

class DiagServerTest : public ::testing::Test
{
protected:
    static DiagServer::Options loopbackOptions()
    {
        DiagServer::Options options;
        options.address = loopback;
        options.port = 0;
        return options;
    }

    void startServer(DiagServer::Options options = loopbackOptions())
    {
        server = std::make_unique<DiagServer>(options);
        server->start();
        ASSERT_TRUE(server->isRunning());
        ASSERT_NE(server->serverPort(), 0);
    }

    void admitEveryone()
    {
        server->isKnownPeer = [log = &gateLog](QString id, QString address) {
            return recordGate(log, true, std::move(id), std::move(address));
        };
    }

    void installAllHandlers()
    {
        admitEveryone();
        server->statusProvider = [] { return bytesAfter(nullptr, "[{\"folderID\":\"tdw-1\"}]"); };
        server->reportProvider = [] { return textOf(QString::fromUtf8("Z\xC3\xBCrich \xE2\x80\x94 ok")); };
        server->purgeHandler = [bodies = &purgeBodies](QString sender, QByteArray body) {
            return recordPurge(bodies, std::move(sender), std::move(body));
        };
        server->dashboardAuthorized = [tokens = &tokens](QString token) { return recordToken(tokens, std::move(token)); };
        server->dashboardProvider = [] { return textOf(QStringLiteral("<h1>TidewellMesh</h1>")); };
    }

    QByteArray ask(const QByteArray &request) const
    {
        return RawHttpClient::exchange(loopback, server->serverPort(), request);
    }

    std::unique_ptr<DiagServer> server;
    QStringList gateLog;
    QStringList tokens;
    QList<QByteArray> purgeBodies;
};

// --- Answers, byte for byte --------------------------------------------------

struct RouteCase
{
    const char *name;
    QByteArray request;
    QByteArray expected;
};

class DiagServerDefaultRouteTest : public DiagServerTest, public ::testing::WithParamInterface<RouteCase>
{
};

TEST_P(DiagServerDefaultRouteTest, AnswersWithoutHandlers)
{
    startServer();
    admitEveryone();
    EXPECT_EQ(ask(GetParam().request), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Routes, DiagServerDefaultRouteTest,
    ::testing::Values(
        RouteCase{"StatusIsEmptyObject", statusRequest(),
                  "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: 2\r\n"
                  "Connection: close\r\n\r\n{}"},
        RouteCase{"QueryIgnoredForRouting", "GET /status?x=1 HTTP/1.1\r\nX-Tidewell-From: P\r\n\r\n",
                  answer("200 OK", "application/json", "{}")},
        RouteCase{"TrailingSlashNotFound", "GET /status/ HTTP/1.1\r\nX-Tidewell-From: P\r\n\r\n", notFound},
        RouteCase{"LowerCaseMethodNotFound", "get /status HTTP/1.1\r\nX-Tidewell-From: P\r\n\r\n", notFound},
        RouteCase{"HeadNotFound", "HEAD /status HTTP/1.1\r\nX-Tidewell-From: P\r\n\r\n", notFound},
        RouteCase{"GetPurgeNotFound", "GET /purge HTTP/1.1\r\nX-Tidewell-From: P\r\n\r\n", notFound},
        RouteCase{"PostStatusNotFound", "POST /status HTTP/1.1\r\nX-Tidewell-From: P\r\n\r\n", notFound},
        RouteCase{"PostRootNotFound", "POST / HTTP/1.1\r\nX-Tidewell-From: P\r\n\r\n", notFound},
        RouteCase{"PurgeWithoutHandler", "POST /purge HTTP/1.1\r\nX-Tidewell-From: P\r\n\r\n",
                  answer("404 Not Found", "text/plain", "no purge")},
        RouteCase{"DiagWithoutHandler", "GET /diag HTTP/1.1\r\nX-Tidewell-From: P\r\n\r\n",
                  answer("200 OK", "text/plain", "No diagnostics report is available.")},
        RouteCase{"PageWithoutGate", "GET /?t=x HTTP/1.1\r\n\r\n", pageForbidden},
        RouteCase{"EmptyHeadIsThePage", "\r\n\r\n", pageForbidden}),
    [](const auto &info) { return std::string(info.param.name); });

class DiagServerHandlerRouteTest : public DiagServerTest, public ::testing::WithParamInterface<RouteCase>
{
};

TEST_P(DiagServerHandlerRouteTest, AnswersFromHandlers)
{
    startServer();
    installAllHandlers();
    EXPECT_EQ(ask(GetParam().request), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Routes, DiagServerHandlerRouteTest,
    ::testing::Values(
        RouteCase{"Status", statusRequest(), answer("200 OK", "application/json", "[{\"folderID\":\"tdw-1\"}]")},
        // The length counts bytes, not characters.
        RouteCase{"DiagIsUtf8", "GET /diag HTTP/1.1\r\nX-Tidewell-From: P\r\n\r\n",
                  answer("200 OK", "text/plain", "Z\xC3\xBCrich \xE2\x80\x94 ok")},
        RouteCase{"PurgeStatusVerbatim", "POST /purge HTTP/1.1\r\nX-Tidewell-From: P\r\nContent-Length: 2\r\n\r\n{}",
                  answer("409 Conflict", "application/json", "{\"ok\":false,\"from\":\"P\"}")},
        RouteCase{"PageWithToken", "GET /?t=good HTTP/1.1\r\n\r\n", answer("200 OK", "text/html", "<h1>TidewellMesh</h1>")},
        RouteCase{"PageWithWrongToken", "GET /?t=bad HTTP/1.1\r\n\r\n", pageForbidden},
        RouteCase{"PageNeedsNoPeer", "GET /?t=good HTTP/1.1\r\nX-Tidewell-From: \r\n\r\n",
                  answer("200 OK", "text/html", "<h1>TidewellMesh</h1>")}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(DiagServerTest, PageWithoutProviderAnswersPlaceholder)
{
    startServer();
    server->dashboardAuthorized = [tokens = &tokens](QString token) { return recordToken(tokens, std::move(token)); };
    EXPECT_EQ(ask("GET /?t=good HTTP/1.1\r\n\r\n"),
              answer("200 OK", "text/html", "<!doctype html><title>\xE2\x80\x94</title>No status."));
}

TEST_F(DiagServerTest, PageGateGetsDecodedToken)
{
    startServer();
    installAllHandlers();
    ask("GET /?t=abc%20def HTTP/1.1\r\n\r\n");
    ask("GET /?x=1 HTTP/1.1\r\n\r\n");
    ask("GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(tokens, (QStringList{"abc def", "", ""}));
    EXPECT_TRUE(gateLog.isEmpty());
}

// --- The peer gate ------------------------------------------------------------

TEST_F(DiagServerTest, PeerGateSeesTrimmedLastSenderAndSourceAddress)
{
    startServer();
    installAllHandlers();
    ask("GET /status HTTP/1.1\r\nX-TIDEWELL-FROM:   AAA  \r\n\r\n");
    ask("GET /status HTTP/1.1\r\nX-Tidewell-From: AAA\r\nx-tidewell-from: BBB\r\n\r\n");
    EXPECT_EQ(gateLog, (QStringList{"AAA@127.0.0.1", "BBB@127.0.0.1"}));
}

TEST_F(DiagServerTest, MissingSenderIsRefusedAfterAskingTheGate)
{
    startServer();
    installAllHandlers();
    for (const char *path : {"/status", "/diag", "/purge"})
        EXPECT_EQ(ask(QByteArray("GET ") + path + " HTTP/1.1\r\n\r\n"), notPaired) << path;
    // A sender header after a bare line feed is part of the request line.
    EXPECT_EQ(ask("GET /status HTTP/1.1\nX-Tidewell-From: AAA\r\n\r\n"), notPaired);
    EXPECT_EQ(gateLog, (QStringList{"@127.0.0.1", "@127.0.0.1", "@127.0.0.1", "@127.0.0.1"}));
}

TEST_F(DiagServerTest, GateThatSaysYesToEmptySenderStillRefuses)
{
    startServer();
    installAllHandlers();
    EXPECT_EQ(ask("GET /status HTTP/1.1\r\nX-Tidewell-From:  \r\n\r\n"), notPaired);
}

TEST_F(DiagServerTest, RefusingOrMissingGateDenies)
{
    startServer();
    installAllHandlers();
    server->isKnownPeer = [log = &gateLog](QString id, QString address) {
        return recordGate(log, false, std::move(id), std::move(address));
    };
    EXPECT_EQ(ask(statusRequest()), notPaired);
    server->isKnownPeer = nullptr;
    EXPECT_EQ(ask(statusRequest()), notPaired);
    EXPECT_TRUE(purgeBodies.isEmpty());
}

TEST_F(DiagServerTest, EngineGateRefusesForgedSenderFromAnotherHost)
{
    startServer();
    FakeSyncEngine engine;
    engine.state.devices = {SyncDevice{peerID, QStringLiteral("Studio Mac")}};
    engine.state.connections = {connectedAt(QStringLiteral("192.168.1.77:22000"))};
    server->isKnownPeer = PairedPeerGate::forEngine(&engine);
    EXPECT_EQ(ask(statusRequest()), notPaired);

    // The same device connected over loopback is the client itself.
    engine.state.connections = {connectedAt(QStringLiteral("127.0.0.2:22000"))};
    EXPECT_EQ(ask(statusRequest()), answer("200 OK", "application/json", "{}"));
}

TEST_F(DiagServerTest, EngineGateRecognisesIPv4MappedClient)
{
    DiagServer::Options options = loopbackOptions();
    options.address = QHostAddress(QStringLiteral("::ffff:127.0.0.1"));
    startServer(options);
    FakeSyncEngine engine;
    engine.state.devices = {SyncDevice{peerID, QStringLiteral("Studio Mac")}};
    engine.state.connections = {connectedAt(QStringLiteral("127.0.0.1:22000"))};
    server->isKnownPeer = PairedPeerGate::forEngine(&engine);
    EXPECT_EQ(ask(statusRequest()), answer("200 OK", "application/json", "{}"));

    // The address the gate is given is the mapped form a dual-stack socket reports.
    admitEveryone();
    ask(statusRequest());
    EXPECT_EQ(gateLog, QStringList{peerID + QStringLiteral("@::ffff:127.0.0.1")});
}

// --- Bodies -------------------------------------------------------------------

struct BodyCase
{
    const char *name;
    QByteArray lengthHeader;
    QByteArray sent;
    QByteArray body;
};

class DiagServerBodyTest : public DiagServerTest, public ::testing::WithParamInterface<BodyCase>
{
};

TEST_P(DiagServerBodyTest, PassesContentLengthBytesToPurge)
{
    startServer();
    installAllHandlers();
    const QByteArray reply = ask("POST /purge HTTP/1.1\r\nX-Tidewell-From: P\r\n" + GetParam().lengthHeader + "\r\n"
                                 + GetParam().sent);
    EXPECT_TRUE(reply.startsWith("HTTP/1.1 409 Conflict\r\n"));
    EXPECT_EQ(purgeBodies, QList<QByteArray>{GetParam().body});
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, DiagServerBodyTest,
    ::testing::Values(BodyCase{"ExtraBytesIgnored", "Content-Length: 5\r\n", "0123456789AB", "01234"},
                      BodyCase{"NotANumberIsEmpty", "Content-Length: five\r\n", "01234", ""},
                      BodyCase{"NegativeIsEmpty", "Content-Length: -4\r\n", "0123", ""},
                      BodyCase{"NoHeaderIsEmpty", "", "0123", ""},
                      BodyCase{"BinaryBody", "Content-Length: 4\r\n", QByteArray("\0\r\n\xFF", 4),
                               QByteArray("\0\r\n\xFF", 4)}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(DiagServerTest, PeerLeavingBeforeBodyIsCompleteGetsNothing)
{
    startServer();
    installAllHandlers();
    RawHttpClient client;
    ASSERT_TRUE(client.connectTo(loopback, server->serverPort()));
    client.send("POST /purge HTTP/1.1\r\nX-Tidewell-From: P\r\nContent-Length: 10\r\n\r\n0123");
    ASSERT_TRUE(client.flush());
    ASSERT_TRUE(waitUntil([&] { return server->openConnections() == 1; }));
    client.close();
    EXPECT_TRUE(waitUntil([&] { return server->openConnections() == 0; }));
    EXPECT_TRUE(purgeBodies.isEmpty());
    EXPECT_TRUE(gateLog.isEmpty());
}

// --- Limits -------------------------------------------------------------------

QByteArray paddedHead(qsizetype size)
{
    QByteArray head = "GET /status HTTP/1.1\r\nX-Tidewell-From: P\r\nX-Pad: ";
    return head + QByteArray(size - head.size(), 'a');
}

TEST_F(DiagServerTest, HeadOfExactlyTheLimitStillWaits)
{
    startServer();
    admitEveryone();
    RawHttpClient client;
    ASSERT_TRUE(client.connectTo(loopback, server->serverPort()));
    client.send(paddedHead(65'536));
    ASSERT_TRUE(client.flush());
    runEventLoopFor(200);
    EXPECT_FALSE(client.isClosed());
    client.send("\r\n\r\n");
    ASSERT_TRUE(client.waitClosed());
    EXPECT_EQ(client.received(), answer("200 OK", "application/json", "{}"));
}

TEST_F(DiagServerTest, HeadPastTheLimitIsDropped)
{
    startServer();
    admitEveryone();
    RawHttpClient client;
    ASSERT_TRUE(client.connectTo(loopback, server->serverPort()));
    client.send(paddedHead(65'537));
    ASSERT_TRUE(client.waitClosed());
    EXPECT_TRUE(client.received().isEmpty());
    EXPECT_TRUE(gateLog.isEmpty());
}

QByteArray purgeHead(qint64 contentLength)
{
    return "POST /purge HTTP/1.1\r\nX-Tidewell-From: P\r\nContent-Length: " + QByteArray::number(contentLength)
           + "\r\n\r\n";
}

TEST_F(DiagServerTest, RequestOfExactlyTheLimitStillWaits)
{
    startServer();
    installAllHandlers();
    // Complete at 1,000,001 bytes: the first million leave the body one byte short.
    const qint64 bodySize = 1'000'001 - purgeHead(999'999).size();
    const QByteArray head = purgeHead(bodySize);
    ASSERT_EQ(head.size(), purgeHead(999'999).size());
    RawHttpClient client;
    ASSERT_TRUE(client.connectTo(loopback, server->serverPort()));
    client.send(head + QByteArray(1'000'000 - head.size(), 'b'));
    ASSERT_TRUE(client.flush());
    runEventLoopFor(300);
    EXPECT_FALSE(client.isClosed());
    client.send("c");
    ASSERT_TRUE(client.waitClosed());
    EXPECT_TRUE(client.received().startsWith("HTTP/1.1 409 Conflict\r\n"));
    ASSERT_EQ(purgeBodies.size(), 1);
    EXPECT_EQ(purgeBodies.first().size(), bodySize);
    EXPECT_TRUE(purgeBodies.first().endsWith("bc"));
}

TEST_F(DiagServerTest, RequestPastTheLimitIsDropped)
{
    startServer();
    installAllHandlers();
    const QByteArray head = purgeHead(2'000'000);
    RawHttpClient client;
    ASSERT_TRUE(client.connectTo(loopback, server->serverPort()));
    client.send(head + QByteArray(1'000'001 - head.size(), 'b'));
    ASSERT_TRUE(client.waitClosed());
    EXPECT_TRUE(client.received().isEmpty());
    EXPECT_TRUE(purgeBodies.isEmpty());
}

TEST_F(DiagServerTest, SilentClientIsDroppedAfterIdleTimeout)
{
    DiagServer::Options options = loopbackOptions();
    options.idleTimeout = 150ms;
    startServer(options);
    admitEveryone();
    RawHttpClient silent;
    RawHttpClient partial;
    ASSERT_TRUE(silent.connectTo(loopback, server->serverPort()));
    ASSERT_TRUE(partial.connectTo(loopback, server->serverPort()));
    partial.send("GET /status HTTP/1.1\r\nX-Tide");
    EXPECT_TRUE(silent.waitClosed(3000));
    EXPECT_TRUE(partial.waitClosed(3000));
    EXPECT_TRUE(silent.received().isEmpty());
    EXPECT_TRUE(partial.received().isEmpty());
    EXPECT_TRUE(waitUntil([&] { return server->openConnections() == 0; }));
}

TEST_F(DiagServerTest, ClientThatKeepsSendingIsNotIdle)
{
    DiagServer::Options options = loopbackOptions();
    options.idleTimeout = 600ms;
    startServer(options);
    admitEveryone();
    RawHttpClient client;
    ASSERT_TRUE(client.connectTo(loopback, server->serverPort()));
    const QByteArray request = statusRequest();
    // Six pieces over about 1.2 s, twice the time-out, each gap well under it.
    for (qsizetype i = 0; i < 6; ++i) {
        client.send(request.mid(i * 10, i == 5 ? -1 : 10));
        runEventLoopFor(200);
    }
    ASSERT_TRUE(client.waitClosed());
    EXPECT_EQ(client.received(), answer("200 OK", "application/json", "{}"));
}

TEST_F(DiagServerTest, ConnectionCapQueuesInsteadOfDropping)
{
    DiagServer::Options options = loopbackOptions();
    options.maxConnections = 2;
    startServer(options);
    admitEveryone();
    RawHttpClient first;
    RawHttpClient second;
    ASSERT_TRUE(first.connectTo(loopback, server->serverPort()));
    ASSERT_TRUE(second.connectTo(loopback, server->serverPort()));
    first.send("GET /status HTTP/1.1\r\n");
    second.send("GET /status HTTP/1.1\r\n");
    ASSERT_TRUE(waitUntil([&] { return server->openConnections() == 2; }));

    std::vector<std::unique_ptr<RawHttpClient>> waiting;
    for (int i = 0; i < 3; ++i) {
        waiting.push_back(std::make_unique<RawHttpClient>());
        ASSERT_TRUE(waiting.back()->connectTo(loopback, server->serverPort()));
        waiting.back()->send(statusRequest());
    }
    runEventLoopFor(300);
    EXPECT_EQ(server->openConnections(), 2);
    for (const auto &client : waiting)
        EXPECT_TRUE(client->received().isEmpty());

    first.send("X-Tidewell-From: P\r\n\r\n");
    ASSERT_TRUE(first.waitClosed());
    for (const auto &client : waiting) {
        ASSERT_TRUE(client->waitClosed());
        EXPECT_EQ(client->received(), answer("200 OK", "application/json", "{}"));
    }
    EXPECT_FALSE(second.isClosed());
    EXPECT_LE(server->openConnections(), 2);
}

TEST_F(DiagServerTest, ManyConcurrentClientsAreAllAnswered)
{
    DiagServer::Options options = loopbackOptions();
    options.maxConnections = 4;
    startServer(options);
    admitEveryone();
    std::vector<std::unique_ptr<RawHttpClient>> clients;
    for (int i = 0; i < 40; ++i) {
        clients.push_back(std::make_unique<RawHttpClient>());
        ASSERT_TRUE(clients.back()->connectTo(loopback, server->serverPort()));
        clients.back()->send(statusRequest());
    }
    for (const auto &client : clients) {
        ASSERT_TRUE(client->waitClosed());
        EXPECT_EQ(client->received(), answer("200 OK", "application/json", "{}"));
    }
    EXPECT_EQ(gateLog.size(), 40);
}

// --- Concurrency and lifecycle ---------------------------------------------------

TEST_F(DiagServerTest, SlowHandlerDoesNotHoldOtherRequests)
{
    startServer();
    installAllHandlers();
    bool release = false;
    server->statusProvider = [release = &release] { return bytesAfter(release, "[]"); };
    RawHttpClient slow;
    ASSERT_TRUE(slow.connectTo(loopback, server->serverPort()));
    slow.send(statusRequest());
    ASSERT_TRUE(waitUntil([&] { return gateLog.size() == 1; }));

    EXPECT_EQ(ask("GET /diag HTTP/1.1\r\nX-Tidewell-From: P\r\n\r\n"),
              answer("200 OK", "text/plain", "Z\xC3\xBCrich \xE2\x80\x94 ok"));
    EXPECT_FALSE(slow.isClosed());
    release = true;
    ASSERT_TRUE(slow.waitClosed());
    EXPECT_EQ(slow.received(), answer("200 OK", "application/json", "[]"));
}

TEST_F(DiagServerTest, LongReportArrivesWhole)
{
    startServer();
    admitEveryone();
    const QString report(8 * 1024 * 1024, u'r');
    server->reportProvider = [report] { return textOf(report); };
    const QByteArray reply = RawHttpClient::exchange(loopback, server->serverPort(),
                                                     "GET /diag HTTP/1.1\r\nX-Tidewell-From: P\r\n\r\n", 20000);
    EXPECT_EQ(reply, answer("200 OK", "text/plain", report.toUtf8()));
}

TEST_F(DiagServerTest, ServerGoneWhileHandlerRunsClosesWithoutAnswer)
{
    startServer();
    installAllHandlers();
    bool release = false;
    server->statusProvider = [release = &release] { return bytesAfter(release, "[]"); };
    RawHttpClient client;
    ASSERT_TRUE(client.connectTo(loopback, server->serverPort()));
    client.send(statusRequest());
    ASSERT_TRUE(waitUntil([&] { return gateLog.size() == 1; }));
    server.reset();
    ASSERT_TRUE(client.waitClosed());
    release = true;
    runEventLoopFor(50);
    EXPECT_TRUE(client.received().isEmpty());
}

TEST_F(DiagServerTest, StartTwiceKeepsOneListener)
{
    startServer();
    const quint16 port = server->serverPort();
    server->start();
    EXPECT_TRUE(server->isRunning());
    EXPECT_EQ(server->serverPort(), port);
}

TEST_F(DiagServerTest, StopThenStartListensAgain)
{
    startServer();
    admitEveryone();
    const quint16 port = server->serverPort();
    server->stop();
    EXPECT_FALSE(server->isRunning());
    EXPECT_FALSE(server->hasListener());
    EXPECT_TRUE(RawHttpClient::exchange(loopback, port, statusRequest()).isNull());

    server->start();
    EXPECT_TRUE(server->isRunning());
    EXPECT_EQ(ask(statusRequest()), answer("200 OK", "application/json", "{}"));
}

TEST_F(DiagServerTest, PortInUseLeavesNoListenerAndRetriesLater)
{
    startServer();
    DiagServer::Options options = loopbackOptions();
    options.port = server->serverPort();
    DiagServer second(options);
    second.start();
    EXPECT_FALSE(second.isRunning());
    EXPECT_FALSE(second.hasListener());

    server->stop();
    second.start();
    EXPECT_TRUE(second.isRunning());
    EXPECT_EQ(second.serverPort(), options.port);
}

} // namespace
} // namespace tw
