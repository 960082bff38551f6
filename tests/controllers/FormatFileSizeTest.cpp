#include "controllers/FormatFileSize.h"
#include "controllers/RateText.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <cmath>
#include <limits>

namespace tw {
namespace {

class FormatFileSizeTest : public ::testing::Test
{
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

TEST_F(FormatFileSizeTest, PrecisionGrowsWithTheUnit)
{
    const struct
    {
        qint64 bytes;
        const char *text;
    } rows[] = {
        {0, "0 bytes"},
        {1, "1 byte"},
        {2, "2 bytes"},
        {999'999, "1,000 kB"},
        {1'000'000, "1.0 MB"},
        {1'450'000, "1.4 MB"},
        {999'949'999, "999.9 MB"},
        {1'500'000'000, "1.50 GB"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(formatFileSize(row.bytes), QString::fromUtf8(row.text)) << row.bytes;
}

TEST_F(FormatFileSizeTest, RatesAreFileSizesPerSecondAndNeverNegative)
{
    EXPECT_EQ(rateText(2000), QStringLiteral("2 kB/s"));
    EXPECT_EQ(rateText(-5), QStringLiteral("0 bytes/s"));
    EXPECT_EQ(rateText(std::nan("")), QStringLiteral("0 bytes/s"));
    EXPECT_EQ(rateText(std::numeric_limits<double>::infinity()), QStringLiteral("0 bytes/s"));
}

} // namespace
} // namespace tw
