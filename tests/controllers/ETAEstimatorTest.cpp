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
        int notices;
    } cases[] = {
        {"span below 3 s", {{0, 1000}, {2, 800}}, 2, std::nullopt, std::nullopt, 2},
        {"span of exactly 3 s", {{0, 1000}, {3, 700}}, 2, 100.0, 7.0, 2},
        {"no progress is still a new sample", {{0, 500}, {2, 500}, {4, 500}}, 3, std::nullopt, std::nullopt, 3},
        {"growth after progress keeps the series", {{0, 1000}, {4, 500}, {8, 900}}, 3, 12.5, 72.0, 3},
        {"zero clears the key", {{0, 1000}, {2, 800}, {4, 0}}, 0, std::nullopt, std::nullopt, 3},
        {"zero for an unknown key changes nothing", {{0, 0}}, 0, std::nullopt, std::nullopt, 0},
        {"exactly 20 s old stays", {{0, 1000}, {20, 800}}, 2, 10.0, 80.0, 2},
        {"just over 20 s old goes", {{0, 1000}, {20.001, 800}}, 1, std::nullopt, std::nullopt, 2},
    };
    const QString key = "f1";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ETAEstimator estimator;
        estimator.sample("other", 50, at(0));
        int notices = 0;
        QObject::connect(&estimator, &ETAEstimator::historyChanged, [&notices] { ++notices; });
        for (const Reading &r : c.readings)
            estimator.sample(key, r.remaining, at(r.t));
        EXPECT_EQ(notices, c.notices);
        EXPECT_EQ(estimator.history().value(key).size(), c.samplesKept);
        EXPECT_EQ(estimator.history().contains(key), c.samplesKept > 0);
        EXPECT_EQ(estimator.history().value("other").size(), 1);
        // The answers depend on the samples alone, whatever "now" is given.
        const auto rate = estimator.bytesPerSecond(key, at(1000));
        const auto eta = estimator.eta(key, at(1000));
        ASSERT_EQ(rate.has_value(), c.rate.has_value());
        ASSERT_EQ(eta.has_value(), c.eta.has_value());
        EXPECT_DOUBLE_EQ(rate.value_or(0), c.rate.value_or(0));
        EXPECT_DOUBLE_EQ(eta.value_or(0), c.eta.value_or(0));
    }
}

} // namespace
} // namespace tw
