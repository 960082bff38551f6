#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QSet>
#include <QTimeZone>
#include <optional>

namespace tw {

// The stored weekday number of a date: 1 = Sunday ... 7 = Saturday. Qt counts
// 1 = Monday ... 7 = Sunday; this is the one place that converts.
int storedWeekday(const QDate &date);

// When the engine's global bandwidth is throttled: on the chosen weekdays,
// from startHour up to (not including) endHour, possibly across midnight.
struct BandwidthSchedule
{
    bool enabled = false;
    qint64 startHour = 8;           // hour of day, 0-23
    qint64 endHour = 18;            // hour of day, 0-23
    qint64 throttledDownKbps = 0;   // global limits while active, KB/s
    qint64 throttledUpKbps = 0;
    QSet<int> weekdays = defaultWeekdays();  // stored numbering

    // Monday to Friday.
    static QSet<int> defaultWeekdays();

    bool operator==(const BandwidthSchedule &) const = default;

    // Reads hour and weekday of `now` in `zone`. Equal hours are an empty
    // window. After midnight the weekday tested is still that of `now`.
    bool isActive(const QDateTime &now, const QTimeZone &zone) const;

    // The six keys, weekdays as an array.
    QJsonObject toJsonObject() const;
    QByteArray toJson() const;
    // Every key is required and must have its type; hours must lie in 0-23,
    // weekdays in 1-7 and limits must not be negative; otherwise nothing.
    static std::optional<BandwidthSchedule> fromJsonObject(const QJsonObject &object);
    static std::optional<BandwidthSchedule> fromJson(const QByteArray &json);
};

} // namespace tw
