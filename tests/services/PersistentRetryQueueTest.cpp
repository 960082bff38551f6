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

QJsonObject stored(const QString &text, std::optional<qint64> attempts)
{
    QJsonObject entry{{"id", QUuid::createUuid().toString()}, {"operation", report(text).toJson()}, {"new", 1}};
    if (attempts)
        entry.insert("attempts", *attempts);
    return entry;
}

// The file is read, "c" is enqueued behind it, then everything runs; all but
// "c" fail. A stored count goes on where it was (a negative one from 0), an
// entry that does not decode costs only itself, and damaged content is kept
// aside.
TEST(PersistentRetryQueueTest, HeadIsRetriedOnTheScheduleAcrossRestartsWhileTheRestWaits)
{
    const Waits schedule = {1s, 5s, 30s, 120s, 600s, 3600s, 3600s, 3600s, 3600s, 3600s, 3600s};
    struct Case
    {
        QJsonDocument content;
        QStringList executed;
        Waits waits;
        int copies;
    };
    const QList<Case> cases = {
        {QJsonDocument(QJsonArray{stored("a", 3)}), QStringList(9, "a") << "c", schedule.mid(3), 0},
        {QJsonDocument(QJsonArray{stored("x", {}), stored("b", -7)}), QStringList(12, "b") << "c", schedule, 1},
        {QJsonDocument(QJsonObject{{"not", "a list"}}), {"c"}, {}, 1},
    };
    for (const Case &c : cases) {
        QTemporaryDir dir;
        QFile file(dir.filePath("feedback_queue.json"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(c.content.toJson()) > 0);
        file.close();
        QStringList executed;
        Waits waits;
        const auto queue = PersistentRetryQueue<FeedbackPayload>::create(
            file.fileName(), {1s, 5s, 30s, 120s, 600s, 3600s}, 12, [&](auto wait) {
                waits.append(wait);
                return finish(false);
            });
        queue->enqueue(report("c"));
        queue->setExecutor([&](FeedbackPayload payload) {
            executed.append(payload.text);
            return finish(payload.text != "c");
        });
        ASSERT_TRUE(waitUntil([&] { return queue->pendingCount() == 0; }, 30'000));
        EXPECT_EQ(executed, c.executed);
        EXPECT_EQ(waits, c.waits);
        const QStringList copies = QDir(dir.path()).entryList({"feedback_queue.json.corrupt-*"});
        ASSERT_EQ(copies.size(), c.copies);
        QFile copy(dir.filePath(copies.value(0)));
        EXPECT_TRUE(c.copies == 0 || (copy.open(QIODevice::ReadOnly) && copy.readAll() == c.content.toJson()));
    }
}

} // namespace
} // namespace tw
