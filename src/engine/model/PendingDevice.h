#pragma once

#include <QString>

namespace tw {

struct PendingDevice
{
    QString id;
    QString name;
    QString address;

    bool operator==(const PendingDevice &) const = default;
};

} // namespace tw
