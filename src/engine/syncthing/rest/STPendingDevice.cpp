#include "engine/syncthing/rest/STPendingDevice.h"

#include "engine/syncthing/rest/WireJson.h"
#include "utilities/StrictJson.h"

namespace tw {

STPendingDevice STPendingDevice::fromJson(const QJsonObject &object)
{
    const StrictJson json(object);
    return {json.optionalString(QStringLiteral("name")), json.optionalString(QStringLiteral("address"))};
}

QMap<QString, STPendingDevice> STPendingDevice::mapFromJson(const QByteArray &body)
{
    return wire::mapFromBody<STPendingDevice>(body);
}

} // namespace tw
