#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <optional>

namespace tw {

// A folder's versioning as Syncthing configures it. Empty type means none.
// Parameter values are decimal integers written as text.
struct STVersioning
{
    QString type;
    std::optional<QMap<QString, QString>> params;

    static STVersioning fromJson(const QJsonObject &object);
    QJsonObject toJson() const;

    bool operator==(const STVersioning &) const = default;
};

} // namespace tw
