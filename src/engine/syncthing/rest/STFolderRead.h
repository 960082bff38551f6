#pragma once

#include "engine/syncthing/rest/STDeviceRef.h"
#include "engine/syncthing/rest/STVersioning.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

namespace tw {

// One folder of Syncthing's configuration, as read.
struct STFolderRead
{
    QString id;
    QString label;  // may be empty, but must be present
    QString path;
    QString type;
    bool paused = false;
    QList<STDeviceRef> devices;
    std::optional<STVersioning> versioning;
    std::optional<bool> sendXattrs;
    std::optional<bool> syncXattrs;
    std::optional<QJsonObject> xattrFilter;  // compared whole, never looked into

    static STFolderRead fromJson(const QJsonObject &object);
    // A whole answer of the folder list.
    static QList<STFolderRead> listFromJson(const QByteArray &body);

    bool operator==(const STFolderRead &) const = default;
};

} // namespace tw
