#include "engine/syncthing/rest/STFolderRead.h"

#include "engine/syncthing/rest/WireJson.h"
#include "utilities/StrictJson.h"

namespace tw {

STFolderRead STFolderRead::fromJson(const QJsonObject &object)
{
    const StrictJson json(object);
    STFolderRead folder;
    folder.id = json.string(QStringLiteral("id"));
    folder.label = json.string(QStringLiteral("label"));
    folder.path = json.string(QStringLiteral("path"));
    folder.type = json.string(QStringLiteral("type"));
    folder.paused = json.boolean(QStringLiteral("paused"));
    folder.devices = wire::listFromArray<STDeviceRef>(json.array(QStringLiteral("devices")), QStringLiteral("devices"));
    if (const auto versioning = json.optionalObject(QStringLiteral("versioning")))
        folder.versioning = wire::withContext(QStringLiteral("versioning"), [&] { return STVersioning::fromJson(*versioning); });
    folder.sendXattrs = json.optionalBoolean(QStringLiteral("sendXattrs"));
    folder.syncXattrs = json.optionalBoolean(QStringLiteral("syncXattrs"));
    folder.xattrFilter = json.optionalObject(QStringLiteral("xattrFilter"));
    return folder;
}

QList<STFolderRead> STFolderRead::listFromJson(const QByteArray &body)
{
    return wire::listFromBody<STFolderRead>(body);
}

} // namespace tw
