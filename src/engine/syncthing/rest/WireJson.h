#pragma once

#include "utilities/StrictJson.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

namespace tw::wire {

// Decoding of whole answers and nested collections for the Syncthing wire
// records. A breach anywhere throws JsonDecodeError naming where it happened,
// so that nothing partial ever reaches a caller.

template <typename Decode>
auto withContext(const QString &where, Decode decode) -> decltype(decode())
{
    try {
        return decode();
    } catch (const JsonDecodeError &error) {
        throw JsonDecodeError(where + QStringLiteral(": ") + error.detail());
    }
}

template <typename T>
QList<T> listFromArray(const QJsonArray &array, const QString &what)
{
    QList<T> list;
    list.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QString where = QStringLiteral("%1[%2]").arg(what).arg(i);
        list.append(withContext(where, [&] { return T::fromJson(StrictJson::toObject(array.at(i), where)); }));
    }
    return list;
}

template <typename T>
QMap<QString, T> mapFromObject(const QJsonObject &object, const QString &what)
{
    QMap<QString, T> map;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        const QString where = QStringLiteral("%1[\"%2\"]").arg(what, it.key());
        map.insert(it.key(), withContext(where, [&] { return T::fromJson(StrictJson::toObject(it.value(), where)); }));
    }
    return map;
}

template <typename T>
QList<T> listFromBody(const QByteArray &body)
{
    return listFromArray<T>(StrictJson::parseArray(body), QString());
}

template <typename T>
QMap<QString, T> mapFromBody(const QByteArray &body)
{
    return mapFromObject<T>(StrictJson::parseObject(body), QString());
}

template <typename T>
T objectFromBody(const QByteArray &body)
{
    return T::fromJson(StrictJson::parseObject(body));
}

} // namespace tw::wire
