#pragma once

#include "engine/syncthing/rest/STDeviceRef.h"
#include "engine/syncthing/rest/STVersioning.h"
#include "engine/syncthing/rest/STXattrFilter.h"

#include <QJsonObject>
#include <QList>
#include <QString>

namespace tw {

// The body of a folder creation. Every key is always written; Syncthing fills
// in its defaults for everything else.
struct STFolderWrite
{
    QString id;
    QString label;
    QString path;
    QString type;
    QList<STDeviceRef> devices;
    bool paused = false;
    bool fsWatcherEnabled = true;
    qint64 rescanIntervalS = 0;
    STVersioning versioning;
    bool sendXattrs = false;
    bool syncXattrs = false;
    QString copyRangeMethod;
    STXattrFilter xattrFilter;

    QJsonObject toJson() const;

    bool operator==(const STFolderWrite &) const = default;
};

} // namespace tw
