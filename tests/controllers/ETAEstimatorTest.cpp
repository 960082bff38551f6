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

TEST(ETAEstimatorTest, RateAndTimeLeftOverTheWindow)
{
    const struct
    {
        const char *name;
        std::vector<std::pair<double, qint64>> readings;  // seconds, bytes remaining
        qsizetype samplesKept;
        std::optional<double> rate;
        std::optional<double> eta;
        int notices;
    } cases[] = {
        {"span below 3 s", {{0, 1000}, {2, 800}}, 2, std::nullopt, std::nullopt, 2},
        {"span of exactly 3 s", {{0, 1000}, {3, 700}}, 2, 100.0, 7.0, 2},
        {"growth after progress keeps the series", {{0, 1000}, {4, 500}, {8, 900}}, 3, 12.5, 72.0, 3},
        {"zero clears the key", {{0, 1000}, {2, 800}, {4, 0}}, 0, std::nullopt, std::nullopt, 3},
        {"exactly 20 s old stays", {{0, 1000}, {20, 800}}, 2, 10.0, 80.0, 2},
        {"just over 20 s old goes", {{0, 1000}, {20.001, 800}}, 1, std::nullopt, std::nullopt, 2},
    };
    const QString key = "f1";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ETAEstimator estimator;
        int notices = 0;
        QObject::connect(&estimator, &ETAEstimator::historyChanged, [&notices] { ++notices; });
        for (const auto &[t, remaining] : c.readings)
            estimator.sample(key, remaining, at(t));
        EXPECT_EQ(notices, c.notices);
        EXPECT_EQ(estimator.history().value(key).size(), c.samplesKept);
        // The answers depend on the samples alone, whatever "now" is given.
        EXPECT_EQ(estimator.bytesPerSecond(key, at(1000)), c.rate);
        EXPECT_EQ(estimator.eta(key, at(1000)), c.eta);
    }
}

} // namespace
} // namespace tw
