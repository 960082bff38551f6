#pragma once

#include "engine/model/FolderSyncMode.h"
#include "engine/model/VersioningPolicy.h"

#include <QSet>
#include <QString>
#include <QStringList>

namespace tw {

// One engine folder as configured.
struct SyncFolder
{
    QString id = {};
    QString label = {};
    QString path = {};
    FolderSyncMode mode = FolderSyncMode::SendReceive;
    bool isPaused = false;
    QStringList ignorePatterns = {};   // empty in listings: ignores are read on their own
    QStringList sharedDeviceIDs = {};  // in the engine's order
    QSet<QString> introducedDeviceIDs = {};
    VersioningPolicy versioning = {};
    bool syncMetadata = true;
    // The filter of the attributes that travel is ours already.
    bool hasSyncedXattrFilter = false;

    bool operator==(const SyncFolder &) const = default;
};

} // namespace tw
