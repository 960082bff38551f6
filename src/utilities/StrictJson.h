#pragma once

#include "utilities/JsonDecodeError.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>
#include <optional>

namespace tw {

// Reads a JSON object by the strict rules of the records we decode: a required
// key that is missing, null or of another type throws JsonDecodeError; an
// optional key that is missing or null reads as absent, any other type throws.
// Integers are signed 64-bit: a fraction or a value beyond 64 bits throws.
// Qt's own conversions are lenient (a number's toString() is ""), hence this.
class StrictJson
{
public:
    explicit StrictJson(QJsonObject object) : m_object(std::move(object)) {}

    QString string(const QString &key) const;
    bool boolean(const QString &key) const;
    qint64 integer(const QString &key) const;
    double number(const QString &key) const;
    QJsonArray array(const QString &key) const;
    QJsonObject object(const QString &key) const;
    QStringList stringList(const QString &key) const;

    std::optional<QString> optionalString(const QString &key) const { return readOptional(key, &StrictJson::string); }
    std::optional<bool> optionalBoolean(const QString &key) const { return readOptional(key, &StrictJson::boolean); }
    std::optional<qint64> optionalInteger(const QString &key) const { return readOptional(key, &StrictJson::integer); }
    std::optional<double> optionalNumber(const QString &key) const { return readOptional(key, &StrictJson::number); }
    std::optional<QJsonArray> optionalArray(const QString &key) const { return readOptional(key, &StrictJson::array); }
    std::optional<QJsonObject> optionalObject(const QString &key) const
    {
        return readOptional(key, &StrictJson::object);
    }
    std::optional<QStringList> optionalStringList(const QString &key) const
    {
        return readOptional(key, &StrictJson::stringList);
    }

    const QJsonObject &raw() const { return m_object; }

    // Value-level checks, for elements of arrays and maps.
    static QString toString(const QJsonValue &value, const QString &what);
    static qint64 toInteger(const QJsonValue &value, const QString &what);
    static QJsonObject toObject(const QJsonValue &value, const QString &what);
    static QStringList toStringList(const QJsonValue &value, const QString &what);

    // Parses a whole body; invalid JSON or another top-level type throws.
    static QJsonObject parseObject(const QByteArray &body);
    static QJsonArray parseArray(const QByteArray &body);

private:
    QJsonValue present(const QString &key) const;
    bool absent(const QString &key) const;

    // Missing or null reads as absent; anything else goes through the
    // required reader, so a value of another type still throws.
    template <typename T>
    std::optional<T> readOptional(const QString &key, T (StrictJson::*read)(const QString &) const) const
    {
        if (absent(key))
            return std::nullopt;
        return (this->*read)(key);
    }

    QJsonObject m_object;
};

} // namespace tw
