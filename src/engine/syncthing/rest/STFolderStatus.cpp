#include "engine/syncthing/rest/STFolderStatus.h"

#include "engine/syncthing/rest/WireJson.h"
#include "utilities/StrictJson.h"

namespace tw {

STFolderStatus STFolderStatus::fromJson(const QJsonObject &object)
{
    const StrictJson json(object);
    return {json.optionalString(QStringLiteral("state")), json.optionalInteger(QStringLiteral("globalBytes")),
            json.optionalInteger(QStringLiteral("localBytes")), json.optionalInteger(QStringLiteral("needBytes")),
            json.optionalInteger(QStringLiteral("errors")),
            json.optionalString(QStringLiteral("error")), json.optionalInteger(QStringLiteral("needFiles"))};
}

STFolderStatus STFolderStatus::fromJsonBody(const QByteArray &body)
{
    return wire::objectFromBody<STFolderStatus>(body);
}

} // namespace tw
