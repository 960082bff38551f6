#include "engine/syncthing/rest/STDeviceWrite.h"

#include <QJsonArray>

namespace tw {

QJsonObject STDeviceWrite::toJson() const
{
    return {{QStringLiteral("deviceID"), deviceID},
            {QStringLiteral("name"), name},
            {QStringLiteral("addresses"), QJsonArray::fromStringList(addresses)},
            {QStringLiteral("paused"), paused},
            {QStringLiteral("numConnections"), numConnections},
            {QStringLiteral("introducer"), introducer}};
}

} // namespace tw
