#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace tw {

// Syncthing's system status; only this device's ID is read.
struct STSystemStatus
{
    QString myID;

    static STSystemStatus fromJson(const QJsonObject &object);
    static STSystemStatus fromJsonBody(const QByteArray &body);

    bool operator==(const STSystemStatus &) const = default;
};

} // namespace tw
