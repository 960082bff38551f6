#include "controllers/BandwidthSchedule.h"

#include "utilities/StrictJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>

namespace tw {

namespace {

bool isHour(qint64 value) { return value >= 0 && value <= 23; }

} // namespace

int storedWeekday(const QDate &date) { return date.dayOfWeek() % 7 + 1; }

QSet<int> BandwidthSchedule::defaultWeekdays()
{
    QSet<int> days;
    for (int day = 2; day <= 6; ++day)
        days.insert(day);
    return days;
}

bool BandwidthSchedule::isActive(const QDateTime &now, const QTimeZone &zone) const
{
    if (!enabled || weekdays.isEmpty())
        return false;
    const QDateTime local = now.toTimeZone(zone);
    if (!weekdays.contains(storedWeekday(local.date())))
        return false;
    const qint64 hour = local.time().hour();
    if (startHour < endHour)
        return startHour <= hour && hour < endHour;
    if (endHour < startHour)
        return hour >= startHour || hour < endHour;
    return false;
}

QJsonObject BandwidthSchedule::toJsonObject() const
{
    QList<int> days = weekdays.values();
    std::sort(days.begin(), days.end());
    QJsonArray array;
    for (int day : days)
        array.append(day);
    return {
        {QStringLiteral("enabled"), enabled},
        {QStringLiteral("startHour"), startHour},
        {QStringLiteral("endHour"), endHour},
        {QStringLiteral("throttledDownKbps"), throttledDownKbps},
        {QStringLiteral("throttledUpKbps"), throttledUpKbps},
        {QStringLiteral("weekdays"), array},
    };
}

QByteArray BandwidthSchedule::toJson() const { return QJsonDocument(toJsonObject()).toJson(QJsonDocument::Compact); }

std::optional<BandwidthSchedule> BandwidthSchedule::fromJsonObject(const QJsonObject &object)
{
    try {
        const StrictJson json(object);
        BandwidthSchedule schedule;
        schedule.enabled = json.boolean(QStringLiteral("enabled"));
        schedule.startHour = json.integer(QStringLiteral("startHour"));
        schedule.endHour = json.integer(QStringLiteral("endHour"));
        schedule.throttledDownKbps = json.integer(QStringLiteral("throttledDownKbps"));
        schedule.throttledUpKbps = json.integer(QStringLiteral("throttledUpKbps"));
        if (!isHour(schedule.startHour) || !isHour(schedule.endHour) || schedule.throttledDownKbps < 0
            || schedule.throttledUpKbps < 0)
            return std::nullopt;
        schedule.weekdays.clear();
        for (const QJsonValue &value : json.array(QStringLiteral("weekdays"))) {
            const qint64 day = StrictJson::toInteger(value, QStringLiteral("weekdays[]"));
            if (day < 1 || day > 7)
                return std::nullopt;
            schedule.weekdays.insert(int(day));
        }
        return schedule;
    } catch (const JsonDecodeError &) {
        return std::nullopt;
    }
}

std::optional<BandwidthSchedule> BandwidthSchedule::fromJson(const QByteArray &json)
{
    try {
        return fromJsonObject(StrictJson::parseObject(json));
    } catch (const JsonDecodeError &) {
        return std::nullopt;
    }
}

} // namespace tw
