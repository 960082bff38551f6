#include "projects/MemberRole.h"

namespace tw {

QString memberRoleText(MemberRole role)
{
    switch (role) {
    case MemberRole::Editor:
        return QStringLiteral("editor");
    case MemberRole::Viewer:
        return QStringLiteral("viewer");
    case MemberRole::Seed:
        return QStringLiteral("seed");
    }
    return {};
}

std::optional<MemberRole> memberRoleFromText(const QString &text)
{
    for (const MemberRole role : allMemberRoles)
        if (memberRoleText(role) == text)
            return role;
    return std::nullopt;
}

} // namespace tw
