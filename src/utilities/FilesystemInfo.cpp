#include "utilities/FilesystemInfo.h"

#include <QStorageInfo>

namespace tw {

std::optional<FilesystemInfo> FilesystemInfo::forPath(const QString &path)
{
    const QStorageInfo storage(path);
    if (!storage.isValid() || storage.fileSystemType().isEmpty())
        return std::nullopt;
    return FilesystemInfo{QString::fromUtf8(storage.fileSystemType())};
}

bool FilesystemInfo::isPermissionless() const
{
    const QString format = formatDescription.toLower();
    for (const char *name : {"exfat", "fat", "ms-dos", "msdos"})
        if (format.contains(QLatin1String(name)))
            return true;
    return false;
}

} // namespace tw
