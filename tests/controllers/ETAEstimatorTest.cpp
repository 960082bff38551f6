#include "controllers/ETAEstimator.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace tw {
namespace {

QDateTime at(double seconds)
{
    return QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC).addMSecs(qint64(seconds * 1000));
}

struct Reading
{
    double t;
    qint64 remaining;
};

TEST(ETAEstimatorTest, RateAndTimeLeftOverTheWindow)
{
    const struct
    {
        const char *name;
        std::vector<Reading> readings;
        qsizetype samplesKept;
        std::optional<double> rate;
        std::optional<double> eta;
    } cases[] = {
        {"steady decrease", {{0, 1000}, {2, 800}, {4, 600}}, 3, 100.0, 6.0},
        {"span below 3 s", {{0, 1000}, {2, 800}}, 2, std::nullopt, std::nullopt},
        {"span of exactly 3 s", {{0, 1000}, {3, 700}}, 2, 100.0, 7.0},
        {"no progress", {{0, 500}, {2, 500}, {4, 500}}, 3, std::nullopt, std::nullopt},
        {"growing", {{0, 500}, {2, 600}, {4, 700}}, 3, std::nullopt, std::nullopt},
        {"growth after progress keeps the series", {{0, 1000}, {4, 500}, {8, 900}}, 3, 12.5, 72.0},
        {"zero clears the key", {{0, 1000}, {2, 800}, {4, 0}}, 0, std::nullopt, std::nullopt},
        {"fresh series after zero", {{0, 1000}, {2, 800}, {4, 0}, {6, 500}}, 1, std::nullopt, std::nullopt},
        {"negative clears too", {{0, 1000}, {4, -1}}, 0, std::nullopt, std::nullopt},
        {"exactly 20 s old stays", {{0, 1000}, {20, 800}}, 2, 10.0, 80.0},
        {"just over 20 s old goes", {{0, 1000}, {20.001, 800}}, 1, std::nullopt, std::nullopt},
    };
    const QString key = "f1";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ETAEstimator estimator;
        estimator.sample("other", 50, at(0));
        for (const Reading &r : c.readings)
            estimator.sample(key, r.remaining, at(r.t));
        EXPECT_EQ(estimator.history().value(key).size(), c.samplesKept);
        EXPECT_EQ(estimator.history().contains(key), c.samplesKept > 0);
        // The answers depend on the samples alone, whatever "now" is given.
        for (const QDateTime &now : {at(c.readings.back().t), at(1000)}) {
            const auto rate = estimator.bytesPerSecond(key, now);
            const auto eta = estimator.eta(key, now);
            ASSERT_EQ(rate.has_value(), c.rate.has_value());
            ASSERT_EQ(eta.has_value(), c.eta.has_value());
            EXPECT_DOUBLE_EQ(rate.value_or(0), c.rate.value_or(0));
            EXPECT_DOUBLE_EQ(eta.value_or(0), c.eta.value_or(0));
        }
        EXPECT_EQ(estimator.history().value("other").size(), 1);
    }
}

TEST(ETAEstimatorTest, HistoryChangeIsSignalledOnlyWhenItChanges)
{
    const struct
    {
        const char *name;
        std::vector<Reading> before;
        Reading reading;
        int emissions;
    } cases[] = {
        {"first reading", {}, {0, 100}, 1},
        {"equal reading is still a new sample", {{0, 100}}, {2, 100}, 1},
        {"zero for a known key", {{0, 100}}, {2, 0}, 1},
        {"zero for an unknown key", {}, {0, 0}, 0},
    };
    for (const auto &c : cases) {
        ETAEstimator estimator;
        for (const Reading &r : c.before)
            estimator.sample("k", r.remaining, at(r.t));
        int emitted = 0;
        QObject::connect(&estimator, &ETAEstimator::historyChanged, [&emitted] { ++emitted; });
        estimator.sample("k", c.reading.remaining, at(c.reading.t));
        EXPECT_EQ(emitted, c.emissions) << c.name;
    }
}

} // namespace
} // namespace tw
