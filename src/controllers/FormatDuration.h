#pragma once

#include <QString>

namespace tw {

// The short approximate text of a time left that every view shows: "~55 s",
// "~2 min", "~1 h 30 min". Below a minute it rounds to 5 seconds (never less
// than "~5 s"); otherwise to whole minutes, with hours from 60 minutes on.
QString formatDuration(double seconds);

} // namespace tw
