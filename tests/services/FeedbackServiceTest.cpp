#include "services/FeedbackService.h"

#include "FakeHttpServer.h"
#include "WaitUntil.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace tw {
namespace {

using Response = FakeHttpServer::Response;
using Waits = QList<std::chrono::milliseconds>;

QCoro::Task<void> noWait()
{
    co_return;
}

FeedbackPayload report(std::optional<QString> email, std::optional<QByteArray> screenshot = std::nullopt)
{
    return {"Sync stops", "Ana", "0.1.0 (7)", "Debian 12", "sheet", "2 syncs", email, screenshot};
}

// Every request the test does not answer itself creates a record.
class FeedbackServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.listen());
        server.setHandler([](const auto &) { return Response{.status = 201, .body = R"({"id":"r2"})"}; });
    }

    std::unique_ptr<FeedbackService> service(QString endpoint)
    {
        return std::make_unique<FeedbackService>(endpoint, AppPaths(dir.path()), [this](auto wait) {
            waits.append(wait);
            return noWait();
        });
    }
    QString endpoint() const { return server.baseURL().toString() + FeedbackService::kRecordsPath; }

    QTemporaryDir dir;
    FakeHttpServer server;
    Waits waits;
};

TEST_F(FeedbackServiceTest, AnswersDecideWhetherAReportIsDoneRetriedOrGivenUp)
{
    struct Case
    {
        Response answer;
        int requests;
        qsizetype givenUp;
        int times = 1; // the answer is given to this many requests in a row
    };
    const QList<Case> cases = {
        {Response{.status = 201, .body = R"({"id":"r1"})"}, 1, 0},
        {Response{}, 2, 0}, // 200 without a record id
        {Response::text(422, "invalid"), 1, 1},
        {Response::text(503, "busy"), 2, 0},
        {Response::text(503, "busy"), 12, 1, 12}, // busy every time: given up after the twelfth
    };
    const Waits schedule = {1s, 5s, 30s, 120s, 600s, 3600s, 3600s, 3600s, 3600s, 3600s, 3600s};
    const QJsonObject sixKeys{{"text", "Sync stops"},    {"user_name", "Ana"},    {"app_version", "0.1.0 (7)"},
                              {"os_version", "Debian 12"}, {"app_module", "sheet"}, {"diagnose", "2 syncs"}};
    for (const Case &c : cases) {
        waits.clear();
        const qsizetype before = server.requests().size();
        for (int time = 0; time < c.times; ++time)
            server.enqueue(c.answer);
        const auto feedback = service(endpoint());
        feedback->startQueue();
        feedback->enqueue(report(""));
        ASSERT_TRUE(waitUntil([&] { return feedback->retryQueue().pendingCount() == 0; }, 30'000));
        EXPECT_EQ(server.requests().size() - before, c.requests);
        EXPECT_EQ(waits, schedule.first(c.requests - 1));
        EXPECT_EQ(feedback->retryQueue().deadLetterCount(), c.givenUp);
        const FakeHttpServer::Request &sent = server.requests().at(before);
        EXPECT_EQ(sent.method + " " + sent.target, QByteArray("POST ") + FeedbackService::kRecordsPath);
        EXPECT_EQ(sent.header("Content-Type"), "application/json");
        EXPECT_EQ(QJsonDocument::fromJson(sent.body).object(), sixKeys);
    }
}

// Without an endpoint a report stays stored; after a restart with one it goes
// out, its screenshot intact.
TEST_F(FeedbackServiceTest, StoredReportWithScreenshotGoesOutAsMultipartAfterARestart)
{
    const auto offline = service("");
    offline->startQueue();
    offline->enqueue(report("ana@example.org", QByteArray("\x89PNG\r\n\x1a\n")));
    const auto feedback = service(endpoint());
    feedback->startQueue();
    ASSERT_TRUE(waitUntil([&] { return feedback->retryQueue().pendingCount() == 0; }, 30'000));
    ASSERT_EQ(server.requests().size(), 1);
    const QRegularExpression form("^multipart/form-data; boundary=(----QJFeedback-[0-9A-F-]{36})$");
    const QRegularExpressionMatch type = form.match(server.requests().first().header("Content-Type").value_or(""));
    ASSERT_TRUE(type.hasMatch());
    const QByteArray boundary = type.captured(1).toUtf8();
    const QByteArray expected =
        QByteArray("--{B}\r\nContent-Disposition: form-data; name=\"text\"\r\n\r\nSync stops\r\n"
                   "--{B}\r\nContent-Disposition: form-data; name=\"user_name\"\r\n\r\nAna\r\n"
                   "--{B}\r\nContent-Disposition: form-data; name=\"app_version\"\r\n\r\n0.1.0 (7)\r\n"
                   "--{B}\r\nContent-Disposition: form-data; name=\"os_version\"\r\n\r\nDebian 12\r\n"
                   "--{B}\r\nContent-Disposition: form-data; name=\"app_module\"\r\n\r\nsheet\r\n"
                   "--{B}\r\nContent-Disposition: form-data; name=\"diagnose\"\r\n\r\n2 syncs\r\n"
                   "--{B}\r\nContent-Disposition: form-data; name=\"submitter_email\"\r\n\r\nana@example.org\r\n"
                   "--{B}\r\nContent-Disposition: form-data; name=\"screenshot\"; filename=\"feedback.png\"\r\n"
                   "Content-Type: image/png\r\n\r\n\x89PNG\r\n\x1a\n\r\n--{B}--\r\n")
            .replace("{B}", boundary);
    EXPECT_EQ(server.requests().first().body, expected);
}

} // namespace
} // namespace tw
