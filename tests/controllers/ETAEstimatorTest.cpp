#include "controllers/ETAEstimator.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace tw {
namespace {

const QDateTime origin = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);

QDateTime at(double seconds) { return origin.addMSecs(qint64(seconds * 1000)); }

struct Reading
{
    double t;
    qint64 remaining;
};

struct WindowCase
{
    const char *name;
    std::vector<Reading> readings;
    qsizetype samplesKept;
    std::optional<double> rate;
    std::optional<double> eta;
};

TEST(ETAEstimatorTest, RateAndTimeLeftOverTheWindow)
{
    const WindowCase cases[] = {
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
    for (const WindowCase &c : cases) {
        SCOPED_TRACE(c.name);
        ETAEstimator estimator;
        for (const Reading &r : c.readings)
            estimator.sample(QStringLiteral("f1"), r.remaining, at(r.t));
        EXPECT_EQ(estimator.history().value(QStringLiteral("f1")).size(), c.samplesKept);
        EXPECT_EQ(estimator.history().contains(QStringLiteral("f1")), c.samplesKept > 0);
        // The answers depend on the samples alone, whatever "now" is given.
        for (const QDateTime &now : {at(c.readings.back().t), at(1000)}) {
            const auto rate = estimator.bytesPerSecond(QStringLiteral("f1"), now);
            const auto eta = estimator.eta(QStringLiteral("f1"), now);
            ASSERT_EQ(rate.has_value(), c.rate.has_value());
            ASSERT_EQ(eta.has_value(), c.eta.has_value());
            if (c.rate) {
                EXPECT_DOUBLE_EQ(*rate, *c.rate);
            }
            if (c.eta) {
                EXPECT_DOUBLE_EQ(*eta, *c.eta);
            }
        }
    }
}

TEST(ETAEstimatorTest, KeysAreIndependentAndUnknownKeysAnswerNothing)
{
    ETAEstimator estimator;
    for (const Reading &r : {Reading{0, 1000}, Reading{4, 600}})
        estimator.sample(QStringLiteral("down"), r.remaining, at(r.t));
    estimator.sample(QStringLiteral("up"), 50, at(4));
    EXPECT_DOUBLE_EQ(estimator.bytesPerSecond(QStringLiteral("down"), at(4)).value_or(-1), 100.0);
    EXPECT_FALSE(estimator.bytesPerSecond(QStringLiteral("up"), at(4)));
    EXPECT_FALSE(estimator.eta(QStringLiteral("dev:ABC"), at(4)));
    EXPECT_EQ(estimator.history().keys(), (QStringList{"down", "up"}));
}

struct SignalCase
{
    const char *name;
    std::vector<Reading> before;
    Reading reading;
    int emissions;
};

TEST(ETAEstimatorTest, HistoryChangeIsSignalledOnlyWhenItChanges)
{
    const SignalCase cases[] = {
        {"first reading", {}, {0, 100}, 1},
        {"equal reading is still a new sample", {{0, 100}}, {2, 100}, 1},
        {"zero for a known key", {{0, 100}}, {2, 0}, 1},
        {"zero for an unknown key", {}, {0, 0}, 0},
    };
    for (const SignalCase &c : cases) {
        SCOPED_TRACE(c.name);
        ETAEstimator estimator;
        for (const Reading &r : c.before)
            estimator.sample(QStringLiteral("k"), r.remaining, at(r.t));
        int emitted = 0;
        QObject::connect(&estimator, &ETAEstimator::historyChanged, [&emitted] { ++emitted; });
        estimator.sample(QStringLiteral("k"), c.reading.remaining, at(c.reading.t));
        EXPECT_EQ(emitted, c.emissions);
    }
}

} // namespace
} // namespace tw
