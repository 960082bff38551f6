#pragma once

#include <QString>

namespace tw {

// Syncthing's low-disk-space refusal in plain words; any other text unchanged.
QString friendlyFolderErrorMessage(const QString &engineError);

} // namespace tw
