#include "engine/syncthing/rest/STNeedResponse.h"

#include "engine/syncthing/rest/WireJson.h"
#include "utilities/StrictJson.h"

namespace tw {
namespace {

std::optional<QList<STNeedResponse::Item>> optionalItems(const StrictJson &json, const QString &key)
{
    if (const auto array = json.optionalArray(key))
        return wire::listFromArray<STNeedResponse::Item>(*array, key);
    return std::nullopt;
}

} // namespace

STNeedResponse::Item STNeedResponse::Item::fromJson(const QJsonObject &object)
{
    return {StrictJson(object).string(QStringLiteral("name"))};
}

STNeedResponse STNeedResponse::fromJson(const QJsonObject &object)
{
    const StrictJson json(object);
    return {optionalItems(json, QStringLiteral("progress")), optionalItems(json, QStringLiteral("queued"))};
}

STNeedResponse STNeedResponse::fromJsonBody(const QByteArray &body)
{
    return wire::objectFromBody<STNeedResponse>(body);
}

} // namespace tw
