#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace tw {

// The body of a device creation; all six keys are always written.
struct STDeviceWrite
{
    QString deviceID;
    QString name;
    QStringList addresses;  // "dynamic" lets Syncthing discover them
    bool paused = false;
    qint64 numConnections = 0;
    bool introducer = false;

    QJsonObject toJson() const;

    bool operator==(const STDeviceWrite &) const = default;
};

} // namespace tw
