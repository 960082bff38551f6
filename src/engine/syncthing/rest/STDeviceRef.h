#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>

namespace tw {

// One device a folder is shared with, as listed in the folder's configuration.
// Read in full (so that an edit of the list can write every entry back) and
// written inside folder writes.
struct STDeviceRef
{
    QString deviceID;
    // The introducer through which the share came; absent or empty when direct.
    std::optional<QString> introducedBy;
    std::optional<QString> encryptionPassword;

    static STDeviceRef fromJson(const QJsonObject &object);
    // Required key always, each optional only when present.
    QJsonObject toJson() const;

    bool operator==(const STDeviceRef &) const = default;
};

} // namespace tw
