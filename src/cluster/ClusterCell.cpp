#include "cluster/ClusterCell.h"

#include "utilities/StrictJson.h"

#include <tuple>

namespace tw {

bool ClusterCell::beats(const ClusterCell &mine) const
{
    return std::tie(lamport, wallclock, state, authorDeviceID)
        > std::tie(mine.lamport, mine.wallclock, mine.state, mine.authorDeviceID);
}

QString ClusterCell::wallclockText(const QDateTime &moment) { return moment.toUTC().toString(Qt::ISODate); }

QJsonObject ClusterCell::toJsonObject() const
{
    return {
        {QStringLiteral("authorDeviceID"), authorDeviceID},
        {QStringLiteral("lamport"), lamport},
        {QStringLiteral("sig"), sig},
        {QStringLiteral("state"), cellStateText(state)},
        {QStringLiteral("wallclock"), wallclock},
    };
}

std::optional<ClusterCell> ClusterCell::fromJson(const QJsonValue &value)
{
    try {
        const StrictJson json(StrictJson::toObject(value, QStringLiteral("cell")));
        const std::optional<CellState> state = cellStateFromText(json.string(QStringLiteral("state")));
        if (!state)
            return std::nullopt;
        return ClusterCell{
            .state = *state,
            .lamport = json.integer(QStringLiteral("lamport")),
            .wallclock = json.string(QStringLiteral("wallclock")),
            .authorDeviceID = json.string(QStringLiteral("authorDeviceID")),
            .sig = json.string(QStringLiteral("sig")),
        };
    } catch (const JsonDecodeError &) {
        return std::nullopt;
    }
}

} // namespace tw
