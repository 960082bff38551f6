#include "engine/model/FolderState.h"

#include <array>

namespace tw {

QString toRawValue(FolderState state)
{
    switch (state) {
    case FolderState::Idle: return QStringLiteral("idle");
    case FolderState::Scanning: return QStringLiteral("scanning");
    case FolderState::Syncing: return QStringLiteral("syncing");
    case FolderState::Error: return QStringLiteral("error");
    case FolderState::Paused: return QStringLiteral("paused");
    case FolderState::Unknown: return QStringLiteral("unknown");
    }
    return {};
}

std::optional<FolderState> folderStateFromRaw(const QString &raw)
{
    static constexpr std::array states{FolderState::Idle,  FolderState::Scanning, FolderState::Syncing,
                                       FolderState::Error, FolderState::Paused,   FolderState::Unknown};
    for (FolderState state : states)
        if (toRawValue(state) == raw)
            return state;
    return std::nullopt;
}

} // namespace tw
