#pragma once

#include <QString>
#include <optional>

namespace tw {

// A folder's state as the views show it. Syncthing's own words are mapped onto
// these by the adapter, never by this type.
enum class FolderState { Idle, Scanning, Syncing, Error, Paused, Unknown };

QString toRawValue(FolderState state);
std::optional<FolderState> folderStateFromRaw(const QString &raw);

} // namespace tw
