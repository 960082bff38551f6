#pragma once

#include "projects/MemberRole.h"
#include "projects/ProjectFolder.h"
#include "projects/ProjectMember.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

namespace tw {

// One sync: a named group of folders kept identical on its member Macs.
// Identified by `id`; the element of projects.json.
struct Project
{
    QString id = {};
    QString name = {};
    std::optional<QString> colorHex = {};
    QList<ProjectMember> members = {};
    QList<ProjectFolder> folders = {};
    QDateTime createdAt = {};

    bool operator==(const Project &) const = default;

    // The role of the first member marked as this Mac; editor without one.
    MemberRole ownRole() const;
    // The first member marked as the always-on node.
    std::optional<ProjectMember> alwaysOnNode() const;

    // Dates as seconds since 2001; "colorHex" only when present.
    QJsonObject toJson() const;
    // "name" is required; a value of the wrong type throws JsonDecodeError.
    // A missing "createdAt" is `now`, a missing "id" a new UUID string.
    static Project fromJson(const QJsonObject &object, const QDateTime &now);

    // The content of projects.json: a compact array in list order.
    static QByteArray listToFile(const QList<Project> &projects);
    // Throws JsonDecodeError unless the whole body decodes.
    static QList<Project> listFromFile(const QByteArray &body, const QDateTime &now);
};

} // namespace tw
