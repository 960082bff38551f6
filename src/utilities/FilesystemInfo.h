#pragma once

#include <QString>
#include <optional>

namespace tw {

// How the volume holding a path is formatted, for the warning that a synced
// folder's volume keeps no permissions or metadata.
struct FilesystemInfo
{
    QString formatDescription;

    // Nothing when the volume cannot be read (an unmounted drive, say).
    static std::optional<FilesystemInfo> forPath(const QString &path);
    // A FAT-family format ("vfat", "exfat", "msdos", ...).
    bool isPermissionless() const;
};

} // namespace tw
