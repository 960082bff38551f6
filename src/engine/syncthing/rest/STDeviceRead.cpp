#include "engine/syncthing/rest/STDeviceRead.h"

#include "engine/syncthing/rest/WireJson.h"
#include "utilities/StrictJson.h"

namespace tw {

STDeviceRead STDeviceRead::fromJson(const QJsonObject &object)
{
    const StrictJson json(object);
    return {json.string(QStringLiteral("deviceID")), json.string(QStringLiteral("name")),
            json.boolean(QStringLiteral("paused")), json.optionalInteger(QStringLiteral("maxSendKbps")),
            json.optionalInteger(QStringLiteral("maxRecvKbps"))};
}

QList<STDeviceRead> STDeviceRead::listFromJson(const QByteArray &body)
{
    return wire::listFromBody<STDeviceRead>(body);
}

QHash<QString, QString> STDeviceRead::namesByID(const QList<STDeviceRead> &devices)
{
    QHash<QString, QString> names;
    for (const STDeviceRead &device : devices) {
        if (!names.contains(device.deviceID))
            names.insert(device.deviceID, device.name);
    }
    return names;
}

} // namespace tw
