#include "engine/syncthing/rest/STFolderWrite.h"

#include <QJsonArray>

namespace tw {

QJsonObject STFolderWrite::toJson() const
{
    QJsonArray deviceArray;
    for (const STDeviceRef &device : devices)
        deviceArray.append(device.toJson());
    return {{QStringLiteral("id"), id},
            {QStringLiteral("label"), label},
            {QStringLiteral("path"), path},
            {QStringLiteral("type"), type},
            {QStringLiteral("devices"), deviceArray},
            {QStringLiteral("paused"), paused},
            {QStringLiteral("fsWatcherEnabled"), fsWatcherEnabled},
            {QStringLiteral("rescanIntervalS"), rescanIntervalS},
            {QStringLiteral("versioning"), versioning.toJson()},
            {QStringLiteral("sendXattrs"), sendXattrs},
            {QStringLiteral("syncXattrs"), syncXattrs},
            {QStringLiteral("copyRangeMethod"), copyRangeMethod},
            {QStringLiteral("xattrFilter"), xattrFilter.toJson()}};
}

} // namespace tw
