#include "lan/DiagServer.h"

#include "FakeSyncEngine.h"
#include "RawHttpClient.h"
#include "WaitUntil.h"
#include "lan/PairedPeerGate.h"

#include <QHostAddress>
#include <QTimer>
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

QByteArray peerRequest(const QByteArray &line, const QByteArray &moreHeaders = {})
{
    return line + " HTTP/1.1\r\nX-Tidewell-From: " + peerID.toUtf8() + "\r\n" + moreHeaders + "\r\n";
}

const QByteArray statusRequest = peerRequest("GET /status");
const QByteArray emptyStatus = answer("200 OK", "application/json", "{}");
const QByteArray notPaired = answer("403 Forbidden", "text/plain", "Not a paired device.");
const QByteArray pageForbidden =
    answer("403 Forbidden", "text/plain", "Remote status is off, or the link/token is invalid.");
const QByteArray notFound = answer("404 Not Found", "text/plain", "not found");
const QByteArray report = "Z\xC3\xBCrich \xE2\x80\x94 ok";

QCoro::Task<bool> recordGate(QStringList *log, bool admit, QString id, QString address)
{
    log->append(id + u'@' + address);
    co_return admit;
}

QCoro::Task<bool> isGoodToken(QString token) { co_return token == QLatin1String("good"); }

QCoro::Task<QByteArray> bytesAfter(const bool *release, QByteArray bytes)
{
    while (release && !*release)
        co_await QCoro::sleepFor(2ms);
    co_return bytes;
}

QCoro::Task<QString> textOf(QString text) { co_return text; }

QCoro::Task<DiagServer::PurgeAnswer> recordPurge(QList<QByteArray> *bodies, QString sender, QByteArray body)
{
    bodies->append(body);
    co_return DiagServer::PurgeAnswer{QStringLiteral("409 Conflict"), "{\"ok\":false,\"from\":\"" + sender.toUtf8() + "\"}"};
}

void pairedAt(FakeSyncEngine &engine, const QString &address)
{
    DeviceConnection connection;
    connection.id = peerID;
    connection.connected = true;
    connection.address = address;
    engine.state.devices = {SyncDevice{peerID, QStringLiteral("Studio Mac")}};
    engine.state.connections = {connection};
}

enum class Handlers { GateOnly, TokenOnly, All };

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

    void startServer(DiagServer::Options options = loopbackOptions(), Handlers handlers = Handlers::GateOnly)
    {
        server = std::make_unique<DiagServer>(options);
        server->start();
        ASSERT_TRUE(server->isRunning());
        ASSERT_NE(server->serverPort(), 0);
        setGate(true);
        if (handlers != Handlers::GateOnly)
            server->dashboardAuthorized = isGoodToken;
        if (handlers != Handlers::All)
            return;
        server->statusProvider = [] { return bytesAfter(nullptr, "[{\"folderID\":\"tdw-1\"}]"); };
        server->reportProvider = [] { return textOf(QString::fromUtf8(report)); };
        server->purgeHandler = [bodies = &purgeBodies](QString sender, QByteArray body) {
            return recordPurge(bodies, std::move(sender), std::move(body));
        };
        server->dashboardProvider = [] { return textOf(QStringLiteral("<h1>TidewellMesh</h1>")); };
    }

    void startWithAllHandlers() { startServer(loopbackOptions(), Handlers::All); }

    void setGate(bool admit)
    {
        server->isKnownPeer = [log = &gateLog, admit](QString id, QString address) {
            return recordGate(log, admit, std::move(id), std::move(address));
        };
    }

    QByteArray ask(const QByteArray &request) const
    {
        return RawHttpClient::exchange(loopback, server->serverPort(), request);
    }

    std::unique_ptr<DiagServer> server;
    QStringList gateLog;
    QList<QByteArray> purgeBodies;
};

struct RouteCase
{
    const char *name;
    Handlers handlers;
    QByteArray request;
    QByteArray expected;
};

void PrintTo(const RouteCase &c, std::ostream *out) { *out << c.name; }

class DiagServerRouteTest : public DiagServerTest, public ::testing::WithParamInterface<RouteCase>
{
};

TEST_P(DiagServerRouteTest, AnswersByteForByte)
{
    startServer(loopbackOptions(), GetParam().handlers);
    EXPECT_EQ(ask(GetParam().request), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Routes, DiagServerRouteTest,
    ::testing::Values(
        RouteCase{"StatusWithoutHandler", Handlers::GateOnly, statusRequest,
                  "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: 2\r\n"
                  "Connection: close\r\n\r\n{}"},
        RouteCase{"TrailingSlashNotFound", Handlers::GateOnly, peerRequest("GET /status/"), notFound},
        RouteCase{"MethodIsCaseSensitive", Handlers::GateOnly, peerRequest("get /status"), notFound},
        RouteCase{"GetPurgeNotFound", Handlers::GateOnly, peerRequest("GET /purge"), notFound},
        RouteCase{"PurgeWithoutHandler", Handlers::GateOnly, peerRequest("POST /purge"),
                  answer("404 Not Found", "text/plain", "no purge")},
        RouteCase{"DiagWithoutHandler", Handlers::GateOnly, peerRequest("GET /diag"),
                  answer("200 OK", "text/plain", "No diagnostics report is available.")},
        RouteCase{"PageWithoutTokenGate", Handlers::GateOnly, "GET /?t=good HTTP/1.1\r\n\r\n", pageForbidden},
        RouteCase{"PageWithoutProvider", Handlers::TokenOnly, "GET /?t=good HTTP/1.1\r\n\r\n",
                  answer("200 OK", "text/html", "<!doctype html><title>\xE2\x80\x94</title>No status.")},
        RouteCase{"Status", Handlers::All, statusRequest, answer("200 OK", "application/json", "[{\"folderID\":\"tdw-1\"}]")},
        RouteCase{"DiagLengthCountsBytes", Handlers::All, peerRequest("GET /diag"), answer("200 OK", "text/plain", report)},
        RouteCase{"PurgeStatusVerbatim", Handlers::All, peerRequest("POST /purge", "Content-Length: 2\r\n") + "{}",
                  answer("409 Conflict", "application/json", "{\"ok\":false,\"from\":\"" + peerID.toUtf8() + "\"}")},
        RouteCase{"PageWithToken", Handlers::All, "GET /?t=good HTTP/1.1\r\n\r\n",
                  answer("200 OK", "text/html", "<h1>TidewellMesh</h1>")},
        RouteCase{"PageWithWrongToken", Handlers::All, "GET /?t=bad HTTP/1.1\r\n\r\n", pageForbidden}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(DiagServerTest, PeerGateGetsTheLastSenderTrimmedAndTheSourceAddress)
{
    startWithAllHandlers();
    ask("GET /status HTTP/1.1\r\nX-TIDEWELL-FROM:   AAA  \r\n\r\n");
    ask("GET /status HTTP/1.1\r\nX-Tidewell-From: AAA\r\nx-tidewell-from: BBB\r\n\r\n");
    EXPECT_EQ(gateLog, (QStringList{"AAA@127.0.0.1", "BBB@127.0.0.1"}));
}

TEST_F(DiagServerTest, PeerRoutesRefuseMissingEmptyOrUnknownSenders)
{
    startWithAllHandlers();
    // The gate admits everyone, yet a request without a sender is no peer's.
    for (const char *path : {"/status", "/diag", "/purge"})
        EXPECT_EQ(ask(QByteArray("GET ") + path + " HTTP/1.1\r\n\r\n"), notPaired) << path;
    EXPECT_EQ(ask("GET /status HTTP/1.1\r\nX-Tidewell-From:  \r\n\r\n"), notPaired);

    const QByteArray purge = peerRequest("POST /purge", "Content-Length: 2\r\n") + "{}";
    setGate(false);
    EXPECT_EQ(ask(purge), notPaired);
    server->isKnownPeer = nullptr;
    EXPECT_EQ(ask(purge), notPaired);
    EXPECT_TRUE(purgeBodies.isEmpty());
}

TEST_F(DiagServerTest, EngineGateAdmitsOnlyTheDevicesOwnConnectionAlsoFromAMappedAddress)
{
    DiagServer::Options options = loopbackOptions();
    options.address = QHostAddress(QStringLiteral("::ffff:127.0.0.1"));
    startServer(options);
    ask(statusRequest);
    EXPECT_EQ(gateLog, QStringList{peerID + QStringLiteral("@::ffff:127.0.0.1")});

    FakeSyncEngine engine;
    server->isKnownPeer = PairedPeerGate::forEngine(&engine);
    pairedAt(engine, QStringLiteral("192.168.1.77:22000"));
    EXPECT_EQ(ask(statusRequest), notPaired);
    // The same device connected over loopback is the client itself.
    pairedAt(engine, QStringLiteral("127.0.0.2:22000"));
    server->isKnownPeer = PairedPeerGate::forEngine(&engine);  // a gate that has not seen the old connection
    EXPECT_EQ(ask(statusRequest), emptyStatus);
}

TEST_F(DiagServerTest, PurgeGetsExactlyContentLengthBytes)
{
    startWithAllHandlers();
    const struct
    {
        QByteArray lengthHeader;
        QByteArray sent;
        QByteArray body;
    } cases[] = {
        {"Content-Length: 5\r\n", "0123456789AB", "01234"},
        {"Content-Length: -4\r\n", "0123", ""},
        {"", "0123", ""},
        {"Content-Length: 4\r\n", QByteArray("\0\r\n\xFF", 4), QByteArray("\0\r\n\xFF", 4)},
    };
    for (const auto &c : cases) {
        purgeBodies.clear();
        EXPECT_TRUE(ask(peerRequest("POST /purge", c.lengthHeader) + c.sent).startsWith("HTTP/1.1 409 Conflict\r\n"));
        EXPECT_EQ(purgeBodies, QList<QByteArray>{c.body}) << c.lengthHeader.toStdString();
    }
}

QByteArray paddedHead(qsizetype size)
{
    QByteArray head = peerRequest("GET /status", "X-Pad: ");
    head.chop(2);
    return head + QByteArray(size - head.size(), 'a');
}

TEST_F(DiagServerTest, HeadLimitIs64KiB)
{
    startServer();
    RawHttpClient atLimit;
    RawHttpClient pastLimit;
    ASSERT_TRUE(atLimit.connectTo(loopback, server->serverPort()));
    ASSERT_TRUE(pastLimit.connectTo(loopback, server->serverPort()));
    atLimit.send(paddedHead(65'536));
    pastLimit.send(paddedHead(65'537));
    ASSERT_TRUE(atLimit.flush());
    ASSERT_TRUE(pastLimit.waitClosed());
    EXPECT_TRUE(pastLimit.received().isEmpty());
    runEventLoopFor(200);
    EXPECT_FALSE(atLimit.isClosed());
    atLimit.send("\r\n\r\n");
    ASSERT_TRUE(atLimit.waitClosed());
    EXPECT_EQ(atLimit.received(), emptyStatus);
}

QByteArray purgeHead(qint64 contentLength)
{
    return peerRequest("POST /purge", "Content-Length: " + QByteArray::number(contentLength) + "\r\n");
}

TEST_F(DiagServerTest, RequestLimitIsOneMillionBytes)
{
    startWithAllHandlers();
    RawHttpClient pastLimit;
    ASSERT_TRUE(pastLimit.connectTo(loopback, server->serverPort()));
    const QByteArray bigHead = purgeHead(2'000'000);
    pastLimit.send(bigHead + QByteArray(1'000'001 - bigHead.size(), 'b'));
    ASSERT_TRUE(pastLimit.waitClosed());
    EXPECT_TRUE(pastLimit.received().isEmpty());

    // Complete at 1,000,001 bytes: the first million leave the body one byte short.
    const qint64 bodySize = 1'000'001 - purgeHead(999'999).size();
    const QByteArray head = purgeHead(bodySize);
    RawHttpClient atLimit;
    ASSERT_TRUE(atLimit.connectTo(loopback, server->serverPort()));
    atLimit.send(head + QByteArray(1'000'000 - head.size(), 'b'));
    ASSERT_TRUE(atLimit.flush());
    runEventLoopFor(300);
    EXPECT_FALSE(atLimit.isClosed());
    atLimit.send("c");
    ASSERT_TRUE(atLimit.waitClosed());
    EXPECT_TRUE(atLimit.received().startsWith("HTTP/1.1 409 Conflict\r\n"));
    ASSERT_EQ(purgeBodies.size(), 1);
    EXPECT_EQ(purgeBodies.first().size(), bodySize);
}

TEST_F(DiagServerTest, TricklingClientsAreCutOffAndCannotShutOutAnotherAddress)
{
    DiagServer::Options options = loopbackOptions();
    options.requestDeadline = 3s;
    options.maxConnections = 3;
    options.maxConnectionsPerAddress = 2;
    startServer(options);
    // Two clients from one address drip head bytes that never end it; a third is over its address's cap.
    RawHttpClient trickling[2];
    for (RawHttpClient &client : trickling)
        ASSERT_TRUE(client.connectTo(loopback, server->serverPort()));
    QTimer drip;
    QObject::connect(&drip, &QTimer::timeout, [&] {
        for (RawHttpClient &client : trickling)
            client.send("a");
    });
    drip.start(50);
    RawHttpClient overCap;
    overCap.connectTo(loopback, server->serverPort());  // may be closed before it sees itself connected
    ASSERT_TRUE(overCap.waitClosed());

    RawHttpClient other;
    ASSERT_TRUE(other.bindTo(QHostAddress(QStringLiteral("127.0.0.2"))));
    ASSERT_TRUE(other.connectTo(loopback, server->serverPort()));
    other.send(statusRequest);
    ASSERT_TRUE(other.waitClosed());
    EXPECT_EQ(other.received(), emptyStatus);
    // Both came within the deadline, while the trickling clients were still held.
    EXPECT_FALSE(trickling[0].isClosed() || trickling[1].isClosed());
    for (RawHttpClient &client : trickling) {
        ASSERT_TRUE(client.waitClosed(10000));
        EXPECT_TRUE(client.received().isEmpty());
    }
}

TEST_F(DiagServerTest, ConnectionCapQueuesInsteadOfDropping)
{
    DiagServer::Options options = loopbackOptions();
    options.maxConnections = 2;
    startServer(options);
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
        waiting.back()->send(statusRequest);
    }
    runEventLoopFor(300);
    EXPECT_EQ(server->openConnections(), 2);
    for (const auto &client : waiting)
        EXPECT_TRUE(client->received().isEmpty());

    first.send("X-Tidewell-From: P\r\n\r\n");
    ASSERT_TRUE(first.waitClosed());
    for (const auto &client : waiting) {
        ASSERT_TRUE(client->waitClosed());
        EXPECT_EQ(client->received(), emptyStatus);
    }
    EXPECT_FALSE(second.isClosed());
    EXPECT_LE(server->openConnections(), 2);
}

TEST_F(DiagServerTest, SlowHandlerHoldsNoOtherRequestAndMayOutliveTheServer)
{
    startWithAllHandlers();
    bool release = false;
    server->statusProvider = [release = &release] { return bytesAfter(release, "[]"); };
    RawHttpClient slow;
    ASSERT_TRUE(slow.connectTo(loopback, server->serverPort()));
    slow.send(statusRequest);
    ASSERT_TRUE(waitUntil([&] { return gateLog.size() == 1; }));
    EXPECT_EQ(ask(peerRequest("GET /diag")), answer("200 OK", "text/plain", report));
    EXPECT_FALSE(slow.isClosed());

    server.reset();
    ASSERT_TRUE(slow.waitClosed());
    release = true;
    runEventLoopFor(50);
    EXPECT_TRUE(slow.received().isEmpty());
}

TEST_F(DiagServerTest, LongReportArrivesWhole)
{
    startServer();
    const QString longReport(8 * 1024 * 1024, u'r');
    server->reportProvider = [longReport] { return textOf(longReport); };
    EXPECT_EQ(RawHttpClient::exchange(loopback, server->serverPort(), peerRequest("GET /diag"), 20000),
              answer("200 OK", "text/plain", longReport.toUtf8()));
}

TEST_F(DiagServerTest, OneListenerPerPortAndStartAgainAfterStop)
{
    startServer();
    const quint16 port = server->serverPort();
    server->start();
    EXPECT_EQ(server->serverPort(), port);

    DiagServer::Options options = loopbackOptions();
    options.port = port;
    DiagServer second(options);
    second.start();
    EXPECT_FALSE(second.isRunning());
    EXPECT_FALSE(second.hasListener());

    server->stop();
    EXPECT_FALSE(server->isRunning());
    EXPECT_TRUE(RawHttpClient::exchange(loopback, port, statusRequest).isNull());
    second.start();
    EXPECT_TRUE(second.isRunning());
    EXPECT_EQ(second.serverPort(), port);
    server->start();
    EXPECT_EQ(ask(statusRequest), emptyStatus);
}

} // namespace
} // namespace tw
