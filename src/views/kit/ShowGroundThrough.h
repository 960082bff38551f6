#pragma once

class QScrollArea;

namespace tw {

// Lets what lies behind a scroll area (the inspector's tint) show through:
// Qt fills a scroll area's content with the window colour. After its
// widget is set.
void showGroundThrough(QScrollArea &scroll);

} // namespace tw
