#include "app/SyncHealth.h"

#include <cmath>

namespace tw {

bool SyncHealth::operator==(const SyncHealth &other) const
{
    return kind == other.kind && (kind != Kind::Syncing || progress == other.progress);
}

QString SyncHealth::label() const
{
    switch (kind) {
    case Kind::Syncing:
        return QStringLiteral("Syncing \u2026 %1 %").arg(std::llround(progress * 100));
    case Kind::Stopped:
        return QStringLiteral("Stopped");
    case Kind::AllSynced:
        return QStringLiteral("Everything synced");
    case Kind::Paused:
        return QStringLiteral("Paused");
    case Kind::Offline:
        return QStringLiteral("Drive offline");
    case Kind::Error:
        return QStringLiteral("Error \u2014 please check");
    case Kind::Waiting:
        return QStringLiteral("Waiting for other Macs");
    }
    return {};
}

} // namespace tw
