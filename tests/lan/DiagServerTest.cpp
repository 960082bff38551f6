#include "lan/DiagServer.h"

#include "WaitUntil.h"

#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

#include <qcoro/qcorotimer.h>

using namespace std::chrono_literals;

namespace tw {
namespace {

const QHostAddress loopback(QHostAddress::LocalHost);

QByteArray answer(const QByteArray &status, const QByteArray &type, const QByteArray &body)
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type + "; charset=utf-8\r\nContent-Length: "
           + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

QByteArray peerRequest(const QByteArray &line, const QByteArray &moreHeaders = {})
{
    return line + " HTTP/1.1\r\nX-Tidewell-From: PEER\r\n" + moreHeaders + "\r\n";
}

QByteArray purgeRequest(const QByteArray &body, qsizetype contentLength)
{
    return peerRequest("POST /purge", "Content-Length: " + QByteArray::number(contentLength) + "\r\n") + body;
}

const QByteArray statusRequest = peerRequest("GET /status");
const QByteArray status = "[{\"folderID\":\"tdw-1\"}]";
const QByteArray notPaired = answer("403 Forbidden", "text/plain", "Not a paired device.");
const QByteArray pageForbidden =
    answer("403 Forbidden", "text/plain", "Remote status is off, or the link/token is invalid.");
const QByteArray notFound = answer("404 Not Found", "text/plain", "not found");
const QByteArray report = "Z\xC3\xBCrich \xE2\x80\x94 ok";

QCoro::Task<bool> admitIf(const bool *admit) { co_return *admit; }

QCoro::Task<bool> isGoodToken(QString token) { co_return token == QLatin1String("good"); }

// Holds its answer until released, as a status read waits for the engine;
// counts the reads begun and ended.
QCoro::Task<QByteArray> heldStatus(const bool *released, int *begun, int *ended)
{
    ++*begun;
    while (!*released)
        co_await QCoro::sleepFor(2ms);
    ++*ended;
    co_return QByteArray(status);
}

QCoro::Task<QString> textOf(QString text) { co_return text; }

QCoro::Task<DiagServer::PurgeAnswer> echoPurge(QString sender, QByteArray body)
{
    co_return DiagServer::PurgeAnswer{QStringLiteral("409 Conflict"), sender.toUtf8() + '|' + body};
}

// Speaks raw bytes to the server and keeps all it receives; it never closes first.
struct RawClient
{
    explicit RawClient(const QHostAddress &source = loopback)
    {
        socket.bind(source);
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
        QObject::connect(&socket, &QTcpSocket::stateChanged, [this](QAbstractSocket::SocketState state) {
            closed = closed || state == QAbstractSocket::UnconnectedState;
        });
    }

    bool connectTo(quint16 port)
    {
        socket.connectToHost(loopback, port);
        return waitUntil([this] { return socket.state() == QAbstractSocket::ConnectedState || closed; }) && !closed;
    }

    bool waitClosed(int timeoutMs = 5000)
    {
        return waitUntil([this] { return closed; }, timeoutMs);
    }

    QTcpSocket socket;
    QByteArray received;
    bool closed = false;
};

class DiagServerTest : public ::testing::Test
{
protected:
    void startServer(DiagServer::Options options = {.address = loopback, .port = 0})
    {
        server = std::make_unique<DiagServer>(options);
        server->start();
        ASSERT_NE(server->serverPort(), 0);
        server->isKnownPeer = [this](QString, QString) { return admitIf(&admitPeers); };
        server->dashboardAuthorized = isGoodToken;
    }

    void installProviders()
    {
        server->statusProvider = [this] { return heldStatus(&statusReleased, &statusReadsBegun, &statusReadsEnded); };
        server->reportProvider = [] { return textOf(QString::fromUtf8(report)); };
        server->purgeHandler = echoPurge;
        server->dashboardProvider = [] { return textOf(QStringLiteral("<h1>TidewellMesh</h1>")); };
    }

    QByteArray ask(const QByteArray &request) const
    {
        RawClient client;
        if (!client.connectTo(server->serverPort()))
            return "no connection";
        client.socket.write(request);
        return client.waitClosed() ? client.received : "not closed";
    }

    std::unique_ptr<DiagServer> server;
    bool admitPeers = true;
    bool statusReleased = true;
    int statusReadsBegun = 0;
    int statusReadsEnded = 0;
};

TEST_F(DiagServerTest, AnswersEachRouteWithAndWithoutItsHandler)
{
    // Sockets of a dual-stack listener see IPv4 peers in their mapped form.
    startServer({.address = QHostAddress(QStringLiteral("::ffff:127.0.0.1")), .port = 0});
    const struct
    {
        QByteArray request;
        QByteArray withoutHandler;
        QByteArray withHandler;
    } cases[] = {
        {statusRequest, answer("200 OK", "application/json", "{}"), answer("200 OK", "application/json", status)},
        {peerRequest("GET /diag"), answer("200 OK", "text/plain", "No diagnostics report is available."),
         answer("200 OK", "text/plain", report)},
        {purgeRequest(QByteArray("\0\r\n\xFF" "56789", 9), 5), answer("404 Not Found", "text/plain", "no purge"),
         answer("409 Conflict", "application/json", QByteArray("PEER|\0\r\n\xFF" "5", 10))},
        {purgeRequest("0123", -4), answer("404 Not Found", "text/plain", "no purge"),
         answer("409 Conflict", "application/json", "PEER|")},
        {"GET /?t=good HTTP/1.1\r\n\r\n", answer("200 OK", "text/html", "<!doctype html><title>\xE2\x80\x94</title>No status."),
         answer("200 OK", "text/html", "<h1>TidewellMesh</h1>")},
        {"GET /?t=bad HTTP/1.1\r\n\r\n", pageForbidden, pageForbidden},
        {peerRequest("GET /purge"), notFound, notFound},
        {"GET /status HTTP/1.1\r\nX-Tidewell-From:  \r\n\r\n", notPaired, notPaired},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ask(c.request), c.withoutHandler) << c.request.toStdString();
    installProviders();
    for (const auto &c : cases)
        EXPECT_EQ(ask(c.request), c.withHandler) << c.request.toStdString();

    admitPeers = false;
    EXPECT_EQ(ask(statusRequest), notPaired);
    server->isKnownPeer = nullptr;
    EXPECT_EQ(ask(statusRequest), notPaired);
}

TEST_F(DiagServerTest, HeadAndRequestLimitsHoldToTheByte)
{
    startServer();
    installProviders();
    const QByteArray paddedHead = peerRequest("GET /status", "X-Pad: " + QByteArray(65'536, 'a') + "\r\n");
    // The purge is complete at 1,000,002 bytes.
    const QByteArray body(1'000'002 - purgeRequest({}, 999'999).size(), 'b');
    const struct
    {
        QByteArray request;
        qsizetype limit;
        QByteArray expected;
    } cases[] = {
        {paddedHead, 65'536, answer("200 OK", "application/json", status)},
        {purgeRequest(body, body.size()), 1'000'000, answer("409 Conflict", "application/json", "PEER|" + body)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.limit);
        RawClient atLimit;
        RawClient pastLimit;
        ASSERT_TRUE(atLimit.connectTo(server->serverPort()));
        ASSERT_TRUE(pastLimit.connectTo(server->serverPort()));
        atLimit.socket.write(c.request.left(c.limit));
        pastLimit.socket.write(c.request.left(c.limit + 1));
        ASSERT_TRUE(pastLimit.waitClosed());
        EXPECT_TRUE(pastLimit.received.isEmpty());
        ASSERT_TRUE(waitUntil([&] { return atLimit.socket.bytesToWrite() == 0; }));
        runEventLoopFor(300);
        EXPECT_FALSE(atLimit.closed);
        atLimit.socket.write(c.request.mid(c.limit));
        ASSERT_TRUE(atLimit.waitClosed());
        EXPECT_EQ(atLimit.received, c.expected);
    }
}

TEST_F(DiagServerTest, ATricklingClientIsCutOffAtTheRequestDeadline)
{
    startServer({.address = loopback, .port = 0, .requestDeadline = 1s});
    // Bytes keep coming well inside the deadline, but never end the head.
    RawClient trickling;
    ASSERT_TRUE(trickling.connectTo(server->serverPort()));
    QTimer drip;
    QObject::connect(&drip, &QTimer::timeout, [&] { trickling.socket.write("a"); });
    drip.start(50);
    ASSERT_TRUE(trickling.waitClosed(10000));
    EXPECT_TRUE(trickling.received.isEmpty());
}

TEST_F(DiagServerTest, OneAddressCannotShutOutAnother)
{
    // The deadline is far beyond the test, so every client below is held
    // for as long as the test needs it, however slow the machine.
    startServer({.address = loopback, .port = 0, .requestDeadline = 60s, .maxConnections = 2,
                 .maxConnectionsPerAddress = 1});
    RawClient silent;
    ASSERT_TRUE(silent.connectTo(server->serverPort()));
    RawClient overCap;
    overCap.connectTo(server->serverPort());  // may be closed before it sees itself connected
    ASSERT_TRUE(overCap.waitClosed());

    // Another address takes the last slot; the next connection waits for a free one.
    const QHostAddress other(QStringLiteral("127.0.0.2"));
    RawClient holder(other);
    ASSERT_TRUE(holder.connectTo(server->serverPort()));
    ASSERT_TRUE(waitUntil([&] { return server->openConnections() == 2; }));
    RawClient queued(other);
    ASSERT_TRUE(queued.connectTo(server->serverPort()));
    queued.socket.write(statusRequest);
    runEventLoopFor(300);
    EXPECT_TRUE(queued.received.isEmpty());
    holder.socket.write(statusRequest);
    for (RawClient *client : {&holder, &queued}) {
        ASSERT_TRUE(client->waitClosed());
        EXPECT_EQ(client->received, answer("200 OK", "application/json", "{}"));
    }
    EXPECT_FALSE(silent.closed);
}

TEST_F(DiagServerTest, SlowHandlerHoldsNoOtherRequestAndMayOutliveTheServer)
{
    startServer();
    installProviders();
    statusReleased = false;
    RawClient slow;
    ASSERT_TRUE(slow.connectTo(server->serverPort()));
    slow.socket.write(statusRequest);
    ASSERT_TRUE(waitUntil([&] { return statusReadsBegun == 1; }));
    EXPECT_EQ(ask(peerRequest("GET /diag")), answer("200 OK", "text/plain", report));
    EXPECT_FALSE(slow.closed);

    server.reset();
    ASSERT_TRUE(slow.waitClosed());
    statusReleased = true;
    ASSERT_TRUE(waitUntil([&] { return statusReadsEnded == 1; }));
    EXPECT_TRUE(slow.received.isEmpty());
}

} // namespace
} // namespace tw
