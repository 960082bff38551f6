#pragma once

#include <QString>

namespace tw {

// Empties the clipboard, then puts the one plain text on it.
void copyPlainText(const QString &text);

} // namespace tw
