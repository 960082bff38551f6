#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <optional>

namespace tw {

// Syncthing's status of one folder on this device.
struct STFolderStatus
{
    std::optional<QString> state;
    std::optional<qint64> globalBytes;
    std::optional<qint64> localBytes;
    std::optional<qint64> needBytes;
    std::optional<qint64> errors;
    std::optional<QString> error;
    std::optional<qint64> needFiles;

    static STFolderStatus fromJson(const QJsonObject &object);
    static STFolderStatus fromJsonBody(const QByteArray &body);

    bool operator==(const STFolderStatus &) const = default;
};

} // namespace tw
