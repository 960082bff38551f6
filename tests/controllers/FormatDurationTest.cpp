#include "controllers/FormatDuration.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <limits>

namespace tw {
namespace {

TEST(FormatDurationTest, RoundsToFiveSecondsThenMinutesThenHours)
{
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, const char *> cases[] = {
        {7.4, "~5 s"},       {7.5, "~10 s"},      {59.9, "~60 s"},       {60, "~1 min"},
        {89.9, "~1 min"},    {90, "~2 min"},      {3569, "~59 min"},     {3570, "~1 h"},
        {5400, "~1 h 30 min"}, {-inf, "~5 s"},    {std::numeric_limits<double>::quiet_NaN(), "~5 s"},
    };
    for (const auto &[seconds, expected] : cases)
        EXPECT_EQ(formatDuration(seconds), QString::fromUtf8(expected)) << seconds;
    // Hours grow without bound rather than wrapping into negative numbers.
    EXPECT_TRUE(formatDuration(inf).startsWith("~153722867280912930 h"));
}

} // namespace
} // namespace tw
