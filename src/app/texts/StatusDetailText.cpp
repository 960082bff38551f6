#include "app/texts/StatusDetailText.h"

#include "controllers/FormatDuration.h"
#include "controllers/FormatFileSize.h"
#include "controllers/RateText.h"

#include <cmath>

namespace tw {

namespace {

const QString kUp = QStringLiteral("\u2191 ");
const QString kDown = QStringLiteral("\u2193 ");
const QString kRatesGap = QStringLiteral("  ");
const QString kSeparator = QStringLiteral(" \u00b7 ");
const QString kUnknownSpeed = QStringLiteral("\u2026");
const char *const kSpeedFormat = "%.1f MB/s";
const QString kToTeam = QStringLiteral(" to team");
const QString kOf = QStringLiteral(" of ");
const QString kLeft = QStringLiteral(" left");

QString speedText(const std::optional<double> &bytesPerSecond)
{
    if (!bytesPerSecond || !std::isfinite(*bytesPerSecond))
        return kUnknownSpeed;
    return QString::asprintf(kSpeedFormat, *bytesPerSecond / 1'000'000);
}

QString bytePart(const TransferSummary &summary)
{
    if (summary.direction == TransferSummary::Direction::Up)
        return formatFileSize(summary.remainingBytes) + kToTeam;
    return formatFileSize(summary.remainingBytes) + kOf + formatFileSize(summary.totalBytes) + kLeft;
}

} // namespace

QString statusDetailText(const std::optional<TransferSummary> &summary, double upRate, double downRate)
{
    if (!summary)
        return kUp + rateText(upRate) + kRatesGap + kDown + rateText(downRate);
    QString text = (summary->direction == TransferSummary::Direction::Up ? kUp : kDown) +
                   speedText(summary->bytesPerSecond) + kSeparator + bytePart(*summary);
    if (summary->etaSeconds && std::isfinite(*summary->etaSeconds) && *summary->etaSeconds >= 0)
        text += kSeparator + formatDuration(*summary->etaSeconds);
    return text;
}

} // namespace tw
