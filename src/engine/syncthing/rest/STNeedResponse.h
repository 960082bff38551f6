#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

namespace tw {

// The items a folder still needs on this device, first page only.
struct STNeedResponse
{
    struct Item
    {
        QString name;  // relative to the folder root

        static Item fromJson(const QJsonObject &object);
        bool operator==(const Item &) const = default;
    };

    std::optional<QList<Item>> progress;  // being transferred now
    std::optional<QList<Item>> queued;

    static STNeedResponse fromJson(const QJsonObject &object);
    static STNeedResponse fromJsonBody(const QByteArray &body);

    bool operator==(const STNeedResponse &) const = default;
};

} // namespace tw
