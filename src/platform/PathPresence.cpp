#include "platform/PathPresence.h"

#include <QFileInfo>
#include <QStorageInfo>

namespace tw {

PathPresence PathPresence::read(const QString &path)
{
    PathPresence presence{
        .exists = QFileInfo::exists(path), .freeBytes = std::nullopt, .place = PathOverlap::place(path)};
    const QStorageInfo storage(path);
    if (storage.isValid() && storage.isReady()) {
        if (const qint64 free = storage.bytesAvailable(); free >= 0)
            presence.freeBytes = free;
    }
    return presence;
}

} // namespace tw
