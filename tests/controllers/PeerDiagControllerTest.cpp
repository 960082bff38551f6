#include "controllers/PeerDiagController.h"

#include "AwaitTask.h"
#include "FakeHttpServer.h"

#include <QNetworkProxy>
#include <gtest/gtest.h>
#include <tuple>

using namespace std::chrono_literals;

namespace tw {
namespace {

const QString localID = "LOCALID-AAAAAAA";
const QString peerID = "PEERDEV-BBBBBBB";
const QList<PeerDiagController::Peer> onePeer{{peerID, "127.0.0.1"}};

FolderDiagStatus record(const QString &id, qint64 needBytes)
{
    return FolderDiagStatus{id, id.toUpper(), "idle", 100, 200, needBytes, needBytes ? 3 : 0};
}

// The reader against a recording server on loopback.
class PeerDiagControllerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(http.listen());
        session.setProxy(QNetworkProxy::NoProxy);
    }

    std::optional<QByteArray> fetch(const QString &host, std::chrono::milliseconds deadline = 4000ms)
    {
        return awaitTask(PeerDiagController::fetchData("/diag", host, localID, &session, {http.port(), deadline}));
    }

    FakeHttpServer http;
    QNetworkAccessManager session;
};

TEST_F(PeerDiagControllerTest, AReadableAnswerReplacesThePeersReportAnyOtherKeepsIt)
{
    const FolderDiagStatusMap good{{"tdw-a", record("tdw-a", 0)}, {"tdw-b", record("tdw-b", 512)}};
    const std::tuple<const char *, QByteArray, std::optional<FolderDiagStatusMap>> cases[] = {
        {"empty array", "[]", FolderDiagStatusMap{}},
        {"duplicate folder keeps the first", FolderDiagStatus::encodeList({record("tdw-c", 1), record("tdw-c", 2)}),
         FolderDiagStatusMap{{"tdw-c", record("tdw-c", 1)}}},
        {"object instead of array: unreachable", "{}", std::nullopt},
        {"one record read strictly fails the whole answer", R"([{"folderID":"tdw-c","label":1}])", std::nullopt},
    };
    for (const auto &[name, body, report] : cases) {
        SCOPED_TRACE(name);
        PeerDiagController controller({http.port(), 4000ms});
        http.enqueue(FakeHttpServer::Response::json(FolderDiagStatus::encodeList(good.values())));
        http.enqueue(FakeHttpServer::Response::json(body));
        awaitTask(controller.refresh(onePeer, localID));
        awaitTask(controller.refresh(onePeer, localID));
        EXPECT_EQ(controller.reachable(), (PeerReachabilityMap{{peerID, report.has_value()}}));
        EXPECT_EQ(controller.peerStatus(), (PeerDiagStatusMap{{peerID, report.value_or(good)}}));
    }
}

TEST_F(PeerDiagControllerTest, OnlyAWholeStatus200AnswerWithinDeadlineAndCapCounts)
{
    const QByteArray full(PeerDiagController::answerLimit, 'x');
    FakeHttpServer::Response redirect = FakeHttpServer::Response::text(302, "");
    redirect.headers.append({"Location", http.baseURL().toString().toUtf8() + "/elsewhere"});
    FakeHttpServer::Response trickle = FakeHttpServer::Response::text(200, QByteArray(200, 'x'));
    trickle.dripMs = 20;  // 4 s in all, each byte well within an idle time-out
    const std::tuple<FakeHttpServer::Response, std::chrono::milliseconds, std::optional<QByteArray>> cases[] = {
        {FakeHttpServer::Response::text(200, full), 4000ms, full},
        {FakeHttpServer::Response::text(200, full + 'x'), 4000ms, std::nullopt},
        {FakeHttpServer::Response::text(500, "[]"), 4000ms, std::nullopt},
        {redirect, 4000ms, std::nullopt},
        {trickle, 100ms, std::nullopt},
    };
    for (const auto &[response, deadline, expected] : cases) {
        http.enqueue(response);
        EXPECT_EQ(fetch("127.0.0.1", deadline), expected) << response.status << ", " << response.body.size();
    }
    ASSERT_EQ(http.requests().size(), 5);  // the redirect was not followed
    EXPECT_EQ(http.requests().first().target, "/diag");
    EXPECT_EQ(http.requests().first().header("X-Tidewell-From"), localID.toUtf8());
}

TEST_F(PeerDiagControllerTest, HostOutsideLocalNetworkIsNeverAsked)
{
    // Should the check fail, the request would reach the recording server as
    // a proxy request instead of leaving the machine.
    session.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", http.port()));
    for (const char *host : {"51.15.2.3", "[fe80::1%eth0]"})
        EXPECT_EQ(fetch(QString::fromLatin1(host)), std::nullopt) << host;
    EXPECT_TRUE(http.requests().isEmpty());
}

} // namespace
} // namespace tw
