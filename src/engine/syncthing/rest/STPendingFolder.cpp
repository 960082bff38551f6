#include "engine/syncthing/rest/STPendingFolder.h"

#include "engine/syncthing/rest/WireJson.h"
#include "utilities/StrictJson.h"

namespace tw {

STPendingFolder::Offer STPendingFolder::Offer::fromJson(const QJsonObject &object)
{
    return {StrictJson(object).optionalString(QStringLiteral("label"))};
}

STPendingFolder STPendingFolder::fromJson(const QJsonObject &object)
{
    const StrictJson json(object);
    return {wire::mapFromObject<Offer>(json.object(QStringLiteral("offeredBy")), QStringLiteral("offeredBy"))};
}

QMap<QString, STPendingFolder> STPendingFolder::mapFromJson(const QByteArray &body)
{
    return wire::mapFromBody<STPendingFolder>(body);
}

} // namespace tw
