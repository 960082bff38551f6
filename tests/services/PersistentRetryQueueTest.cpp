#include "services/FeedbackPayload.h"
#include "services/PersistentRetryQueue.h"

#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace std::chrono_literals;

namespace tw {
namespace {

using Queue = PersistentRetryQueue<FeedbackPayload>;
using Waits = QList<std::chrono::milliseconds>;

QCoro::Task<void> finish(bool fails)
{
    if (fails)
        throw std::runtime_error("offline");
    co_return;
}

FeedbackPayload report(const QString &text)
{
    return {text, "Ana", "0.1.0 (0)", "Debian 12", "sheet", "2 syncs"};
}

// Executions and waits are recorded, and waits end at once. Each report
// fails as often as `failures` says.
struct QueueRun
{
    std::shared_ptr<Queue> start(int maxAttempts, QMap<QString, int> failures)
    {
        auto queue = Queue::create(path, {1s, 5s, 30s, 120s, 600s, 3600s}, maxAttempts, [this](auto wait) {
            waits.append(wait);
            if (onWait)
                onWait();
            return finish(false);
        });
        queue->setExecutor([this, failures](FeedbackPayload payload) mutable {
            executed.append(payload.text);
            return finish(failures[payload.text]-- > 0);
        });
        return queue;
    }

    QTemporaryDir dir;
    QString path = dir.filePath("feedback_queue.json");
    QStringList executed;
    Waits waits;
    std::function<void()> onWait;
};

TEST(PersistentRetryQueueTest, RetriesTheHeadOnTheScheduleWhileLaterEntriesWaitThenGivesItUp)
{
    QueueRun run;
    const auto queue = run.start(12, {{"a", 100}});
    run.onWait = [&] {
        if (queue->pendingCount() == 1)
            queue->enqueue(report("b"));
    };
    queue->enqueue(report("a"));
    ASSERT_TRUE(waitUntil([&] { return queue->pendingCount() == 0; }, 30'000));
    EXPECT_EQ(run.executed, QStringList(12, "a") << "b");
    EXPECT_EQ(run.waits, (Waits{1s, 5s, 30s, 120s, 600s, 3600s, 3600s, 3600s, 3600s, 3600s, 3600s}));
    ASSERT_EQ(queue->deadLetterCount(), 1);
    EXPECT_EQ(queue->deadLetter().first().attempts, 12);
}

QJsonObject stored(const QString &text, std::optional<qint64> attempts)
{
    QJsonObject entry{{"id", QUuid::createUuid().toString(QUuid::WithoutBraces)},
                      {"operation", report(text).toJson()},
                      {"unknown", true}};
    if (attempts)
        entry.insert("attempts", *attempts);
    return entry;
}

QByteArray storedFile(const QJsonArray &entries)
{
    return QJsonDocument(entries).toJson();
}

// A stored count goes on from where it was (a negative one from 0); an entry
// that does not decode costs only itself, and damaged content is kept aside.
TEST(PersistentRetryQueueTest, RestartKeepsCountsAndGoodEntriesAndCopiesDamagedContentAside)
{
    struct Case
    {
        QByteArray content;
        QStringList executed;
        Waits waits;
        int copies;
    };
    const QList<Case> cases = {
        {storedFile({stored("a", 3)}), {"a", "a", "c"}, {120s}, 0},
        {storedFile({stored("x", {}), stored("b", -7)}), {"b", "b", "b", "b", "b", "c"}, {1s, 5s, 30s, 120s}, 1},
        {"{\"not\": \"a list\"}", {"c"}, {}, 1},
    };
    for (const Case &c : cases) {
        QueueRun run;
        QFile file(run.path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(c.content) == c.content.size());
        file.close();
        const auto queue = run.start(5, {{"a", 100}, {"b", 100}});
        queue->enqueue(report("c"));
        ASSERT_TRUE(waitUntil([&] { return queue->pendingCount() == 0; }, 30'000));
        EXPECT_EQ(run.executed, c.executed);
        EXPECT_EQ(run.waits, c.waits);
        const QStringList copies = QDir(run.dir.path()).entryList({"feedback_queue.json.corrupt-*"});
        ASSERT_EQ(copies.size(), c.copies);
        QFile copy(run.dir.filePath(copies.value(0)));
        EXPECT_TRUE(c.copies == 0 || (copy.open(QIODevice::ReadOnly) && copy.readAll() == c.content));
    }
}

} // namespace
} // namespace tw
