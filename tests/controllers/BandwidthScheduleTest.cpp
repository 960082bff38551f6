#include "controllers/BandwidthSchedule.h"

#include "QtPrinters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace tw {
namespace {

constexpr int mon = 1, tue = 2, sat = 6, sun = 7;  // days of January 2024

BandwidthSchedule schedule(qint64 start, qint64 end, bool enabled = true, QSet<int> days = {2, 3, 4, 5, 6})
{
    return {.enabled = enabled, .startHour = start, .endHour = end, .weekdays = days};
}

TEST(BandwidthScheduleTest, ActiveWindowInTheGivenZone)
{
    const struct
    {
        const char *name;
        BandwidthSchedule schedule;
        int day, hour, minute;
        bool active;
    } cases[] = {
        {"day window end", schedule(8, 18), tue, 18, 0, false},
        {"night window first hour", schedule(22, 6), tue, 22, 0, true},
        {"night window early morning", schedule(22, 6), tue, 5, 59, true},
        {"night window end", schedule(22, 6), tue, 6, 0, false},
        // The weekday tested is that of the moment itself, also after midnight.
        {"Saturday after a Friday night", schedule(22, 6), sat, 1, 0, false},
        {"Monday after a Sunday night", schedule(22, 6), mon, 1, 0, true},
        {"equal hours", schedule(8, 8), tue, 8, 0, false},
        {"Sunday is stored as 1", schedule(8, 18, true, {1}), sun, 12, 0, true},
    };
    const QTimeZone zone(2 * 3600);
    for (const auto &c : cases) {
        const QDateTime now(QDate(2024, 1, c.day), QTime(c.hour, c.minute), zone);
        EXPECT_EQ(c.schedule.isActive(now, zone), c.active) << c.name;
    }
}

TEST(BandwidthScheduleTest, JsonRoundTrip)
{
    BandwidthSchedule custom = schedule(22, 6);
    custom.weekdays = {1, 7};
    custom.throttledDownKbps = 500;
    custom.throttledUpKbps = 9000000000;
    EXPECT_EQ(BandwidthSchedule::fromJson(custom.toJson()), custom);
}

TEST(BandwidthScheduleTest, AMissingMistypedOrOutOfRangeValueDiscardsTheWholeSchedule)
{
    const struct
    {
        const char *key;
        QJsonValue value;
        bool read;
    } rows[] = {
        {"enabled", QJsonValue::Undefined, false},
        {"startHour", true, false},
        {"weekdays", QJsonArray{2, QStringLiteral("3")}, false},
        {"weekdays", QJsonArray{2, 1e12}, false},
        {"startHour", -1, false},
        {"startHour", 24, false},
        {"endHour", 24, false},
        {"endHour", -9, false},
        {"weekdays", QJsonArray{2, 0}, false},
        {"weekdays", QJsonArray{8, 2}, false},
        {"throttledDownKbps", -1, false},
        {"throttledUpKbps", -500, false},
        {"startHour", 0, true},
        {"endHour", 23, true},
        {"weekdays", QJsonArray{1, 7}, true},
        {"throttledUpKbps", 0, true},
    };
    for (const auto &row : rows) {
        QJsonObject object = BandwidthSchedule{}.toJsonObject();
        object.insert(QLatin1String(row.key), row.value);
        const std::optional<BandwidthSchedule> read = BandwidthSchedule::fromJsonObject(object);
        EXPECT_EQ(read.has_value(), row.read) << row.key << " " << QJsonDocument(object).toJson().toStdString();
        if (read) {
            EXPECT_EQ(read->toJsonObject(), object) << row.key;
        }
    }
    EXPECT_EQ(BandwidthSchedule::fromJson("[]"), std::nullopt);
}

} // namespace
} // namespace tw
