#pragma once

#include <QString>

namespace tw {

// A text for a place that holds one line: every line break, line or
// paragraph separator and other control character shown as a space. Names
// come from teammates' records and from pasting, and one holding a line
// break would take two lines and stretch its row.
QString oneLineText(QString text);

} // namespace tw
