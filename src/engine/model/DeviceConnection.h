#pragma once

#include <QString>

namespace tw {

struct DeviceConnection
{
    QString id;
    bool connected = false;
    QString address;
    QString connectionType;
    qint64 inBytesTotal = 0;
    qint64 outBytesTotal = 0;
    double inBytesPerSecond = 0;   // derived by the device controller
    double outBytesPerSecond = 0;
    QString version;
    bool isLocal = false;
    QString crypto;

    bool operator==(const DeviceConnection &) const = default;
};

} // namespace tw
