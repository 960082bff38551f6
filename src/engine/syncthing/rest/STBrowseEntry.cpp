#include "engine/syncthing/rest/STBrowseEntry.h"

#include "engine/syncthing/rest/WireJson.h"
#include "utilities/StrictJson.h"

namespace tw {

STBrowseEntry STBrowseEntry::fromJson(const QJsonObject &object)
{
    const StrictJson json(object);
    return {json.string(QStringLiteral("name")), json.string(QStringLiteral("type"))};
}

QList<STBrowseEntry> STBrowseEntry::listFromJson(const QByteArray &body)
{
    return wire::listFromBody<STBrowseEntry>(body);
}

} // namespace tw
