#pragma once

class QSaveFile;

namespace tw {

// Opens a save for writing with the new file readable by its owner alone:
// stores that hold tokens or a user's reports must not be world-readable,
// whatever the umask and whatever mode an older copy of the file had.
bool openOwnerOnly(QSaveFile &file);

} // namespace tw
