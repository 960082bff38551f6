#pragma once

#include "engine/model/FolderSyncMode.h"
#include "engine/model/VersioningPolicy.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace tw {

struct NewFolderRequest
{
    std::optional<QString> id;  // absent: the engine makes one
    QString label;
    QString path;
    FolderSyncMode mode = FolderSyncMode::SendReceive;
    QStringList ignorePatterns;
    VersioningPolicy versioning;
    bool syncMetadata = true;
    // Other devices the folder is shared with from the start, in one write
    // with the folder itself.
    QStringList otherDeviceIDs = {};
    // No pause here: the engine makes the folder paused when its run policy
    // says so as the request goes out.
};

} // namespace tw
