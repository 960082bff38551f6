#include "app/texts/HealthBadge.h"

#include <cmath>

namespace tw {

HealthBadge healthBadge(const SyncHealth &health)
{
    using Kind = SyncHealth::Kind;
    switch (health.kind) {
    case Kind::Syncing:
        return {QStringLiteral("Syncing %1%").arg(std::llround(health.progress * 100)), QStringLiteral("#ff9f0a")};
    case Kind::Stopped:
        return {QStringLiteral("Stopped"), QStringLiteral("#8e8e93")};
    case Kind::AllSynced:
        return {QStringLiteral("Synced"), QStringLiteral("#34c759")};
    case Kind::Paused:
        return {QStringLiteral("Paused"), QStringLiteral("#ff9f0a")};
    case Kind::Offline:
        return {QStringLiteral("Drive offline"), QStringLiteral("#8e8e93")};
    case Kind::Error:
        return {QStringLiteral("Error"), QStringLiteral("#ff3b30")};
    case Kind::Waiting:
        return {QStringLiteral("Waiting"), QStringLiteral("#ff9f0a")};
    }
    return {};
}

} // namespace tw
