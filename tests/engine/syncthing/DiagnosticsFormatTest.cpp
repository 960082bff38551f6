// Value texts of the diagnostics report.

#include "engine/syncthing/DiagnosticsFormat.h"

#include "QtPrinters.h"

#include <QJsonArray>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(DiagnosticsFormat, Gigabytes)
{
    struct Case
    {
        QJsonValue value;
        QString expected;
    };
    const std::vector<Case> cases{
        {QJsonValue(qint64(1'250'000'000)), "1.25 GB"},
        {QJsonValue(qint64(1'500'000'000)), "1.50 GB"},
        {QJsonValue(qint64(0)), "0.00 GB"},
        {QJsonValue(qint64(4'999'999)), "0.00 GB"},
        {QJsonValue(qint64(5'000'001)), "0.01 GB"},     // decimal gigabytes, rounded
        {QJsonValue(qint64(1'073'741'824)), "1.07 GB"}, // 2^30 bytes are not one gigabyte
        {QJsonValue(1'999'999'999.9), "2.00 GB"},
        {QJsonValue(9'999'999.99), "0.01 GB"},          // the fraction of a byte is cut first
        {QJsonValue(qint64(-2'000'000'000)), "-2.00 GB"},
        {QJsonValue(), "0.00 GB"},
        {QJsonValue("1000000000"), "0.00 GB"},
        {QJsonValue(true), "0.00 GB"},
        {QJsonValue(QJsonValue::Undefined), "0.00 GB"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(DiagnosticsFormat::gb(c.value), c.expected) << c.expected.toStdString();
}

TEST(DiagnosticsFormat, Percentages)
{
    struct Case
    {
        QJsonValue value;
        QString expected;
    };
    const std::vector<Case> cases{
        {QJsonValue(100), "100.00%"},  {QJsonValue(99.5), "99.50%"}, {QJsonValue(0.004), "0.00%"},
        {QJsonValue(33.335), "33.34%"}, {QJsonValue(), "0.00%"},      {QJsonValue("99"), "0.00%"},
        {QJsonValue(QJsonValue::Undefined), "0.00%"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(DiagnosticsFormat::pct(c.value), c.expected) << c.expected.toStdString();
}

TEST(DiagnosticsFormat, PlainValues)
{
    struct Case
    {
        QJsonValue value;
        QString expected;
    };
    const std::vector<Case> cases{
        {QJsonValue("idle"), "idle"},
        {QJsonValue(""), ""},
        {QJsonValue(42), "42"},
        {QJsonValue(qint64(9'007'199'254'740'993)), "9007199254740993"},
        {QJsonValue(2.5), "2.5"},
        {QJsonValue(-3), "-3"},
        {QJsonValue(), "?"},
        {QJsonValue(QJsonValue::Undefined), "?"},
        {QJsonValue(true), "?"},
        {QJsonValue(QJsonArray{1}), "?"},
        {QJsonValue(QJsonObject()), "?"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(DiagnosticsFormat::plain(c.value, "?"), c.expected) << c.expected.toStdString();
    EXPECT_EQ(DiagnosticsFormat::plain(QJsonValue(QJsonValue::Undefined), "0"), "0");
}

QStringList numbered(int from, int to)
{
    QStringList lines;
    for (int i = from; i <= to; ++i)
        lines.append(QString::number(i));
    return lines;
}

TEST(DiagnosticsFormat, LogTailKeepsTheLastEighty)
{
    EXPECT_EQ(DiagnosticsFormat::logTail(numbered(1, 200)), numbered(121, 200));
    EXPECT_EQ(DiagnosticsFormat::logTail(numbered(1, 81)), numbered(2, 81));
    EXPECT_EQ(DiagnosticsFormat::logTail(numbered(1, 80)), numbered(1, 80));
    EXPECT_EQ(DiagnosticsFormat::logTail(numbered(1, 5)), numbered(1, 5));
    EXPECT_TRUE(DiagnosticsFormat::logTail({}).isEmpty());
}

} // namespace
} // namespace tw
