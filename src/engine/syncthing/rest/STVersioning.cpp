#include "engine/syncthing/rest/STVersioning.h"

#include "utilities/StrictJson.h"

namespace tw {

STVersioning STVersioning::fromJson(const QJsonObject &object)
{
    const StrictJson json(object);
    STVersioning versioning{json.string(QStringLiteral("type")), std::nullopt};
    if (const auto params = json.optionalObject(QStringLiteral("params"))) {
        QMap<QString, QString> map;
        for (auto it = params->constBegin(); it != params->constEnd(); ++it)
            map.insert(it.key(), StrictJson::toString(it.value(), QStringLiteral("params.") + it.key()));
        versioning.params = std::move(map);
    }
    return versioning;
}

QJsonObject STVersioning::toJson() const
{
    QJsonObject object{{QStringLiteral("type"), type}};
    if (params) {
        QJsonObject map;
        for (auto it = params->constBegin(); it != params->constEnd(); ++it)
            map.insert(it.key(), it.value());
        object.insert(QStringLiteral("params"), map);
    }
    return object;
}

} // namespace tw
