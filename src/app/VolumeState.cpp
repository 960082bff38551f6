#include "app/VolumeState.h"

#include <QFileInfo>
#include <QStorageInfo>

namespace tw {

VolumeState VolumeState::probe(const QStringList &paths)
{
    VolumeState state;
    for (const QString &path : paths) {
        state.online.insert(path, QFileInfo::exists(path));
        const QStorageInfo storage(path);
        if (!storage.isValid() || !storage.isReady())
            continue;
        if (const qint64 free = storage.bytesAvailable(); free >= 0)
            state.freeBytes.insert(path, free);
    }
    return state;
}

} // namespace tw
