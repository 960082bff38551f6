#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <optional>

namespace tw {

// One archived version of a file.
struct STVersion
{
    QString versionTime;  // exactly as Syncthing writes it; names the version on restore
    std::optional<qint64> size;

    static STVersion fromJson(const QJsonObject &object);
    // A whole answer: file path (relative to the folder) to its versions.
    static QMap<QString, QList<STVersion>> mapFromJson(const QByteArray &body);

    bool operator==(const STVersion &) const = default;
};

} // namespace tw
