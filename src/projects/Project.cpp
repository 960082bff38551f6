#include "projects/Project.h"

#include "utilities/StrictJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTimeZone>
#include <cmath>

namespace tw {
namespace {

const QDateTime &referenceDate()
{
    static const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    return reference;
}

template <typename Record, typename Decode>
QList<Record> decodeArray(const QJsonArray &array, const QString &what, Decode decode)
{
    QList<Record> records;
    for (const QJsonValue &value : array)
        records.append(decode(StrictJson::toObject(value, what)));
    return records;
}

} // namespace

MemberRole Project::ownRole() const
{
    for (const ProjectMember &member : members)
        if (member.isOwnDevice)
            return member.role;
    return MemberRole::Editor;
}

std::optional<ProjectMember> Project::alwaysOnNode() const
{
    for (const ProjectMember &member : members)
        if (member.isAlwaysOnNode)
            return member;
    return std::nullopt;
}

QJsonObject Project::toJson() const
{
    QJsonArray memberArray;
    for (const ProjectMember &member : members)
        memberArray.append(member.toJson());
    QJsonArray folderArray;
    for (const ProjectFolder &folder : folders)
        folderArray.append(folder.toJson());
    QJsonObject object;
    object.insert(QStringLiteral("id"), id);
    object.insert(QStringLiteral("name"), name);
    if (colorHex)
        object.insert(QStringLiteral("colorHex"), *colorHex);
    object.insert(QStringLiteral("members"), memberArray);
    object.insert(QStringLiteral("folders"), folderArray);
    object.insert(QStringLiteral("createdAt"), referenceDate().msecsTo(createdAt) / 1000.0);
    return object;
}

Project Project::fromJson(const QJsonObject &object, const QDateTime &now)
{
    const StrictJson json(object);
    const QJsonArray memberArray = json.optionalArray(QStringLiteral("members")).value_or(QJsonArray());
    const QJsonArray folderArray = json.optionalArray(QStringLiteral("folders")).value_or(QJsonArray());
    const std::optional<double> created = json.optionalNumber(QStringLiteral("createdAt"));
    return {.id = json.optionalString(QStringLiteral("id")).value_or(newRecordID()),
            .name = json.string(QStringLiteral("name")),
            .colorHex = json.optionalString(QStringLiteral("colorHex")),
            .members = decodeArray<ProjectMember>(memberArray, QStringLiteral("member"), &ProjectMember::fromJson),
            .folders = decodeArray<ProjectFolder>(folderArray, QStringLiteral("folder"), &ProjectFolder::fromJson),
            .createdAt = created ? referenceDate().addMSecs(std::llround(*created * 1000.0)) : now};
}

QByteArray Project::listToFile(const QList<Project> &projects)
{
    QJsonArray array;
    for (const Project &project : projects)
        array.append(project.toJson());
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

QList<Project> Project::listFromFile(const QByteArray &body, const QDateTime &now)
{
    return decodeArray<Project>(StrictJson::parseArray(body), QStringLiteral("sync"),
                                [&now](const QJsonObject &object) { return fromJson(object, now); });
}

} // namespace tw
