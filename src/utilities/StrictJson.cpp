#include "utilities/StrictJson.h"

#include <QJsonDocument>
#include <QVariant>
#include <cmath>

namespace tw {
namespace {

JsonDecodeError wrongType(const QString &what, const char *expected)
{
    return JsonDecodeError(QStringLiteral("%1: expected %2").arg(what, QLatin1String(expected)));
}

bool isNumberCharacter(char c)
{
    return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
}

// Qt keeps a parsed number that rounds to exactly -2^63 as that integer, so
// -9223372036854775809 would read as the minimum, indistinguishable once
// parsed. Hence the text of a valid body is searched for such numbers.
void requireNoNumberRoundedToTheMinimum(const QByteArray &body)
{
    bool inString = false;
    for (qsizetype i = 0; i < body.size(); ++i) {
        const char c = body.at(i);
        if (inString) {
            i += c == '\\' ? 1 : 0;
            inString = c != '"';
        } else if (c == '"') {
            inString = true;
        } else if (c == '-') {
            qsizetype end = i + 1;
            while (end < body.size() && isNumberCharacter(body.at(end)))
                ++end;
            const QByteArray number = body.mid(i, end - i);
            if (number != "-9223372036854775808" && number.toDouble() == -9223372036854775808.0)
                throw JsonDecodeError(QStringLiteral("%1: expected a 64-bit integer").arg(QLatin1String(number)));
            i = end - 1;
        }
    }
}

QJsonDocument parse(const QByteArray &body)
{
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        throw JsonDecodeError(QStringLiteral("invalid JSON at offset %1: %2").arg(error.offset).arg(error.errorString()));
    requireNoNumberRoundedToTheMinimum(body);
    return document;
}

} // namespace

QJsonValue StrictJson::present(const QString &key) const
{
    auto it = m_object.constFind(key);
    if (it == m_object.constEnd() || it->isNull())
        throw JsonDecodeError(QStringLiteral("key \"%1\" is missing").arg(key));
    return *it;
}

bool StrictJson::absent(const QString &key) const
{
    const QJsonValue value = m_object.value(key);
    return value.isNull() || value.isUndefined();
}

QString StrictJson::toString(const QJsonValue &value, const QString &what)
{
    if (!value.isString())
        throw wrongType(what, "a string");
    return value.toString();
}

qint64 StrictJson::toInteger(const QJsonValue &value, const QString &what)
{
    if (!value.isDouble())
        throw wrongType(what, "an integer");
    const QVariant variant = value.toVariant();
    if (variant.typeId() == QMetaType::LongLong)
        return variant.toLongLong();
    const double d = value.toDouble();
    // An in-range integer arrives as LongLong above, so a double at or beyond
    // +-2^63 can only come from text that does not fit.
    if (!std::isfinite(d) || std::trunc(d) != d || d >= 9223372036854775808.0 || d <= -9223372036854775808.0)
        throw wrongType(what, "a 64-bit integer");
    return static_cast<qint64>(d);
}

QJsonObject StrictJson::toObject(const QJsonValue &value, const QString &what)
{
    if (!value.isObject())
        throw wrongType(what, "an object");
    return value.toObject();
}

QStringList StrictJson::toStringList(const QJsonValue &value, const QString &what)
{
    if (!value.isArray())
        throw wrongType(what, "an array of strings");
    QStringList list;
    const QJsonArray array = value.toArray();
    list.reserve(array.size());
    for (const QJsonValue &element : array)
        list.append(toString(element, what + QStringLiteral("[]")));
    return list;
}

QString StrictJson::string(const QString &key) const { return toString(present(key), key); }

bool StrictJson::boolean(const QString &key) const
{
    const QJsonValue value = present(key);
    if (!value.isBool())
        throw wrongType(key, "a boolean");
    return value.toBool();
}

qint64 StrictJson::integer(const QString &key) const { return toInteger(present(key), key); }

double StrictJson::number(const QString &key) const
{
    const QJsonValue value = present(key);
    if (!value.isDouble())
        throw wrongType(key, "a number");
    return value.toDouble();
}

QJsonArray StrictJson::array(const QString &key) const
{
    const QJsonValue value = present(key);
    if (!value.isArray())
        throw wrongType(key, "an array");
    return value.toArray();
}

QJsonObject StrictJson::object(const QString &key) const { return toObject(present(key), key); }

QStringList StrictJson::stringList(const QString &key) const { return toStringList(present(key), key); }

QJsonObject StrictJson::parseObject(const QByteArray &body)
{
    const QJsonDocument document = parse(body);
    if (!document.isObject())
        throw JsonDecodeError(QStringLiteral("expected a JSON object"));
    return document.object();
}

QJsonArray StrictJson::parseArray(const QByteArray &body)
{
    const QJsonDocument document = parse(body);
    if (!document.isArray())
        throw JsonDecodeError(QStringLiteral("expected a JSON array"));
    return document.array();
}

} // namespace tw
