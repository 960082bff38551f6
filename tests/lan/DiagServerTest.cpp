#include "lan/DiagServer.h"

#include "RawClient.h"
#include "WaitUntil.h"

#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

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
    // Header names match without regard to case; values lose surrounding spaces and tabs.
    return peerRequest("POST /purge", "content-LENGTH:\t " + QByteArray::number(contentLength) + " \t\r\n") + body;
}

const QByteArray statusRequest = peerRequest("GET /status");
const QByteArray status = "[{\"folderID\":\"tdw-1\"}]";
const QByteArray notPaired = answer("403 Forbidden", "text/plain", "Not a paired device.");
const QByteArray report = "Z\xC3\xBCrich \xE2\x80\x94 ok";

template <typename T>
QCoro::Task<T> ready(T value) { co_return value; }

QCoro::Task<DiagServer::PurgeAnswer> echoPurge(QString sender, QByteArray body)
{
    co_return DiagServer::PurgeAnswer{QStringLiteral("409 Conflict"), sender.toUtf8() + '|' + body};
}

class DiagServerTest : public ::testing::Test
{
protected:
    void startServer(DiagServer::Options options = {.address = loopback, .port = 0})
    {
        server = std::make_unique<DiagServer>(options);
        server->start();
        server->isKnownPeer = [](QString sender, QString) { return ready(sender != QLatin1String("STRANGER")); };
        server->dashboardAuthorized = [](QString token) { return ready(token == QLatin1String("good")); };
    }

    void installProviders()
    {
        server->statusProvider = [] { return ready(status); };
        server->reportProvider = [] { return ready(QString::fromUtf8(report)); };
        server->purgeHandler = echoPurge;
        server->dashboardProvider = [] { return ready(QStringLiteral("<h1>TidewellMesh</h1>")); };
    }

    QByteArray ask(const QByteArray &request, const QHostAddress &source = loopback) const
    {
        RawClient client(source);
        if (!client.connectTo(server->serverPort()))
            return "no connection";
        client.socket.write(request);
        return client.waitClosed() ? client.received : "not closed";
    }

    std::unique_ptr<DiagServer> server;
};

TEST_F(DiagServerTest, AnswersEachRouteWithAndWithoutItsHandler)
{
    // Sockets of a dual-stack listener see IPv4 peers in their mapped form.
    startServer({.address = QHostAddress(QStringLiteral("::ffff:127.0.0.1")), .port = 0});
    const struct
    {
        QByteArray request;
        QByteArray withoutHandler;
        QByteArray withHandler = {};  // when it differs
    } cases[] = {
        {statusRequest, answer("200 OK", "application/json", "{}"), answer("200 OK", "application/json", status)},
        // Runs of spaces separate the request line's parts.
        {peerRequest("GET   /diag "), answer("200 OK", "text/plain", "No diagnostics report is available."),
         answer("200 OK", "text/plain", report)},
        {purgeRequest(QByteArray("\0\r\n\xFF" "56789", 9), 5), answer("404 Not Found", "text/plain", "no purge"),
         answer("409 Conflict", "application/json", QByteArray("PEER|\0\r\n\xFF" "5", 10))},
        {purgeRequest("0123", -4), answer("404 Not Found", "text/plain", "no purge"),
         answer("409 Conflict", "application/json", "PEER|")},
        {"GET /?x=1&t=go%6Fd HTTP/1.1\r\n\r\n", answer("200 OK", "text/html", "<!doctype html><title>\xE2\x80\x94</title>No status."),
         answer("200 OK", "text/html", "<h1>TidewellMesh</h1>")},
        {"GET /?t=bad HTTP/1.1\r\n\r\n", answer("403 Forbidden", "text/plain", "Remote status is off, or the link/token is invalid.")},
        {peerRequest("GET /purge"), answer("404 Not Found", "text/plain", "not found")},
        {peerRequest("GET /status", "X-Tidewell-From: STRANGER\r\n"), notPaired},
        // The last sender header counts, whatever its case; a blank one is refused even where the gate admits it.
        {peerRequest("GET /status", "x-TIDEWELL-from: \t \r\n"), notPaired},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ask(c.request), c.withoutHandler) << c.request.toStdString();
    installProviders();
    for (const auto &c : cases)
        EXPECT_EQ(ask(c.request), c.withHandler.isEmpty() ? c.withoutHandler : c.withHandler) << c.request.toStdString();

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
        EXPECT_FALSE(atLimit.closed());
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
    startServer({.address = loopback, .port = 0, .requestDeadline = 60s, .maxConnectionsPerAddress = 1});
    RawClient silent;
    ASSERT_TRUE(silent.connectTo(server->serverPort()));
    RawClient overCap;
    overCap.connectTo(server->serverPort());  // may be closed before it sees itself connected
    ASSERT_TRUE(overCap.waitClosed());
    EXPECT_EQ(ask(statusRequest, QHostAddress(QStringLiteral("127.0.0.2"))), answer("200 OK", "application/json", "{}"));
    EXPECT_FALSE(silent.closed());
}

// Eight slow connections from four other hosts fill the cap; a paired Mac
// is answered at once and only the oldest slow one gives way.
TEST_F(DiagServerTest, APairedMacIsServedAtOnceWhileSlowHostsHoldEverySlot)
{
    startServer({.address = loopback, .port = 0, .requestDeadline = 60s, .maxConnections = 8,
                 .maxConnectionsPerAddress = 2});
    const QHostAddress mac(QStringLiteral("127.0.0.10"));
    server->isPairedAddress = [mac](const QString &address) { return QHostAddress(address).isEqual(mac); };
    std::vector<std::unique_ptr<RawClient>> slow;
    for (int i = 0; i < 8; ++i) {
        slow.push_back(std::make_unique<RawClient>(QHostAddress(QStringLiteral("127.0.0.%1").arg(2 + i / 2))));
        ASSERT_TRUE(slow.back()->connectTo(server->serverPort()));
        slow.back()->socket.write("GET /sta");
    }
    ASSERT_TRUE(waitUntil([&] { return server->openConnections() == 8; }));
    EXPECT_EQ(ask(statusRequest, mac), answer("200 OK", "application/json", "{}"));
    EXPECT_TRUE(slow.front()->waitClosed());
    for (std::size_t i = 1; i < slow.size(); ++i)
        EXPECT_FALSE(slow[i]->closed()) << i;
}

// With no descriptor left the system refuses the connection; once there are
// descriptors again it is served, though no other connection ever closed.
TEST_F(DiagServerTest, AcceptingGoesOnAfterTheSystemRanOutOfDescriptors)
{
    startServer({.address = loopback, .port = 0, .acceptRetryPause = 50ms});
    RawClient client;  // its descriptor is made here, before the limit
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    const int lowestFree = ::dup(0);
    ::close(lowestFree);
    rlimit lowered = limit;
    lowered.rlim_cur = rlim_t(lowestFree);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    client.socket.connectToHost(loopback, server->serverPort());
    runEventLoopFor(200);
    const int taken = server->openConnections();
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
    EXPECT_EQ(taken, 0);
    client.socket.write(statusRequest);
    ASSERT_TRUE(client.waitClosed());
    EXPECT_EQ(client.received, answer("200 OK", "application/json", "{}"));
}

} // namespace
} // namespace tw
