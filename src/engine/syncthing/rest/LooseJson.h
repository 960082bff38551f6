#pragma once

#include <QJsonValue>
#include <QString>
#include <optional>

namespace tw {

// Lenient reads of single JSON values, for answers and events that are read
// key by key: a value of another type reads as absent instead of failing.
struct LooseJson
{
    static std::optional<QString> string(const QJsonValue &value);
    static std::optional<double> number(const QJsonValue &value);
    // A whole number within 64 bits; a fraction reads as absent.
    static std::optional<qint64> exactInteger(const QJsonValue &value);
    // Any number, its fraction cut and held within 64 bits; NaN reads as absent.
    static std::optional<qint64> truncatedInteger(const QJsonValue &value);
};

} // namespace tw
