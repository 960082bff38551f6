#include "app/VolumeState.h"

namespace tw {

VolumeState VolumeState::of(const QStringList &paths, const QHash<QString, PathPresence> &answers)
{
    VolumeState state;
    for (const QString &path : paths) {
        const PathPresence answer = answers.value(path);
        state.online.insert(path, answer.exists);
        if (answer.freeBytes)
            state.freeBytes.insert(path, *answer.freeBytes);
    }
    return state;
}

} // namespace tw
