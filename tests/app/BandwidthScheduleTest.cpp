#include "app/BandwidthSchedule.h"

#include "QtPrinters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace tw {
namespace {

// 1 January 2024 was a Monday.
QDateTime local(int day, int hour, int minute, const QTimeZone &zone)
{
    return QDateTime(QDate(2024, 1, day), QTime(hour, minute), zone);
}

constexpr int mon = 1, tue = 2, fri = 5, sat = 6, sun = 7;

// Built element by element: GCC 12 misreports QSet's list constructor as dangling.
QSet<int> days(const QList<int> &list) { return QSet<int>(list.begin(), list.end()); }

BandwidthSchedule schedule(qint64 start, qint64 end, QSet<int> weekdays = BandwidthSchedule::defaultWeekdays(),
                           bool enabled = true)
{
    BandwidthSchedule s;
    s.enabled = enabled;
    s.startHour = start;
    s.endHour = end;
    s.weekdays = std::move(weekdays);
    return s;
}

TEST(BandwidthScheduleTest, StoredWeekdayCountsFromSunday)
{
    const int expected[] = {2, 3, 4, 5, 6, 7, 1};  // Monday 1 January ... Sunday 7 January
    for (int day = 1; day <= 7; ++day)
        EXPECT_EQ(storedWeekday(QDate(2024, 1, day)), expected[day - 1]) << "January " << day;
}

struct ActiveCase
{
    const char *name;
    BandwidthSchedule schedule;
    int day, hour, minute;
    bool active;
};

TEST(BandwidthScheduleTest, ActiveWindowInTheGivenZone)
{
    const ActiveCase cases[] = {
        {"day window start", schedule(8, 18), tue, 8, 0, true},
        {"day window last minute", schedule(8, 18), tue, 17, 59, true},
        {"day window end", schedule(8, 18), tue, 18, 0, false},
        {"before day window", schedule(8, 18), tue, 7, 59, false},
        {"weekend outside weekdays", schedule(8, 18), sat, 12, 0, false},
        {"night window evening", schedule(22, 6), tue, 23, 0, true},
        {"night window early morning", schedule(22, 6), tue, 5, 59, true},
        {"night window end", schedule(22, 6), tue, 6, 0, false},
        {"night window midday", schedule(22, 6), tue, 12, 0, false},
        {"night window Saturday evening", schedule(22, 6), sat, 23, 0, false},
        // The weekday tested is that of the moment itself, also after midnight.
        {"Saturday after a Friday night", schedule(22, 6), sat, 1, 0, false},
        {"Monday after a Sunday night", schedule(22, 6), mon, 1, 0, true},
        {"Sunday night before a Monday", schedule(22, 6), sun, 23, 0, false},
        {"equal hours at that hour", schedule(8, 8), tue, 8, 0, false},
        {"equal hours elsewhere", schedule(8, 8), tue, 12, 0, false},
        {"0 to 23 at 23", schedule(0, 23), tue, 23, 0, false},
        {"0 to 23 at midnight", schedule(0, 23), tue, 0, 0, true},
        {"disabled", schedule(8, 18, BandwidthSchedule::defaultWeekdays(), false), tue, 12, 0, false},
        {"no weekdays", schedule(0, 23, QSet<int>()), tue, 12, 0, false},
        {"Sunday only", schedule(0, 23, days({1})), sun, 12, 0, true},
        {"Saturday only", schedule(0, 23, days({7})), sat, 12, 0, true},
        {"default schedule is off", BandwidthSchedule{}, tue, 12, 0, false},
    };
    const QTimeZone zone(2 * 3600);
    for (const ActiveCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.schedule.isActive(local(c.day, c.hour, c.minute, zone), zone), c.active);
    }
}

TEST(BandwidthScheduleTest, HourAndWeekdayAreReadInTheGivenZone)
{
    const QTimeZone utc(0);
    const QTimeZone plusTwo(2 * 3600);
    const BandwidthSchedule night = schedule(22, 6);
    // Tuesday 21:30 UTC is 23:30 at UTC+2.
    const QDateTime tuesday = local(tue, 21, 30, utc);
    EXPECT_FALSE(night.isActive(tuesday, utc));
    EXPECT_TRUE(night.isActive(tuesday, plusTwo));
    // Friday 23:30 UTC is already Saturday 01:30 at UTC+2.
    const QDateTime friday = local(fri, 23, 30, utc);
    EXPECT_TRUE(night.isActive(friday, utc));
    EXPECT_FALSE(night.isActive(friday, plusTwo));
}

QJsonObject defaultObject() { return BandwidthSchedule{}.toJsonObject(); }

TEST(BandwidthScheduleTest, JsonRoundTripAndSetEquality)
{
    BandwidthSchedule custom = schedule(22, 6, days({1, 7}));
    custom.throttledDownKbps = 500;
    custom.throttledUpKbps = 9000000000;
    for (const BandwidthSchedule &s : {BandwidthSchedule{}, custom})
        EXPECT_EQ(BandwidthSchedule::fromJson(s.toJson()), s);

    QJsonObject shuffled = defaultObject();
    shuffled[QStringLiteral("weekdays")] = QJsonArray{6, 2, 5, 3, 4, 4};
    shuffled[QStringLiteral("unknown")] = QStringLiteral("ignored");
    EXPECT_EQ(BandwidthSchedule::fromJsonObject(shuffled), BandwidthSchedule{});

    BandwidthSchedule other;
    other.weekdays = days({6, 5, 4, 3, 2});
    EXPECT_EQ(other, BandwidthSchedule{});
    other.weekdays.insert(1);
    EXPECT_NE(other, BandwidthSchedule{});
}

TEST(BandwidthScheduleTest, AMissingOrMistypedKeyDiscardsTheWholeValue)
{
    const char *keys[] = {"enabled", "startHour", "endHour", "throttledDownKbps", "throttledUpKbps", "weekdays"};
    for (const char *key : keys) {
        SCOPED_TRACE(key);
        QJsonObject missing = defaultObject();
        missing.remove(QLatin1String(key));
        EXPECT_EQ(BandwidthSchedule::fromJsonObject(missing), std::nullopt);
        QJsonObject null = defaultObject();
        null[QLatin1String(key)] = QJsonValue::Null;
        EXPECT_EQ(BandwidthSchedule::fromJsonObject(null), std::nullopt);
        QJsonObject text = defaultObject();
        text[QLatin1String(key)] = QStringLiteral("8");
        EXPECT_EQ(BandwidthSchedule::fromJsonObject(text), std::nullopt);
    }

    struct ValueCase
    {
        const char *key;
        QJsonValue value;
    };
    const ValueCase wrong[] = {
        {"enabled", 1},
        {"startHour", true},
        {"startHour", 8.5},
        {"endHour", QJsonArray{18}},
        {"weekdays", 2},
        {"weekdays", QJsonArray{2, QStringLiteral("3")}},
        {"weekdays", QJsonArray{2, 3.5}},
        {"weekdays", QJsonArray{2, 1e12}},
    };
    for (const ValueCase &c : wrong) {
        SCOPED_TRACE(c.key);
        QJsonObject object = defaultObject();
        object[QLatin1String(c.key)] = c.value;
        EXPECT_EQ(BandwidthSchedule::fromJsonObject(object), std::nullopt);
    }

    for (const char *text : {"", "[]", "not json", "{\"enabled\": false}"})
        EXPECT_EQ(BandwidthSchedule::fromJson(text), std::nullopt) << text;
}

} // namespace
} // namespace tw
