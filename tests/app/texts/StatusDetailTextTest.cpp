#include "app/texts/StatusDetailText.h"

#include "controllers/FormatDuration.h"
#include "controllers/FormatFileSize.h"
#include "controllers/RateText.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TransferSummary transfer(TransferSummary::Direction direction, std::optional<double> speed,
                         std::optional<double> eta)
{
    return {.direction = direction, .remainingBytes = 2'500'000, .totalBytes = 10'000'000,
            .bytesPerSecond = speed, .etaSeconds = eta};
}

TEST(StatusDetailTextTest, ReadsTheSummaryOrTheRates)
{
    using D = TransferSummary::Direction;
    const QString rem = formatFileSize(2'500'000);
    const QString total = formatFileSize(10'000'000);
    struct Row
    {
        const char *name;
        std::optional<TransferSummary> summary;
        QString expected;
    };
    const QList<Row> rows = {
        {"no transfer: both rates, two blanks between",
         std::nullopt,
         QStringLiteral("\u2191 ") + rateText(1500) + QStringLiteral("  \u2193 ") + rateText(-3)},
        {"receiving, speed and time left unknown",
         transfer(D::Down, std::nullopt, std::nullopt),
         QStringLiteral("\u2193 \u2026 \u00b7 ") + rem + QStringLiteral(" of ") + total + QStringLiteral(" left")},
        {"receiving with speed and time left",
         transfer(D::Down, 1'260'000, 95),
         QStringLiteral("\u2193 1.3 MB/s \u00b7 ") + rem + QStringLiteral(" of ") + total +
             QStringLiteral(" left \u00b7 ") + formatDuration(95)},
        {"sending, the remaining bytes to the team",
         transfer(D::Up, 400'000, std::nullopt),
         QStringLiteral("\u2191 0.4 MB/s \u00b7 ") + rem + QStringLiteral(" to team")},
        {"sending with time left",
         transfer(D::Up, std::nullopt, 30),
         QStringLiteral("\u2191 \u2026 \u00b7 ") + rem + QStringLiteral(" to team \u00b7 ") + formatDuration(30)},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(statusDetailText(row.summary, 1500, -3), row.expected);
    }
}

} // namespace
} // namespace tw
