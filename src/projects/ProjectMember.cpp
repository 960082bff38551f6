#include "projects/ProjectMember.h"

#include "utilities/JsonDecodeError.h"
#include "utilities/StrictJson.h"

namespace tw {

QJsonObject ProjectMember::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("deviceID"), deviceID);
    object.insert(QStringLiteral("displayName"), displayName);
    object.insert(QStringLiteral("role"), memberRoleText(role));
    object.insert(QStringLiteral("isOwnDevice"), isOwnDevice);
    object.insert(QStringLiteral("isAlwaysOnNode"), isAlwaysOnNode);
    return object;
}

ProjectMember ProjectMember::fromJson(const QJsonObject &object)
{
    const StrictJson json(object);
    ProjectMember member{.deviceID = json.string(QStringLiteral("deviceID")),
                         .displayName = json.optionalString(QStringLiteral("displayName")).value_or(QString()),
                         .isOwnDevice = json.optionalBoolean(QStringLiteral("isOwnDevice")).value_or(false),
                         .isAlwaysOnNode = json.optionalBoolean(QStringLiteral("isAlwaysOnNode")).value_or(false)};
    if (const std::optional<QString> role = json.optionalString(QStringLiteral("role"))) {
        const std::optional<MemberRole> known = memberRoleFromText(*role);
        if (!known)
            throw JsonDecodeError(QStringLiteral("role: unknown role ") + *role);
        member.role = *known;
    }
    return member;
}

} // namespace tw
