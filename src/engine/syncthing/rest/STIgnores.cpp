#include "engine/syncthing/rest/STIgnores.h"

#include "engine/syncthing/rest/WireJson.h"
#include "utilities/StrictJson.h"

namespace tw {

STIgnores STIgnores::fromJson(const QJsonObject &object)
{
    return {StrictJson(object).optionalStringList(QStringLiteral("ignore"))};
}

STIgnores STIgnores::fromJsonBody(const QByteArray &body)
{
    return wire::objectFromBody<STIgnores>(body);
}

} // namespace tw
