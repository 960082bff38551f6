#pragma once

#include "cluster/CellState.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <optional>

namespace tw {

// One signed choice of the team record: the state of one device in one
// folder. The folder and device are the keys it is stored under, not fields.
struct ClusterCell
{
    CellState state = CellState::Active;
    qint64 lamport = 0;
    QString wallclock;       // UTC, whole seconds: "2024-05-01T09:30:00Z"
    QString authorDeviceID;  // the device that signed it
    QString sig;             // 64 lower-case hex digits

    bool operator==(const ClusterCell &) const = default;

    // Whether this cell replaces `mine` in a merge: higher Lamport value, then
    // greater wallclock text, then later state, then greater author. A
    // complete tie keeps mine; the signature takes no part.
    bool beats(const ClusterCell &mine) const;

    // The wallclock text of a moment, as every device writes it.
    static QString wallclockText(const QDateTime &moment);

    QJsonObject toJsonObject() const;
    // Every key present with its type and a known state; otherwise nothing.
    static std::optional<ClusterCell> fromJson(const QJsonValue &value);
};

} // namespace tw
