#pragma once

#include <QString>

namespace tw {

// Texts that carry names from other Macs, from files or from Syncthing, made
// to show as they are where Qt would read them otherwise.

// A tool tip: Qt draws a tip as rich text whenever it looks like markup, so
// such a text goes in escaped.
QString literalToolTip(const QString &text);
// A window title, on one line (oneLineText): "[*]" marks where a modified
// window shows its star, and "[*][*]" shows "[*]".
QString literalWindowTitle(QString text);

} // namespace tw
