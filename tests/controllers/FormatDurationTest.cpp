#include "controllers/FormatDuration.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <limits>

namespace tw {
namespace {

struct DurationCase
{
    double seconds;
    const char *expected;
};

TEST(FormatDurationTest, RoundsToFiveSecondsThenMinutesThenHours)
{
    const double inf = std::numeric_limits<double>::infinity();
    const DurationCase cases[] = {
        {7.4, "~5 s"},       {7.5, "~10 s"},      {59.9, "~60 s"},       {60, "~1 min"},
        {89.9, "~1 min"},    {90, "~2 min"},      {3569, "~59 min"},     {3570, "~1 h"},
        {5400, "~1 h 30 min"}, {-inf, "~5 s"},    {std::numeric_limits<double>::quiet_NaN(), "~5 s"},
    };
    for (const DurationCase &c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(formatDuration(c.seconds), QString::fromUtf8(c.expected));
    }
    // Hours grow without bound rather than wrapping into negative numbers.
    EXPECT_TRUE(formatDuration(inf).startsWith("~153722867280912930 h"));
}

} // namespace
} // namespace tw
