#pragma once

#include <QString>
#include <optional>

namespace tw {

// A device's part in one folder of the team record. The order of the cases is
// the merge's tie-break order: a later case wins.
enum class CellState { Active, Paused, Excluded };

// "active", "paused" or "excluded": the text stored in cluster.json.
QString cellStateText(CellState state);
// Nothing for any other text, letter case included.
std::optional<CellState> cellStateFromText(const QString &text);

} // namespace tw
