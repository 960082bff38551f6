#pragma once

#include <QString>

namespace tw {

// A text for a button, check box or group title, where a lone "&" would mark
// the next letter as a shortcut and vanish: every "&" shown as itself, on
// the one line such a title has (oneLineText).
QString literalAmpersands(QString text);

} // namespace tw
