#pragma once

#include <QString>
#include <array>
#include <optional>

namespace tw {

// What a member may do with a sync. Stored as its text.
enum class MemberRole { Editor, Viewer, Seed };

inline constexpr std::array<MemberRole, 3> allMemberRoles{MemberRole::Editor, MemberRole::Viewer, MemberRole::Seed};

// "editor", "viewer" or "seed".
QString memberRoleText(MemberRole role);
// Exact and case-sensitive; nothing for any other text.
std::optional<MemberRole> memberRoleFromText(const QString &text);

} // namespace tw
