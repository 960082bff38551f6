#pragma once

#include <QString>

namespace tw {

// Removes the temporary files a save of `storePath` left beside it when the
// process ended between writing and renaming ("<name>.XXXXXX": the file name,
// a dot and six letters or digits). The store itself is never touched. For
// start-up only, while no save of that store is under way.
void removeSaveLeftovers(const QString &storePath);

} // namespace tw
