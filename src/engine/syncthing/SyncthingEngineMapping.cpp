// The static record mappings of SyncthingEngine: wire records to model types
// and back. Pure and never failing.

#include "engine/syncthing/SyncthingEngine.h"
#include "engine/syncthing/rest/STXattrFilter.h"
#include "utilities/ParseDecimal.h"

#include <limits>

namespace tw {
namespace {

constexpr qint64 secondsPerDay = 86400;

// Syncthing's parameter texts: anything but a bare decimal integer within 64
// bits is unreadable.
qint64 parameter(const QMap<QString, QString> &params, const QString &key, qint64 fallback)
{
    const auto it = params.constFind(key);
    if (it == params.constEnd())
        return fallback;
    return parseDecimal(*it).value_or(fallback);
}

// Days to seconds, clamped to what 64 bits hold: callers never ask for more.
qint64 daysToSeconds(qint64 days)
{
    qint64 seconds = 0;
    if (__builtin_mul_overflow(days, secondsPerDay, &seconds))
        return days < 0 ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
    return seconds;
}

STVersioning versioningWith(const QString &type, const QString &key, qint64 value)
{
    return {type, QMap<QString, QString>{{key, QString::number(value)}}};
}

} // namespace

SyncFolder SyncthingEngine::mapFolder(const STFolderRead &folder)
{
    SyncFolder result;
    result.id = folder.id;
    result.label = folder.label.isEmpty() ? folder.id : folder.label;
    result.path = folder.path;
    result.mode = folderSyncModeFromRaw(folder.type).value_or(FolderSyncMode::SendReceive);
    result.isPaused = folder.paused;
    for (const STDeviceRef &device : folder.devices) {
        result.sharedDeviceIDs.append(device.deviceID);
        if (device.introducedBy && !device.introducedBy->isEmpty())
            result.introducedDeviceIDs.insert(device.deviceID);
    }
    result.versioning = mapVersioningBack(folder.versioning);
    result.syncMetadata = folder.syncXattrs.value_or(true);
    result.hasSyncedXattrFilter = folder.xattrFilter == STXattrFilter::syncedXattrs().toJson();
    return result;
}

STVersioning SyncthingEngine::mapVersioning(const VersioningPolicy &policy)
{
    switch (policy.kind()) {
    case VersioningPolicy::Kind::TrashCan:
        return versioningWith(QStringLiteral("trashcan"), QStringLiteral("cleanoutDays"), policy.value());
    case VersioningPolicy::Kind::Staggered:
        return versioningWith(QStringLiteral("staggered"), QStringLiteral("maxAge"), daysToSeconds(policy.value()));
    case VersioningPolicy::Kind::Simple:
        return versioningWith(QStringLiteral("simple"), QStringLiteral("keep"), policy.value());
    case VersioningPolicy::Kind::None:
        break;
    }
    return {QString(), std::nullopt};
}

VersioningPolicy SyncthingEngine::mapVersioningBack(const std::optional<STVersioning> &versioning)
{
    if (!versioning || versioning->type.isEmpty())
        return VersioningPolicy::none();
    const QMap<QString, QString> params = versioning->params.value_or(QMap<QString, QString>());
    const QString &type = versioning->type;
    if (type == QLatin1String("trashcan"))
        return VersioningPolicy::trashCan(parameter(params, QStringLiteral("cleanoutDays"), 0));
    if (type == QLatin1String("staggered"))
        return VersioningPolicy::staggered(parameter(params, QStringLiteral("maxAge"), 0) / secondsPerDay);
    if (type == QLatin1String("simple"))
        return VersioningPolicy::simple(parameter(params, QStringLiteral("keep"), 5));
    return VersioningPolicy::none();
}

FolderState SyncthingEngine::mapState(const std::optional<QString> &state)
{
    if (!state)
        return FolderState::Unknown;
    const QString &s = *state;
    if (s == QLatin1String("idle"))
        return FolderState::Idle;
    if (s == QLatin1String("scanning") || s == QLatin1String("scan-waiting"))
        return FolderState::Scanning;
    if (s == QLatin1String("syncing") || s == QLatin1String("sync-preparing") || s == QLatin1String("sync-waiting"))
        return FolderState::Syncing;
    if (s == QLatin1String("error") || s == QLatin1String("stopped"))
        return FolderState::Error;
    return FolderState::Unknown;
}

} // namespace tw
