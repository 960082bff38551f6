#pragma once

#include "engine/model/VersioningPolicy.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace tw {

// Changes of one folder that the engine makes in one configuration write
// (every write saves the engine's configuration and restarts the folder);
// what is absent stays as it is.
struct FolderChange
{
    std::optional<QString> label = {};
    std::optional<VersioningPolicy> versioning = {};
    std::optional<bool> syncMetadata = {};
    bool syncedXattrFilter = false;
    std::optional<bool> paused = {};
    // The whole list, this device included, in the order to keep.
    std::optional<QStringList> sharedDeviceIDs = {};

    bool isEmpty() const
    {
        return !label && !versioning && !syncMetadata && !syncedXattrFilter && !paused && !sharedDeviceIDs;
    }
};

} // namespace tw
