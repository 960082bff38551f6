#pragma once

#include <QString>

namespace tw {

// Bytes on disk (lstat blocks x 512) of every entry below the directory that
// is not a directory itself, hidden ones included; links are counted as
// themselves and not followed. Directories are left out: ext4 gives each its
// own blocks, which no user would count as their data. 0 when the path is a
// link. Blocking: run it off the main thread.
qint64 allocatedSizeBelow(const QString &directory);

} // namespace tw
