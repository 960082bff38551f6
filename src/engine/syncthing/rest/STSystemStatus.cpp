#include "engine/syncthing/rest/STSystemStatus.h"

#include "engine/syncthing/rest/WireJson.h"
#include "utilities/StrictJson.h"

namespace tw {

STSystemStatus STSystemStatus::fromJson(const QJsonObject &object)
{
    return {StrictJson(object).string(QStringLiteral("myID"))};
}

STSystemStatus STSystemStatus::fromJsonBody(const QByteArray &body)
{
    return wire::objectFromBody<STSystemStatus>(body);
}

} // namespace tw
