#include "utilities/AsyncMutex.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>
#include <qcoro/qcorotimer.h>

using namespace std::chrono_literals;

namespace tw {
namespace {

QCoro::Task<void> critical(AsyncMutex *mutex, QStringList *log, QString name)
{
    auto guard = co_await mutex->lock();
    log->append(name + QStringLiteral(" in"));
    co_await QCoro::sleepFor(5ms);
    log->append(name + QStringLiteral(" out"));
}

QCoro::Task<void> both(AsyncMutex *mutex, QStringList *log)
{
    auto a = critical(mutex, log, QStringLiteral("a"));
    auto b = critical(mutex, log, QStringLiteral("b"));
    co_await a;
    co_await b;
}

TEST(AsyncMutexTest, HoldersDoNotInterleaveAcrossAwaits)
{
    AsyncMutex mutex;
    QStringList log;
    QCoro::waitFor(both(&mutex, &log));
    EXPECT_EQ(log, (QStringList{"a in", "a out", "b in", "b out"}));
    EXPECT_FALSE(mutex.isLocked());
}

} // namespace
} // namespace tw
