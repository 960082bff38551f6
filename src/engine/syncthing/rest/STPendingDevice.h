#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <optional>

namespace tw {

// A device that asked to connect and is not configured yet.
struct STPendingDevice
{
    std::optional<QString> name;
    std::optional<QString> address;

    static STPendingDevice fromJson(const QJsonObject &object);
    // A whole answer: device ID to record.
    static QMap<QString, STPendingDevice> mapFromJson(const QByteArray &body);

    bool operator==(const STPendingDevice &) const = default;
};

} // namespace tw
