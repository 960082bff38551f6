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
    const DurationCase cases[] = {
        {0, "~5 s"},       {7.4, "~5 s"},       {7.5, "~10 s"},        {12.5, "~15 s"},
        {57.4, "~55 s"},   {57.5, "~60 s"},     {59.9, "~60 s"},       {60, "~1 min"},
        {89.9, "~1 min"},  {90, "~2 min"},      {3569, "~59 min"},     {3570, "~1 h"},
        {3630, "~1 h 1 min"}, {5400, "~1 h 30 min"}, {86400, "~24 h"}, {360000, "~100 h"},
        {-1, "~5 s"},      {-2.5, "~5 s"},      {-1e9, "~5 s"},
    };
    for (const DurationCase &c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(formatDuration(c.seconds), QString::fromUtf8(c.expected));
    }
}

TEST(FormatDurationTest, NonFiniteAndHugeInputsStillGiveAText)
{
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(formatDuration(std::numeric_limits<double>::quiet_NaN()), "~5 s");
    EXPECT_EQ(formatDuration(-inf), "~5 s");
    // Hours grow without bound rather than wrapping into negative numbers.
    EXPECT_TRUE(formatDuration(inf).startsWith("~153722867280912930 h"));
    EXPECT_TRUE(formatDuration(1e300).startsWith("~153722867280912930 h"));
}

} // namespace
} // namespace tw
