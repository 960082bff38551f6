#pragma once

namespace tw {

// The share of a circle a progress arc covers: the progress limited to 0…1,
// but never less than the minimum, so that a sync that has just begun still
// shows a visible stub rather than nothing.
double progressArc(double progress, double minimum);

} // namespace tw
