#pragma once

#include "engine/model/PendingFolder.h"
#include "projects/Project.h"

#include <QList>
#include <QString>
#include <optional>

namespace tw {

// Where an offered folder goes on this Mac and which sync it joins, derived
// from the offer, the syncs and the location the user picked.
//
// The folder is placed under a name that is one safe path component: the
// label comes from the offering Mac, and taken as it is, "../x" or "a/b"
// would put its files outside the chosen folder or nest them, and an empty
// folder part would sync the chosen folder itself.
//
// Nor does it go where a sync's folder already is, or inside one, or around
// one: two engine folders whose trees meet pass each one's files to the
// other's Macs. A name another folder holds gives way to a free one.
struct FolderPlacement
{
    QString folderPart;
    std::optional<QString> syncPart;
    // The sync part, else the folder part.
    QString targetSyncName;
    // The last path component of the target.
    QString component;
    // The first sync named exactly targetSyncName.
    std::optional<QString> existingProjectID;
    // The location itself when it already bears the component's name and
    // no sync keeps it, else the first free name inside it; none without a
    // location.
    std::optional<QString> targetPath;
    // The sync's folder the location lies in: nothing can be placed there.
    std::optional<QString> insideSyncedFolder;

    static FolderPlacement of(const PendingFolder &offer, const QList<Project> &projects,
                              const std::optional<QString> &location);
};

} // namespace tw
