#pragma once

#include <QString>
#include <array>
#include <optional>

namespace tw {

// How a folder exchanges changes; the raw values are Syncthing's folder types.
enum class FolderSyncMode { SendReceive, SendOnly, ReceiveOnly };

inline constexpr std::array<FolderSyncMode, 3> allFolderSyncModes{
    FolderSyncMode::SendReceive, FolderSyncMode::SendOnly, FolderSyncMode::ReceiveOnly};

QString toRawValue(FolderSyncMode mode);
// Exact, case-sensitive: "sendReceive" is not a mode.
std::optional<FolderSyncMode> folderSyncModeFromRaw(const QString &raw);

} // namespace tw
