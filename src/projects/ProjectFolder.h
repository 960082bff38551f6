#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

namespace tw {

// One folder of a sync as this Mac sees it, identified by its own `id`.
struct ProjectFolder
{
    QString id = {};                 // a UUID string, the folder's identity within its sync
    QString label = {};
    QString localPath = {};
    bool syncEnabled = true;
    QStringList ignorePatterns{QStringLiteral(".*")};
    bool archiveDeletedFiles = true;
    qint64 archiveRetentionDays = 0;
    QStringList purgeProtected = {};
    bool syncMetadata = true;
    std::optional<QString> syncthingFolderID = {};  // absent until a reconcile pass created or adopted one
    QStringList excludedDeviceIDs = {};
    QStringList pausedDeviceIDs = {};

    bool operator==(const ProjectFolder &) const = default;

    // Every key; "syncthingFolderID" only when present.
    QJsonObject toJson() const;
    // "label" and "localPath" are required; a value of the wrong type throws
    // JsonDecodeError. A missing "id" becomes a new UUID string.
    static ProjectFolder fromJson(const QJsonObject &object);
};

// A new identifier for a sync or a folder: a UUID in upper-case canonical
// form.
QString newRecordID();

} // namespace tw
