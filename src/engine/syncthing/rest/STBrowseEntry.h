#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace tw {

// One entry of a folder's index at one level.
struct STBrowseEntry
{
    QString name;
    QString type;  // Syncthing's word for the entry's kind

    static STBrowseEntry fromJson(const QJsonObject &object);
    static QList<STBrowseEntry> listFromJson(const QByteArray &body);

    bool operator==(const STBrowseEntry &) const = default;
};

} // namespace tw
