// Value texts of the diagnostics report, at the edges the report's own test
// does not reach.

#include "engine/syncthing/DiagnosticsFormat.h"

#include "QtPrinters.h"

#include <QJsonArray>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(DiagnosticsFormat, GigabytesPercentagesAndPlainValues)
{
    const std::pair<QJsonValue, QString> gigabytes[] = {
        {qint64(1'073'741'824), "1.07 GB"}, // decimal gigabytes: 2^30 bytes are not one
        {9'999'999.99, "0.01 GB"},          // the fraction of a byte is cut first
        {"1000000000", "0.00 GB"},
    };
    for (const auto &[value, expected] : gigabytes)
        EXPECT_EQ(DiagnosticsFormat::gb(value), expected);

    const std::pair<QJsonValue, QString> percentages[] = {
        {33.335, "33.34%"}, {"99", "0.00%"}};
    for (const auto &[value, expected] : percentages)
        EXPECT_EQ(DiagnosticsFormat::pct(value), expected);

    const std::pair<QJsonValue, QString> plain[] = {
        {qint64(9'007'199'254'740'993), "9007199254740993"},
        {2.5, "2.5"},
        {QJsonValue(), "?"},
        {QJsonArray{1}, "?"},
    };
    for (const auto &[value, expected] : plain)
        EXPECT_EQ(DiagnosticsFormat::plain(value, "?"), expected);
    EXPECT_EQ(DiagnosticsFormat::plain(QJsonValue(QJsonValue::Undefined), "0"), "0");
}

TEST(DiagnosticsFormat, LogTailKeepsTheLastEighty)
{
    const auto numbered = [](int from, int to) {
        QStringList lines;
        for (int i = from; i <= to; ++i)
            lines.append(QString::number(i));
        return lines;
    };
    EXPECT_EQ(DiagnosticsFormat::logTail(numbered(1, 81)), numbered(2, 81));
    EXPECT_EQ(DiagnosticsFormat::logTail(numbered(1, 80)), numbered(1, 80));
}

} // namespace
} // namespace tw
