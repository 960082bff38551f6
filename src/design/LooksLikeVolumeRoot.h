#pragma once

#include <QString>

namespace tw {

// Whether a path is the root of a volume, judged from its shape alone: "/" or
// a mount point where desktops put removable and extra drives,
// "/media/<user>/<name>" or "/run/media/<user>/<name>", without a trailing
// slash. Callers use it to choose a drive icon over a folder icon.
bool looksLikeVolumeRoot(const QString &path);

} // namespace tw
