#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

namespace tw {

// One device of Syncthing's configuration, as read.
struct STDeviceRead
{
    QString deviceID;
    QString name;  // may be empty
    bool paused = false;
    std::optional<qint64> maxSendKbps;  // KiB/s
    std::optional<qint64> maxRecvKbps;  // KiB/s

    static STDeviceRead fromJson(const QJsonObject &object);
    static QList<STDeviceRead> listFromJson(const QByteArray &body);
    // Device ID to its configured name (possibly empty); the first of two
    // entries for one ID wins.
    static QHash<QString, QString> namesByID(const QList<STDeviceRead> &devices);

    bool operator==(const STDeviceRead &) const = default;
};

} // namespace tw
