#pragma once

#include "controllers/FolderController.h"
#include "projects/Project.h"

#include <QMap>
#include <QSet>
#include <QString>
#include <optional>

namespace tw {

// Free bytes of the volume holding each sync folder, by local path; no entry
// when unknown.
using VolumeFreeBytes = QMap<QString, qint64>;

// A folder that cannot finish syncing: free space does not cover what it
// still needs plus a safety margin.
struct DiskShortfall
{
    // Room left for the engine's temporary copies and everything else
    // writing to the volume meanwhile.
    static constexpr qint64 marginBytes = 1'000'000'000;

    qint64 need = 0;
    qint64 free = 0;

    bool operator==(const DiskShortfall &) const = default;
};

// Missing data counts as no shortfall: no engine folder ID, no free-space
// reading, no status. Whether the folder is switched on plays no part.
std::optional<DiskShortfall> diskShortfall(const ProjectFolder &folder, const FolderStatusMap &statuses,
                                           const VolumeFreeBytes &volumeFree);

// The engine folder IDs of every folder of every sync that lacks space.
QSet<QString> foldersShortOfSpace(const QList<Project> &projects, const FolderStatusMap &statuses,
                                  const VolumeFreeBytes &volumeFree);

} // namespace tw
