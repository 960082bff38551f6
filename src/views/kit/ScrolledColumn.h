#pragma once

class QVBoxLayout;
class QWidget;

namespace tw {

// Fills the panel with a frameless area that scrolls up and down, and
// answers the column of its content. A form may be taller than the
// inspector has room for: it scrolls rather than squeezing its wrapped
// texts, whose last lines would be cut.
QVBoxLayout *scrolledColumn(QWidget &panel, const char *scrollName);

} // namespace tw
