#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

namespace tw {

// Which computers changed an item, by the engine's index of it. Devices are
// named by their short IDs (the first 7 characters of a device ID).
struct ItemOrigin
{
    // Every device that ever changed the item, by the version held here,
    // and the one that changed it first (its counter, a moment, the least;
    // none when two changed it in the same second).
    QStringList changedBy;
    QString firstChangedBy;
    // The device whose version is the current one everywhere, and the time
    // that version gives the item (whole seconds since 1970).
    QString lastChangedBy;
    std::optional<qint64> modified;
    // The user extended attributes that version carries, by name, where its
    // sender sends them: what a drive that keeps none cannot show.
    QHash<QString, QByteArray> attributes = {};

    bool operator==(const ItemOrigin &) const = default;
};

} // namespace tw
