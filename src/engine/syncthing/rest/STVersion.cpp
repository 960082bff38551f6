#include "engine/syncthing/rest/STVersion.h"

#include "engine/syncthing/rest/WireJson.h"
#include "utilities/StrictJson.h"

#include <QJsonArray>

namespace tw {

STVersion STVersion::fromJson(const QJsonObject &object)
{
    const StrictJson json(object);
    return {json.string(QStringLiteral("versionTime")), json.optionalInteger(QStringLiteral("size"))};
}

QMap<QString, QList<STVersion>> STVersion::mapFromJson(const QByteArray &body)
{
    const QJsonObject object = StrictJson::parseObject(body);
    QMap<QString, QList<STVersion>> map;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        const QString where = QStringLiteral("[\"%1\"]").arg(it.key());
        if (!it.value().isArray())
            throw JsonDecodeError(where + QStringLiteral(": expected an array"));
        map.insert(it.key(), wire::listFromArray<STVersion>(it.value().toArray(), where));
    }
    return map;
}

} // namespace tw
