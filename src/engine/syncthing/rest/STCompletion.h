#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <optional>

namespace tw {

// How complete a folder is on one device.
struct STCompletion
{
    std::optional<double> completion;  // percent, 0 to 100
    std::optional<qint64> needBytes;
    std::optional<qint64> needItems;
    // "valid" once the device's own cluster config shares the folder with
    // this one, unpaused: "unknown", "notSharing" or "paused" before.
    std::optional<QString> remoteState;
    // The newest sequence number of the device's index held here: 0 until
    // any of it has come.
    std::optional<qint64> sequence;

    static STCompletion fromJson(const QJsonObject &object);
    static STCompletion fromJsonBody(const QByteArray &body);

    bool operator==(const STCompletion &) const = default;
};

} // namespace tw
