#pragma once

#include <QString>

class QPlainTextEdit;

namespace tw {

// A multi-line field of plain text in which Tab and Shift+Tab move the focus
// on, as they do from every other field: a tab typed there would sit unseen
// inside a line of the text, and the keyboard could not leave the field.
QPlainTextEdit *plainTextEditor(const QString &objectName);

} // namespace tw
