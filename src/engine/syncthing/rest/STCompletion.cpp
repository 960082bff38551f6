#include "engine/syncthing/rest/STCompletion.h"

#include "engine/syncthing/rest/WireJson.h"
#include "utilities/StrictJson.h"

namespace tw {

STCompletion STCompletion::fromJson(const QJsonObject &object)
{
    const StrictJson json(object);
    return {json.optionalNumber(QStringLiteral("completion")), json.optionalInteger(QStringLiteral("needBytes")),
            json.optionalInteger(QStringLiteral("needItems")), json.optionalString(QStringLiteral("remoteState")),
            json.optionalInteger(QStringLiteral("sequence"))};
}

STCompletion STCompletion::fromJsonBody(const QByteArray &body)
{
    return wire::objectFromBody<STCompletion>(body);
}

} // namespace tw
