#pragma once

class QWidget;

namespace tw {

// Makes the sheet as wide as given and, from now on, as high as its content
// needs at that width, also after that content changed (a chosen place
// explained, an error shown). A window's own layout gives wrapping text no
// height for its width: Qt lets such a window take any height, and it kept
// the height of its first showing.
void setSheetWidth(QWidget &sheet, int width);

} // namespace tw
