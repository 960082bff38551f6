#pragma once

#include <QString>

namespace tw {

// A byte count as every view shows it: decimal units in the user's locale,
// whole numbers below 1 MB, one decimal below 1 GB, two from there on.
QString formatFileSize(qint64 bytes);

} // namespace tw
