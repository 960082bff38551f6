#pragma once

#include <QHashFunctions>
#include <QString>

namespace tw {

// A Mac of a sync as the user sees it, identified by its engine device ID.
struct ProjectDeviceRef
{
    QString id;
    QString name;
    bool isThisMac = false;
    bool isAlwaysOnNode = false;

    bool operator==(const ProjectDeviceRef &) const = default;
};

inline size_t qHash(const ProjectDeviceRef &ref, size_t seed = 0)
{
    return qHashMulti(seed, ref.id, ref.name, ref.isThisMac, ref.isAlwaysOnNode);
}

} // namespace tw
