#include "design/DeviceSyncRing.h"
#include "design/StatusBubble.h"

#include <gtest/gtest.h>
#include <limits>

using namespace tw;

TEST(ProgressArcTest, ArcsStayWithinACircleAndNeverVanish)
{
    struct Row
    {
        double progress, bubble, ring;
    };
    const Row rows[] = {
        {0, 0.06, 0.04},
        {0.05, 0.06, 0.05},
        {0.5, 0.5, 0.5},
        {1.7, 1, 1},
        {-0.2, 0.06, 0.04},
        {std::numeric_limits<double>::quiet_NaN(), 0.06, 0.04},
    };
    for (const Row &row : rows) {
        EXPECT_DOUBLE_EQ(StatusBubble::arcFraction(row.progress), row.bubble) << row.progress;
        EXPECT_DOUBLE_EQ(DeviceSyncRing::arcFraction(row.progress), row.ring) << row.progress;
    }
    EXPECT_EQ(DeviceSyncRing::percentText(0), QStringLiteral("0"));
    EXPECT_EQ(DeviceSyncRing::percentText(0.426), QStringLiteral("43"));
    EXPECT_DOUBLE_EQ(DeviceSyncRing::lineWidth(10), 2.5);
    EXPECT_DOUBLE_EQ(DeviceSyncRing::lineWidth(40), 4);
}
