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

TEST_F(PeerDiagControllerTest, AnUnreadableAnswerKeepsThePeersLastReport)
{
    const FolderDiagStatusMap good{{"tdw-a", FolderDiagStatus{"tdw-a", "A", "idle", 100, 200, 0, 0}},
                                   {"tdw-b", FolderDiagStatus{"tdw-b", "B", "syncing", 100, 200, 512, 3}}};
    PeerDiagController controller({http.port(), 4000ms});
    http.enqueue(FakeHttpServer::Response::json(FolderDiagStatus::encodeList(good.values())));
    // One record read strictly fails the whole answer.
    http.enqueue(FakeHttpServer::Response::json(R"([{"folderID":"tdw-c","label":1}])"));
    awaitTask(controller.refresh(onePeer, localID));
    awaitTask(controller.refresh(onePeer, localID));
    EXPECT_EQ(controller.reachable(), (PeerReachabilityMap{{peerID, false}}));
    EXPECT_EQ(controller.peerStatus(), (PeerDiagStatusMap{{peerID, good}}));
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
    EXPECT_EQ(http.requests().size(), 5);  // the redirect was not followed
}

TEST_F(PeerDiagControllerTest, HostOutsideLocalNetworkIsNeverAsked)
{
    // Should the check fail, the request would reach the recording server as
    // a proxy request instead of leaving the machine.
    session.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", http.port()));
    for (const char *host : {"51.15.2.3", "[2a01:4f8::1]"})
        EXPECT_EQ(fetch(QString::fromLatin1(host)), std::nullopt) << host;
    EXPECT_TRUE(http.requests().isEmpty());
}

} // namespace
} // namespace tw
