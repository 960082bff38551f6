#pragma once

#include <QString>

namespace tw {

struct SyncDevice
{
    QString id;
    QString name;
    bool isPaused = false;
    bool isThisDevice = false;
    qint64 downLimitKbps = 0;
    qint64 upLimitKbps = 0;

    bool operator==(const SyncDevice &) const = default;
};

} // namespace tw
