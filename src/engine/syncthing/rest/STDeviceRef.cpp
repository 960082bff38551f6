#include "engine/syncthing/rest/STDeviceRef.h"

#include "utilities/StrictJson.h"

namespace tw {

STDeviceRef STDeviceRef::fromJson(const QJsonObject &object)
{
    const StrictJson json(object);
    return {json.string(QStringLiteral("deviceID")), json.optionalString(QStringLiteral("introducedBy")),
            json.optionalString(QStringLiteral("encryptionPassword"))};
}

QJsonObject STDeviceRef::toJson() const
{
    QJsonObject object{{QStringLiteral("deviceID"), deviceID}};
    if (introducedBy)
        object.insert(QStringLiteral("introducedBy"), *introducedBy);
    if (encryptionPassword)
        object.insert(QStringLiteral("encryptionPassword"), *encryptionPassword);
    return object;
}

} // namespace tw
