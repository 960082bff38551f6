#include "projects/ProjectFolder.h"

#include "utilities/StrictJson.h"

#include <QJsonArray>
#include <QUuid>

namespace tw {

QString newRecordID()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QJsonObject ProjectFolder::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("id"), id);
    object.insert(QStringLiteral("label"), label);
    object.insert(QStringLiteral("localPath"), localPath);
    object.insert(QStringLiteral("syncEnabled"), syncEnabled);
    object.insert(QStringLiteral("ignorePatterns"), QJsonArray::fromStringList(ignorePatterns));
    object.insert(QStringLiteral("archiveDeletedFiles"), archiveDeletedFiles);
    object.insert(QStringLiteral("archiveRetentionDays"), archiveRetentionDays);
    object.insert(QStringLiteral("purgeProtected"), QJsonArray::fromStringList(purgeProtected));
    object.insert(QStringLiteral("syncMetadata"), syncMetadata);
    if (syncthingFolderID)
        object.insert(QStringLiteral("syncthingFolderID"), *syncthingFolderID);
    object.insert(QStringLiteral("excludedDeviceIDs"), QJsonArray::fromStringList(excludedDeviceIDs));
    object.insert(QStringLiteral("pausedDeviceIDs"), QJsonArray::fromStringList(pausedDeviceIDs));
    return object;
}

ProjectFolder ProjectFolder::fromJson(const QJsonObject &object)
{
    const StrictJson json(object);
    const auto list = [&json](const char *key, QStringList fallback) {
        return json.optionalStringList(QLatin1String(key)).value_or(fallback);
    };
    const auto flag = [&json](const char *key) { return json.optionalBoolean(QLatin1String(key)).value_or(true); };
    return {.id = json.optionalString(QStringLiteral("id")).value_or(newRecordID()),
            .label = json.string(QStringLiteral("label")),
            .localPath = json.string(QStringLiteral("localPath")),
            .syncEnabled = flag("syncEnabled"),
            .ignorePatterns = list("ignorePatterns", {QStringLiteral(".*")}),
            .archiveDeletedFiles = flag("archiveDeletedFiles"),
            .archiveRetentionDays = json.optionalInteger(QStringLiteral("archiveRetentionDays")).value_or(0),
            .purgeProtected = list("purgeProtected", {}),
            .syncMetadata = flag("syncMetadata"),
            .syncthingFolderID = json.optionalString(QStringLiteral("syncthingFolderID")),
            .excludedDeviceIDs = list("excludedDeviceIDs", {}),
            .pausedDeviceIDs = list("pausedDeviceIDs", {})};
}

} // namespace tw
