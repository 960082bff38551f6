#include "controllers/PeerDiagController.h"

#include "AwaitTask.h"
#include "FakeHttpServer.h"
#include "WaitUntil.h"
#include "engine/DiagServer.h"

#include <QElapsedTimer>
#include <QNetworkProxy>
#include <gtest/gtest.h>
#include <memory>

#include <qcoro/qcorotimer.h>

using namespace std::chrono_literals;

namespace tw {
namespace {

const QString localID = QStringLiteral("LOCALID-AAAAAAA");
const QString peerID = QStringLiteral("PEERDEV-BBBBBBB");

FolderDiagStatus record(const QString &id, qint64 needBytes = 0)
{
    return FolderDiagStatus{id, id.toUpper(), QStringLiteral("idle"), 100, 200, needBytes, needBytes ? 3 : 0};
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
        server->isKnownPeer = [senders = &senders](QString id, QString address) {
            return recordSender(senders, std::move(id), std::move(address));
        };
        server->statusProvider = [release = &released, body = &statusBody] { return bodyWhenReleased(release, body); };
        controller = std::make_unique<PeerDiagController>(PeerDiagController::Options{server->serverPort(), 4000ms});
    }

    void TearDown() override
    {
        released = true;
        runEventLoopFor(20);
    }

    void refresh(QList<PeerDiagController::Peer> peers)
    {
        awaitTask(controller->refresh(std::move(peers), localID));
    }

    void refreshPeer(const QString &host = QStringLiteral("127.0.0.1"))
    {
        refresh({{peerID, host}});
    }

    FolderDiagStatusMap mapOf(const QList<FolderDiagStatus> &records)
    {
        FolderDiagStatusMap map;
        for (const FolderDiagStatus &r : records)
            map.insert(r.folderID, r);
        return map;
    }

    std::unique_ptr<DiagServer> server;
    std::unique_ptr<PeerDiagController> controller;
    QStringList senders;
    QByteArray statusBody = FolderDiagStatus::encodeList({record("tdw-a"), record("tdw-b", 512)});
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
    EXPECT_EQ(controller->status("OTHER", "tdw-a"), std::nullopt);
}

TEST_F(PeerDiagControllerTest, RefusedPeerKeepsOldReportWithoutWaitingForTimeOut)
{
    refreshPeer();
    const PeerDiagStatusMap before = controller->peerStatus();
    server->stop();
    QElapsedTimer timer;
    timer.start();
    refreshPeer();
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(controller->reachable(), (PeerReachabilityMap{{peerID, false}}));
    EXPECT_EQ(controller->peerStatus(), before);

    // Back on the same port, it is reachable again.
    DiagServer::Options options;
    options.address = QHostAddress(QHostAddress::LocalHost);
    options.port = controller->port();
    DiagServer again(options);
    again.start();
    ASSERT_TRUE(again.isRunning());
    again.isKnownPeer = server->isKnownPeer;
    again.statusProvider = server->statusProvider;
    refreshPeer();
    EXPECT_EQ(controller->reachable(), (PeerReachabilityMap{{peerID, true}}));
    EXPECT_EQ(controller->peerStatus(), before);
}

TEST_F(PeerDiagControllerTest, SilentPeerTimesOutAndKeepsOldReport)
{
    controller = std::make_unique<PeerDiagController>(PeerDiagController::Options{server->serverPort(), 200ms});
    refreshPeer();
    const PeerDiagStatusMap before = controller->peerStatus();
    released = false;
    QElapsedTimer timer;
    timer.start();
    refreshPeer();
    EXPECT_GE(timer.elapsed(), 150);
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_EQ(controller->reachable(), (PeerReachabilityMap{{peerID, false}}));
    EXPECT_EQ(controller->peerStatus(), before);
}

struct AnswerCase
{
    const char *name;
    QByteArray body;
    bool admitted;
    bool reachable;
    std::optional<QList<FolderDiagStatus>> report;  // absent: the earlier report stays
};

class PeerDiagControllerAnswerTest : public PeerDiagControllerTest, public ::testing::WithParamInterface<AnswerCase>
{
};

TEST_P(PeerDiagControllerAnswerTest, AppliesOutcome)
{
    refreshPeer();
    const PeerDiagStatusMap before = controller->peerStatus();
    statusBody = GetParam().body;
    if (!GetParam().admitted)
        server->isKnownPeer = nullptr;
    refreshPeer();
    EXPECT_EQ(controller->reachable().value(peerID), GetParam().reachable);
    if (GetParam().report)
        EXPECT_EQ(controller->peerStatus().value(peerID), mapOf(*GetParam().report));
    else
        EXPECT_EQ(controller->peerStatus(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, PeerDiagControllerAnswerTest,
    ::testing::Values(
        AnswerCase{"EmptyArray", "[]", true, true, QList<FolderDiagStatus>{}},
        AnswerCase{"ReplacesWholeMap", FolderDiagStatus::encodeList({record("tdw-c")}), true, true,
                   QList<FolderDiagStatus>{record("tdw-c")}},
        AnswerCase{"DuplicateFolderKeepsFirst", FolderDiagStatus::encodeList({record("tdw-c", 1), record("tdw-c", 2)}),
                   true, true, QList<FolderDiagStatus>{record("tdw-c", 1)}},
        AnswerCase{"RecordWithoutNeedItems",
                   R"([{"folderID":"x","label":"X","state":"idle","localBytes":1,"globalBytes":1,"needBytes":0}])",
                   true, false, std::nullopt},
        AnswerCase{"ObjectInsteadOfArray", "{}", true, false, std::nullopt},
        AnswerCase{"NotJson", "<html>", true, false, std::nullopt},
        AnswerCase{"Forbidden", "[]", false, false, std::nullopt}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(PeerDiagControllerTest, EmptyPeerListChangesNothing)
{
    refreshPeer();
    int statusSignals = 0;
    int reachableSignals = 0;
    QObject::connect(controller.get(), &PeerDiagController::peerStatusChanged, [&] { ++statusSignals; });
    QObject::connect(controller.get(), &PeerDiagController::reachableChanged, [&] { ++reachableSignals; });
    server->stop();
    refresh({});
    EXPECT_EQ(controller->reachable(), (PeerReachabilityMap{{peerID, true}}));
    EXPECT_EQ(statusSignals, 0);
    EXPECT_EQ(reachableSignals, 0);
}

TEST_F(PeerDiagControllerTest, NotifiesOnlyOnChange)
{
    int statusSignals = 0;
    int reachableSignals = 0;
    QObject::connect(controller.get(), &PeerDiagController::peerStatusChanged, [&] { ++statusSignals; });
    QObject::connect(controller.get(), &PeerDiagController::reachableChanged, [&] { ++reachableSignals; });
    refreshPeer();
    refreshPeer();
    EXPECT_EQ(statusSignals, 1);
    EXPECT_EQ(reachableSignals, 1);
    statusBody = "[]";
    refreshPeer();
    EXPECT_EQ(statusSignals, 2);
    EXPECT_EQ(reachableSignals, 1);
}

TEST_F(PeerDiagControllerTest, EmptyHostIsUnreachableWithoutRequest)
{
    refreshPeer(QString());
    EXPECT_EQ(controller->reachable(), (PeerReachabilityMap{{peerID, false}}));
    EXPECT_TRUE(controller->peerStatus().isEmpty());
    EXPECT_TRUE(senders.isEmpty());
}

TEST_F(PeerDiagControllerTest, PeersAreFetchedInParallelAndAppliedAsTheyEnd)
{
    released = false;
    const QString other = QStringLiteral("OTHERDEV-CCCCCCC");
    // Nothing listens on the port at 127.0.0.2, so that peer fails at once
    // while the first one is still waiting for its answer.
    auto task = controller->refresh({{peerID, QStringLiteral("127.0.0.1")}, {other, QStringLiteral("127.0.0.2")}}, localID);
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

    std::optional<QByteArray> fetch(const QString &path, const QString &host)
    {
        return awaitTask(PeerDiagController::fetchData(path, host, localID, &session, http.port()));
    }

    FakeHttpServer http;
    QNetworkAccessManager session;
};

TEST_F(PeerDiagFetchTest, GetsPathOnPortWithSenderHeader)
{
    http.enqueue(FakeHttpServer::Response::text(200, "report"));
    EXPECT_EQ(fetch("/diag", "127.0.0.1"), QByteArray("report"));
    ASSERT_EQ(http.requests().size(), 1);
    const FakeHttpServer::Request &request = http.requests().first();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, "/diag");
    EXPECT_EQ(request.header("X-Tidewell-From"), localID.toUtf8());
    EXPECT_TRUE(request.body.isEmpty());
}

TEST_F(PeerDiagFetchTest, OnlyStatus200Counts)
{
    http.enqueue(FakeHttpServer::Response::text(200, ""));
    http.enqueue(FakeHttpServer::Response::text(204, ""));
    http.enqueue(FakeHttpServer::Response::text(500, "[]"));
    FakeHttpServer::Response redirect = FakeHttpServer::Response::text(302, "");
    redirect.headers.append({"Location", http.baseURL().toString().toUtf8() + "/elsewhere"});
    http.enqueue(redirect);
    EXPECT_EQ(fetch("/status", "127.0.0.1"), QByteArray(""));
    EXPECT_EQ(fetch("/status", "127.0.0.1"), std::nullopt);
    EXPECT_EQ(fetch("/status", "127.0.0.1"), std::nullopt);
    EXPECT_EQ(fetch("/status", "127.0.0.1"), std::nullopt);
    EXPECT_EQ(http.requests().size(), 4);  // the redirect was not followed
}

TEST_F(PeerDiagFetchTest, HostOutsideLocalNetworkIsNeverAsked)
{
    // Should the check fail, the request would reach the recording server as
    // a proxy request instead of leaving the machine.
    session.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), http.port()));
    http.setDefaultResponse(FakeHttpServer::Response::text(200, "leaked"));
    EXPECT_EQ(fetch("/status", "51.15.2.3"), std::nullopt);
    EXPECT_EQ(fetch("/status", "[2001:db8::1]"), std::nullopt);
    EXPECT_EQ(fetch("/status", "relay.example.com"), std::nullopt);
    EXPECT_TRUE(http.requests().isEmpty());
}

TEST_F(PeerDiagFetchTest, UnparsableHostGivesNothing)
{
    EXPECT_EQ(fetch("/status", "[fe80::1%eth0]"), std::nullopt);
    EXPECT_EQ(fetch("/status", ""), std::nullopt);
    EXPECT_TRUE(http.requests().isEmpty());
}

TEST_F(PeerDiagFetchTest, StatusDecodesArray)
{
    http.enqueue(FakeHttpServer::Response::json(FolderDiagStatus::encodeList({record("tdw-a")})));
    EXPECT_EQ(awaitTask(PeerDiagController::fetchStatus("127.0.0.1", localID, &session, http.port())),
              QList<FolderDiagStatus>{record("tdw-a")});
    EXPECT_EQ(http.requests().first().target, "/status");
}

} // namespace
} // namespace tw
