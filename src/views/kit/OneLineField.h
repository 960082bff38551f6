#pragma once

class QLineEdit;

namespace tw {

// Keeps the text of a one-line field of a name on one line: a line break,
// tab or other control character pasted or dropped into it becomes a space
// (oneLineText), as the field already drew it. Its text is what is sent
// as the name, and a line break in it reached the other Macs. A text of
// nothing but blanks and line breaks stays as typed.
void keepOnOneLine(QLineEdit &field);

} // namespace tw
