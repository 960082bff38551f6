#pragma once

#include <QString>

namespace tw {

// Puts one plain-text item on the clipboard in place of whatever it held
// (rich text, images and other formats included).
void copyPlainText(const QString &text);

} // namespace tw
