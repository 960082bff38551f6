#include "app/BandwidthSchedule.h"

#include "QtPrinters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace tw {
namespace {

constexpr int mon = 1, tue = 2, fri = 5, sat = 6, sun = 7;  // days of January 2024

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

TEST(BandwidthScheduleTest, ActiveWindowInTheGivenZone)
{
    const struct
    {
        const char *name;
        BandwidthSchedule schedule;
        int day, hour, minute;
        bool active;
    } cases[] = {
        {"day window start", schedule(8, 18), tue, 8, 0, true},
        {"day window last minute", schedule(8, 18), tue, 17, 59, true},
        {"day window end", schedule(8, 18), tue, 18, 0, false},
        {"outside the weekdays", schedule(8, 18), sat, 12, 0, false},
        {"night window evening", schedule(22, 6), tue, 23, 0, true},
        {"night window early morning", schedule(22, 6), tue, 5, 59, true},
        {"night window end", schedule(22, 6), tue, 6, 0, false},
        {"night window midday", schedule(22, 6), tue, 12, 0, false},
        // The weekday tested is that of the moment itself, also after midnight.
        {"Saturday after a Friday night", schedule(22, 6), sat, 1, 0, false},
        {"Monday after a Sunday night", schedule(22, 6), mon, 1, 0, true},
        {"equal hours at that hour", schedule(8, 8), tue, 8, 0, false},
        {"equal hours elsewhere", schedule(8, 8), tue, 12, 0, false},
        {"disabled", schedule(8, 18, BandwidthSchedule::defaultWeekdays(), false), tue, 12, 0, false},
        {"Sunday is 1", schedule(0, 23, days({1})), sun, 12, 0, true},
        {"Saturday is 7", schedule(0, 23, days({7})), sat, 12, 0, true},
    };
    const QTimeZone zone(2 * 3600);
    for (const auto &c : cases) {
        const QDateTime now(QDate(2024, 1, c.day), QTime(c.hour, c.minute), zone);
        EXPECT_EQ(c.schedule.isActive(now, zone), c.active) << c.name;
    }
    // The moment is read in the given zone: Tuesday 21:30 UTC is 23:30 at
    // UTC+2, and Friday 23:30 UTC is already Saturday there.
    const BandwidthSchedule night = schedule(22, 6);
    const QDateTime tuesday(QDate(2024, 1, tue), QTime(21, 30), QTimeZone::utc());
    const QDateTime friday(QDate(2024, 1, fri), QTime(23, 30), QTimeZone::utc());
    EXPECT_FALSE(night.isActive(tuesday, QTimeZone::utc()));
    EXPECT_TRUE(night.isActive(tuesday, zone));
    EXPECT_TRUE(night.isActive(friday, QTimeZone::utc()));
    EXPECT_FALSE(night.isActive(friday, zone));
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
    other.weekdays.insert(1);
    EXPECT_NE(other, BandwidthSchedule{});
}

TEST(BandwidthScheduleTest, AMissingOrMistypedKeyDiscardsTheWholeValue)
{
    for (const char *key : {"enabled", "startHour", "endHour", "throttledDownKbps", "throttledUpKbps", "weekdays"}) {
        QJsonObject missing = defaultObject();
        missing.remove(QLatin1String(key));
        EXPECT_EQ(BandwidthSchedule::fromJsonObject(missing), std::nullopt) << key;
        for (const QJsonValue &wrong : {QJsonValue(QJsonValue::Null), QJsonValue(QStringLiteral("8"))}) {
            QJsonObject object = defaultObject();
            object[QLatin1String(key)] = wrong;
            EXPECT_EQ(BandwidthSchedule::fromJsonObject(object), std::nullopt) << key;
        }
    }
    const std::pair<const char *, QJsonValue> wrong[] = {
        {"enabled", 1},
        {"startHour", true},
        {"startHour", 8.5},
        {"weekdays", QJsonArray{2, QStringLiteral("3")}},
        {"weekdays", QJsonArray{2, 3.5}},
        {"weekdays", QJsonArray{2, 1e12}},
    };
    for (const auto &[key, value] : wrong) {
        QJsonObject object = defaultObject();
        object[QLatin1String(key)] = value;
        EXPECT_EQ(BandwidthSchedule::fromJsonObject(object), std::nullopt) << key;
    }
    for (const char *text : {"", "[]", "{\"enabled\": false}"})
        EXPECT_EQ(BandwidthSchedule::fromJson(text), std::nullopt) << text;
}

} // namespace
} // namespace tw
