#pragma once

#include <QString>

namespace tw {

struct ArchivedVersion
{
    QString path;         // relative to the folder
    QString versionTime;  // as the engine writes it; also the key to restore it
    qint64 size = 0;

    QString identity() const { return path + QLatin1Char('@') + versionTime; }
    bool operator==(const ArchivedVersion &) const = default;
};

} // namespace tw
