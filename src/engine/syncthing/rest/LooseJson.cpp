#include "engine/syncthing/rest/LooseJson.h"

#include <cmath>
#include <limits>

namespace tw {

std::optional<QString> LooseJson::string(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<double> LooseJson::number(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    return value.toDouble();
}

std::optional<qint64> LooseJson::exactInteger(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    // toInteger() answers its default for anything but a whole 64-bit number;
    // two different defaults tell that apart from a real value.
    const qint64 first = value.toInteger(0);
    if (first != value.toInteger(1))
        return std::nullopt;
    return first;
}

std::optional<qint64> LooseJson::truncatedInteger(const QJsonValue &value)
{
    if (const auto exact = exactInteger(value))
        return exact;
    const auto number = LooseJson::number(value);
    if (!number || std::isnan(*number))
        return std::nullopt;
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (*number >= limit)
        return std::numeric_limits<qint64>::max();
    if (*number <= -limit)
        return std::numeric_limits<qint64>::min();
    return qint64(std::trunc(*number));
}

} // namespace tw
