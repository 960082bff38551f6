#include "cluster/CellState.h"

namespace tw {

QString cellStateText(CellState state)
{
    switch (state) {
    case CellState::Active:
        return QStringLiteral("active");
    case CellState::Paused:
        return QStringLiteral("paused");
    case CellState::Excluded:
        return QStringLiteral("excluded");
    }
    return {};
}

std::optional<CellState> cellStateFromText(const QString &text)
{
    for (CellState state : {CellState::Active, CellState::Paused, CellState::Excluded}) {
        if (cellStateText(state) == text)
            return state;
    }
    return std::nullopt;
}

} // namespace tw
