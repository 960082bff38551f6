#pragma once

#include "utilities/JsonDecodeError.h"
#include "utilities/StrictJson.h"

#include <QJsonObject>
#include <QString>
#include <QUuid>
#include <concepts>
#include <optional>

namespace tw {

// What the retry queue can carry: a value with a JSON form of its own, whose
// reader throws JsonDecodeError for a form it cannot take.
template <typename T>
concept RetryOperation = std::copyable<T> && requires(const T &operation, const QJsonObject &json) {
    { operation.toJson() } -> std::convertible_to<QJsonObject>;
    { T::fromJson(json) } -> std::same_as<T>;
};

// One pending operation of the retry queue, as kept in memory and in the
// queue's file.
template <RetryOperation Operation>
struct RetryQueueEntry
{
    QUuid id;
    Operation operation;
    std::optional<QString> dedupKey = std::nullopt;
    qint64 attempts = 0; // failed executions so far

    QJsonObject toJson() const
    {
        QJsonObject object;
        object.insert(QStringLiteral("id"), id.toString(QUuid::WithoutBraces).toUpper());
        object.insert(QStringLiteral("operation"), operation.toJson());
        if (dedupKey)
            object.insert(QStringLiteral("dedupKey"), *dedupKey);
        object.insert(QStringLiteral("attempts"), attempts);
        return object;
    }

    // Throws JsonDecodeError when a required key is missing or of another
    // type, or when the operation does not decode.
    static RetryQueueEntry fromJson(const QJsonValue &value)
    {
        const StrictJson json(StrictJson::toObject(value, QStringLiteral("entry")));
        const QUuid id = QUuid::fromString(json.string(QStringLiteral("id")));
        if (id.isNull())
            throw JsonDecodeError(QStringLiteral("key \"id\": expected a UUID"));
        return {id, Operation::fromJson(json.object(QStringLiteral("operation"))),
                json.optionalString(QStringLiteral("dedupKey")), json.integer(QStringLiteral("attempts"))};
    }
};

} // namespace tw
