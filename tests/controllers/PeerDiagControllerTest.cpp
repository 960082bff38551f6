#include "controllers/PeerDiagController.h"

#include "AwaitTask.h"
#include "FakeHttpServer.h"
#include "WaitUntil.h"
#include "lan/DiagServer.h"

#include <QElapsedTimer>
#include <QNetworkProxy>
#include <gtest/gtest.h>
#include <memory>

#include <qcoro/qcorotimer.h>

using namespace std::chrono_literals;

namespace tw {
namespace {

const QString localID = "LOCALID-AAAAAAA";
const QString peerID = "PEERDEV-BBBBBBB";

FolderDiagStatus record(const QString &id, qint64 needBytes = 0)
{
    return FolderDiagStatus{id, id.toUpper(), "idle", 100, 200, needBytes, needBytes ? 3 : 0};
}

FolderDiagStatusMap mapOf(const QList<FolderDiagStatus> &records)
{
    FolderDiagStatusMap map;
    for (const FolderDiagStatus &r : records)
        map.insert(r.folderID, r);
    return map;
}

QCoro::Task<bool> recordSender(QStringList *senders, QString id, QString)
{
    senders->append(id);
    co_return true;
}

QCoro::Task<QByteArray> bodyWhenReleased(const bool *release, const QByteArray *body)
{
    while (release && !*release)
        co_await QCoro::sleepFor(2ms);
    co_return *body;
}

// The reader against a running LAN status server on loopback.
class PeerDiagControllerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DiagServer::Options options;
        options.address = QHostAddress(QHostAddress::LocalHost);
        options.port = 0;
        server = std::make_unique<DiagServer>(options);
        server->start();
        ASSERT_TRUE(server->isRunning());
        server->isKnownPeer = known;
        server->statusProvider = [release = &released, body = &statusBody] { return bodyWhenReleased(release, body); };
        controller = std::make_unique<PeerDiagController>(PeerDiagController::Options{server->serverPort(), 4000ms});
    }

    void TearDown() override
    {
        released = true;
        runEventLoopFor(20);
    }

    void refreshPeer(const QString &host = "127.0.0.1")
    {
        awaitTask(controller->refresh({{peerID, host}}, localID));
    }

    std::unique_ptr<DiagServer> server;
    std::unique_ptr<PeerDiagController> controller;
    QStringList senders;
    std::function<QCoro::Task<bool>(QString, QString)> known = [this](QString id, QString address) {
        return recordSender(&senders, std::move(id), std::move(address));
    };
    const QByteArray goodBody = FolderDiagStatus::encodeList({record("tdw-a"), record("tdw-b", 512)});
    QByteArray statusBody = goodBody;
    bool released = true;
};

TEST_F(PeerDiagControllerTest, ReadsReachablePeerWithOwnIDAsSender)
{
    refreshPeer();
    EXPECT_EQ(senders, QStringList{localID});
    EXPECT_EQ(controller->peerStatus(), (PeerDiagStatusMap{{peerID, mapOf({record("tdw-a"), record("tdw-b", 512)})}}));
    EXPECT_EQ(controller->reachable(), (PeerReachabilityMap{{peerID, true}}));
    EXPECT_EQ(controller->status(peerID, "tdw-b"), record("tdw-b", 512));
    EXPECT_EQ(controller->status(peerID, "tdw-c"), std::nullopt);
}

TEST_F(PeerDiagControllerTest, SilentOrRefusedPeerIsUnreachableAndKeepsTheOldReport)
{
    controller = std::make_unique<PeerDiagController>(PeerDiagController::Options{server->serverPort(), 1000ms});
    refreshPeer();
    const PeerDiagStatusMap before = controller->peerStatus();
    released = false;
    QElapsedTimer timer;
    timer.start();
    refreshPeer();
    EXPECT_GE(timer.elapsed(), 900);
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_EQ(controller->reachable(), (PeerReachabilityMap{{peerID, false}}));
    EXPECT_EQ(controller->peerStatus(), before);

    released = true;
    refreshPeer();
    server->stop();
    timer.restart();
    refreshPeer();
    EXPECT_LT(timer.elapsed(), 500);  // refused at once, not after the time-out
    EXPECT_EQ(controller->reachable(), (PeerReachabilityMap{{peerID, false}}));
    EXPECT_EQ(controller->peerStatus(), before);
}

TEST_F(PeerDiagControllerTest, AnswersReplaceTheReportOrKeepTheOldOne)
{
    const struct
    {
        const char *name;
        QByteArray body;
        bool admitted;
        std::optional<QList<FolderDiagStatus>> report;  // absent: unreachable, the earlier report stays
    } cases[] = {
        {"empty array", "[]", true, QList<FolderDiagStatus>{}},
        {"duplicate folder keeps the first", FolderDiagStatus::encodeList({record("tdw-c", 1), record("tdw-c", 2)}),
         true, QList<FolderDiagStatus>{record("tdw-c", 1)}},
        {"object instead of array", "{}", true, {}},
        {"forbidden", "[]", false, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        statusBody = goodBody;
        server->isKnownPeer = known;
        refreshPeer();
        const PeerDiagStatusMap before = controller->peerStatus();
        statusBody = c.body;
        if (!c.admitted)
            server->isKnownPeer = nullptr;
        refreshPeer();
        EXPECT_EQ(controller->reachable().value(peerID), c.report.has_value());
        EXPECT_EQ(controller->peerStatus(), (c.report ? PeerDiagStatusMap{{peerID, mapOf(*c.report)}} : before));
    }
}

TEST_F(PeerDiagControllerTest, NotifiesOnlyOnChangeAndAnEmptyPeerListChangesNothing)
{
    int statusSignals = 0;
    int reachableSignals = 0;
    QObject::connect(controller.get(), &PeerDiagController::peerStatusChanged, [&] { ++statusSignals; });
    QObject::connect(controller.get(), &PeerDiagController::reachableChanged, [&] { ++reachableSignals; });
    refreshPeer();
    refreshPeer();
    awaitTask(controller->refresh({}, localID));
    EXPECT_EQ(controller->reachable(), (PeerReachabilityMap{{peerID, true}}));
    EXPECT_EQ(statusSignals, 1);
    EXPECT_EQ(reachableSignals, 1);
    statusBody = "[]";
    refreshPeer();
    EXPECT_EQ(statusSignals, 2);
    EXPECT_EQ(reachableSignals, 1);
}

TEST_F(PeerDiagControllerTest, PeersAreFetchedInParallelAndAppliedAsTheyEnd)
{
    released = false;
    const QString other = "OTHERDEV-CCCCCCC";
    // Nothing listens at 127.0.0.2, so that peer fails while the first waits.
    auto task = controller->refresh({{peerID, "127.0.0.1"}, {other, "127.0.0.2"}}, localID);
    ASSERT_TRUE(waitUntil([&] { return controller->reachable().contains(other); }));
    EXPECT_FALSE(controller->reachable().contains(peerID));
    released = true;
    awaitTask(std::move(task));
    EXPECT_EQ(controller->reachable(), (PeerReachabilityMap{{peerID, true}, {other, false}}));
}

// The request on the wire, against a recording server.
class PeerDiagFetchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(http.listen());
        session.setProxy(QNetworkProxy::NoProxy);
    }

    std::optional<QByteArray> fetch(const QString &host, const QString &path = "/status",
                                    std::chrono::milliseconds deadline = 4000ms)
    {
        return awaitTask(PeerDiagController::fetchData(path, host, localID, &session, {http.port(), deadline}));
    }

    FakeHttpServer http;
    QNetworkAccessManager session;
};

TEST_F(PeerDiagFetchTest, OnlyStatus200CountsAndRedirectsAreNotFollowed)
{
    http.enqueue(FakeHttpServer::Response::text(200, "report"));
    http.enqueue(FakeHttpServer::Response::text(204, ""));
    http.enqueue(FakeHttpServer::Response::text(500, "[]"));
    FakeHttpServer::Response redirect = FakeHttpServer::Response::text(302, "");
    redirect.headers.append({"Location", http.baseURL().toString().toUtf8() + "/elsewhere"});
    http.enqueue(redirect);
    EXPECT_EQ(fetch("127.0.0.1", "/diag"), QByteArray("report"));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(fetch("127.0.0.1"), std::nullopt);
    ASSERT_EQ(http.requests().size(), 4);
    EXPECT_EQ(http.requests().first().target, "/diag");
    EXPECT_EQ(http.requests().first().header("X-Tidewell-From"), localID.toUtf8());
}

TEST_F(PeerDiagFetchTest, AnswerPastTheSizeCapOrTheDeadlineFails)
{
    const QByteArray full(PeerDiagController::answerLimit, 'x');
    http.enqueue(FakeHttpServer::Response::text(200, full));
    http.enqueue(FakeHttpServer::Response::text(200, full + 'x'));
    FakeHttpServer::Response trickle = FakeHttpServer::Response::text(200, QByteArray(200, 'x'));
    trickle.dripMs = 20;  // more than 5 s in all, each byte well within an idle time-out
    http.enqueue(trickle);
    EXPECT_EQ(fetch("127.0.0.1"), full);
    EXPECT_EQ(fetch("127.0.0.1"), std::nullopt);
    EXPECT_EQ(fetch("127.0.0.1", "/diag", 100ms), std::nullopt);
}

TEST_F(PeerDiagFetchTest, HostOutsideLocalNetworkIsNeverAsked)
{
    // Should the check fail, the request would reach the recording server as
    // a proxy request instead of leaving the machine.
    session.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", http.port()));
    http.setDefaultResponse(FakeHttpServer::Response::text(200, "leaked"));
    for (const char *host : {"51.15.2.3", "[2001:db8::1]", "relay.example.com", "[fe80::1%eth0]", ""})
        EXPECT_EQ(fetch(QString::fromLatin1(host)), std::nullopt) << host;
    EXPECT_TRUE(http.requests().isEmpty());
}

} // namespace
} // namespace tw
