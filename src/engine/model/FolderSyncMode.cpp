#include "engine/model/FolderSyncMode.h"

namespace tw {

QString toRawValue(FolderSyncMode mode)
{
    switch (mode) {
    case FolderSyncMode::SendReceive: return QStringLiteral("sendreceive");
    case FolderSyncMode::SendOnly: return QStringLiteral("sendonly");
    case FolderSyncMode::ReceiveOnly: return QStringLiteral("receiveonly");
    }
    return {};
}

std::optional<FolderSyncMode> folderSyncModeFromRaw(const QString &raw)
{
    for (FolderSyncMode mode : allFolderSyncModes)
        if (toRawValue(mode) == raw)
            return mode;
    return std::nullopt;
}

} // namespace tw
