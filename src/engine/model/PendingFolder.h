#pragma once

#include <QString>

namespace tw {

struct PendingFolder
{
    QString folderID;
    QString label;
    QString offeredByDeviceID;
    QString offeredByName;

    // One folder offered by two devices is two entries.
    QString identity() const { return folderID + QLatin1Char('|') + offeredByDeviceID; }
    bool operator==(const PendingFolder &) const = default;
};

} // namespace tw
