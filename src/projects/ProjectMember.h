#pragma once

#include "projects/MemberRole.h"

#include <QJsonObject>
#include <QString>

namespace tw {

// One member device of a sync, identified by its device ID.
struct ProjectMember
{
    QString deviceID = {};
    QString displayName = {};
    MemberRole role = MemberRole::Editor;
    bool isOwnDevice = false;
    bool isAlwaysOnNode = false;

    bool operator==(const ProjectMember &) const = default;

    QJsonObject toJson() const;
    // Only "deviceID" is required; an unknown role or a value of the wrong
    // type throws JsonDecodeError.
    static ProjectMember fromJson(const QJsonObject &object);
};

} // namespace tw
