#include "app/HealthRules.h"

#include <algorithm>
#include <optional>

namespace tw {
namespace {

// Other Macs count as synced from here on: their reports round and lag.
constexpr double syncedPercent = 99.95;
// 100 % is only ever shown as all synced.
constexpr double progressCap = 0.99;

FolderStatus statusOrUnknown(const QString &folderID, const HealthInputs &in)
{
    return in.folderStatuses.value(folderID, FolderStatus{.id = folderID});
}

bool isConnected(const QString &deviceID, const HealthInputs &in)
{
    const auto it = in.connections.constFind(deviceID);
    return it != in.connections.cend() && it->connected;
}

// A path without an entry counts as online.
bool markedOffline(const QString &path, const HealthInputs &in)
{
    const auto it = in.volumeOnline.constFind(path);
    return it != in.volumeOnline.cend() && !*it;
}

std::optional<SyncFolder> engineFolder(const QString &folderID, const HealthInputs &in)
{
    for (const SyncFolder &folder : in.engineFolders) {
        if (folder.id == folderID)
            return folder;
    }
    return std::nullopt;
}

std::optional<FolderDiagStatus> peerReport(const QString &deviceID, const QString &folderID, const HealthInputs &in)
{
    const auto device = in.peerReports.constFind(deviceID);
    if (device == in.peerReports.cend() || !device->contains(folderID))
        return std::nullopt;
    return device->value(folderID);
}

std::optional<double> completionEvent(const QString &folderID, const QString &deviceID, const HealthInputs &in)
{
    const auto folder = in.completion.constFind(folderID);
    if (folder == in.completion.cend() || !folder->contains(deviceID))
        return std::nullopt;
    return folder->value(deviceID);
}

// Byte counts are taken as doubles so that absurd values cannot overflow.
double reportPercent(const FolderDiagStatus &report)
{
    const double global = double(report.globalBytes);
    return (global - double(report.needBytes)) / global * 100;
}

bool isActive(const FolderStatus &status)
{
    return status.state == FolderState::Syncing || status.needBytes > 0;
}

double activeFraction(const FolderStatus &status)
{
    if (status.globalBytes >= 1) {
        const double global = double(status.globalBytes);
        return std::clamp((global - double(status.needBytes)) / global, 0.0, 1.0);
    }
    return status.needBytes > 0 ? 0.0 : 1.0;
}

// Whether the other Mac's index of a folder is here. Syncthing counts a Mac
// as taking part the moment it shares the folder, before its first scan has
// sent anything, and a folder whose global size is 0 as complete on every
// Mac: only some of its index having come, or its own report resting on the
// size counted here, says the folder is known. An empty folder sends no
// index, so there the report is all there is.
bool indexIn(const QString &folderID, const QString &deviceID, const HealthInputs &in)
{
    const auto participants = in.participants.constFind(folderID);
    if (participants == in.participants.cend() || !participants->contains(deviceID))
        return false;
    // An always-on node sends no report: taking part is all it can show.
    if (participants->value(deviceID) > 0 || in.nodeDeviceIDs.contains(deviceID))
        return true;
    const std::optional<FolderDiagStatus> report = peerReport(deviceID, folderID, in);
    return report && report->state == QLatin1String("idle")
           && report->globalBytes == statusOrUnknown(folderID, in).globalBytes;
}

// Whether this Mac holds the other Mac's index of a folder it counts empty,
// and the other Mac needs nothing of it nor reports content of its own.
bool indexExchanged(const QString &folderID, const QString &deviceID, const HealthInputs &in)
{
    const std::optional<FolderDiagStatus> report = peerReport(deviceID, folderID, in);
    if (report && report->globalBytes >= 1)
        return false;
    return indexIn(folderID, deviceID, in) && completionEvent(folderID, deviceID, in).value_or(0) >= syncedPercent;
}

// Whether nothing can tell if the other Mac has content of a folder that
// is empty here. Syncthing tells neither an empty folder's index nor the
// first scan still under way: in both, the other Mac takes part with an
// index of sequence 0 and needs nothing. Only its own report tells them
// apart, and where that does not reach (another network, a relay, LAN
// diagnostics off), neither "synced" nor "syncing" would be true.
bool indexUntold(const QString &folderID, const QString &deviceID, const HealthInputs &in)
{
    return in.participants.value(folderID).value(deviceID, -1) == 0 && !in.nodeDeviceIDs.contains(deviceID)
           && !peerReport(deviceID, folderID, in) && completionEvent(folderID, deviceID, in).value_or(0) >= syncedPercent;
}

// How an empty folder stands with the connected Macs it is shared with.
// Data is coming while one has not taken it or its index is known not to be
// here yet: until that index has come, nothing says the folder is really
// empty.
enum class EmptyStanding { Settled, Untold, Coming };

EmptyStanding emptyStanding(const QString &folderID, const HealthInputs &in)
{
    const auto status = in.folderStatuses.constFind(folderID);
    const auto folder = engineFolder(folderID, in);
    if ((status != in.folderStatuses.cend() && status->globalBytes != 0) || !folder)
        return EmptyStanding::Settled;
    // Syncthing counts nothing of a first scan until it ends: what this Mac
    // is still hashing has reached no one yet. A count older than another
    // Mac's index says nothing of it.
    const bool notCounted = (status != in.folderStatuses.cend() && status->state == FolderState::Scanning)
                            || in.unreadStatuses.contains(folderID);
    EmptyStanding standing = EmptyStanding::Settled;
    for (const QString &id : folder->sharedDeviceIDs) {
        if (id == in.localDeviceID || !isConnected(id, in))
            continue;
        if (notCounted)
            return EmptyStanding::Coming;
        if (indexExchanged(folderID, id, in))
            continue;
        if (!indexUntold(folderID, id, in))
            return EmptyStanding::Coming;
        standing = EmptyStanding::Untold;
    }
    return standing;
}

SyncHealth peerProgress(double percent)
{
    if (percent >= syncedPercent)
        return SyncHealth::allSynced();
    return SyncHealth::syncing(std::clamp(percent / 100, 0.0, progressCap));
}

bool blocksDevice(const ProjectFolder &folder, const QString &deviceID)
{
    return folder.excludedDeviceIDs.contains(deviceID) || folder.pausedDeviceIDs.contains(deviceID);
}

QStringList engineFolderIDs(const Project &project)
{
    QStringList ids;
    for (const ProjectFolder &folder : project.folders) {
        if (folder.syncthingFolderID)
            ids << *folder.syncthingFolderID;
    }
    return ids;
}

bool anyEnabledOffline(const Project &project, const HealthInputs &in)
{
    return std::any_of(project.folders.cbegin(), project.folders.cend(), [&](const ProjectFolder &folder) {
        return folder.syncEnabled && markedOffline(folder.localPath, in);
    });
}

SyncHealth runningOrStopped(SyncHealth whileRunning, const HealthInputs &in)
{
    return in.engineRunning ? whileRunning : SyncHealth::stopped();
}

double folderWeight(const ProjectFolder &folder, const HealthInputs &in)
{
    if (!folder.syncthingFolderID || !in.folderStatuses.contains(*folder.syncthingFolderID))
        return 1;
    return double(std::max<qint64>(in.folderStatuses.value(*folder.syncthingFolderID).globalBytes, 1));
}

double healthValue(const SyncHealth &health)
{
    if (health.kind == SyncHealth::Kind::Syncing)
        return std::clamp(health.progress, 0.0, 1.0);
    return health.kind == SyncHealth::Kind::AllSynced ? 1 : 0;
}

struct FolderOutcome
{
    const ProjectFolder *folder;
    SyncHealth health;
};

bool anyOf(const QList<FolderOutcome> &outcomes, SyncHealth::Kind kind)
{
    return std::any_of(outcomes.cbegin(), outcomes.cend(), [&](const FolderOutcome &o) { return o.health.kind == kind; });
}

bool allOf(const QList<FolderOutcome> &outcomes, std::initializer_list<SyncHealth::Kind> kinds)
{
    return std::all_of(outcomes.cbegin(), outcomes.cend(), [&](const FolderOutcome &o) {
        return std::find(kinds.begin(), kinds.end(), o.health.kind) != kinds.end();
    });
}

SyncHealth combine(const QList<FolderOutcome> &outcomes, bool thisMac, const HealthInputs &in)
{
    // A stopped engine outranks everything on this Mac, as in the core rule.
    if (thisMac && anyOf(outcomes, SyncHealth::Kind::Stopped))
        return SyncHealth::stopped();
    if (anyOf(outcomes, SyncHealth::Kind::Error))
        return SyncHealth::error();
    if (anyOf(outcomes, SyncHealth::Kind::Offline))
        return SyncHealth::offline();
    if (allOf(outcomes, {SyncHealth::Kind::AllSynced}))
        return SyncHealth::allSynced();
    if (allOf(outcomes, {SyncHealth::Kind::AllSynced, SyncHealth::Kind::Waiting}))
        return SyncHealth::waiting();
    double weighted = 0;
    double weights = 0;
    for (const FolderOutcome &o : outcomes) {
        const double weight = folderWeight(*o.folder, in);
        weighted += weight * healthValue(o.health);
        weights += weight;
    }
    return SyncHealth::syncing(std::min(weighted / weights, progressCap));
}

} // namespace

SyncHealth health(const QStringList &folderIDs, bool offline, const HealthInputs &in)
{
    if (!in.engineRunning)
        return SyncHealth::stopped();
    if (in.allPaused)
        return SyncHealth::paused();
    QList<FolderStatus> statuses;
    for (const QString &id : folderIDs)
        statuses << statusOrUnknown(id, in);
    // Items the engine failed to sync stay out of step while it retries:
    // neither "syncing" (it may need no bytes) nor "synced".
    if (std::any_of(statuses.cbegin(), statuses.cend(), [](const FolderStatus &s) { return s.hasErrors(); }))
        return SyncHealth::error();
    double fractions = 0;
    int active = 0;
    for (const FolderStatus &status : statuses) {
        if (isActive(status)) {
            fractions += activeFraction(status);
            ++active;
        }
    }
    if (active > 0)
        return SyncHealth::syncing(std::min(fractions / active, progressCap));
    const bool anyUnknown = std::any_of(statuses.cbegin(), statuses.cend(),
                                        [](const FolderStatus &s) { return s.state == FolderState::Unknown; });
    QList<EmptyStanding> standings;
    for (const QString &id : folderIDs)
        standings << emptyStanding(id, in);
    if (anyUnknown || standings.contains(EmptyStanding::Coming))
        return SyncHealth::syncing(0);
    if (offline)
        return SyncHealth::offline();
    return standings.contains(EmptyStanding::Untold) ? SyncHealth::waiting() : SyncHealth::allSynced();
}

SyncHealth projectHealth(const Project &project, const HealthInputs &in)
{
    const QStringList ids = engineFolderIDs(project);
    if (anyEnabledOffline(project, in))
        return health(ids, true, in);
    if (ids.isEmpty())
        return runningOrStopped(SyncHealth::allSynced(), in);
    return health(ids, false, in);
}

SyncHealth globalSyncHealth(const HealthInputs &in)
{
    QStringList ids;
    for (const SyncFolder &folder : in.engineFolders)
        ids << folder.id;
    const bool offline = std::any_of(in.projects.cbegin(), in.projects.cend(),
                                     [&](const Project &project) { return anyEnabledOffline(project, in); });
    return health(ids, offline, in);
}

bool failingInScope(const HealthInputs &in, const std::optional<QString> &projectID)
{
    QStringList ids;
    if (!projectID) {
        for (const SyncFolder &folder : in.engineFolders)
            ids << folder.id;
    } else {
        const auto project = std::find_if(in.projects.cbegin(), in.projects.cend(),
                                          [&](const Project &p) { return p.id == *projectID; });
        if (project != in.projects.cend())
            ids = engineFolderIDs(*project);
    }
    // The core rule is where failed items and a folder stopped in error make
    // an error; the drive being offline does not matter here.
    return health(ids, false, in).kind == SyncHealth::Kind::Error;
}

SyncHealth folderHealth(const ProjectFolder &folder, const HealthInputs &in)
{
    if (!folder.syncEnabled)
        return SyncHealth::paused();
    if (markedOffline(folder.localPath, in))
        return SyncHealth::offline();
    if (folder.syncthingFolderID)
        return health({*folder.syncthingFolderID}, false, in);
    return runningOrStopped(SyncHealth::syncing(0), in);
}

SyncHealth folderHealthOnDevice(const ProjectFolder &folder, const QString &deviceID, const HealthInputs &in)
{
    if (deviceID == in.localDeviceID)
        return folderHealth(folder, in);
    if (blocksDevice(folder, deviceID))
        return SyncHealth::paused();
    if (!isConnected(deviceID, in))
        return SyncHealth::offline();
    if (!folder.syncthingFolderID)
        return SyncHealth::syncing(0);
    const SyncHealth progress = peerProgress(effectivePeerCompletion(*folder.syncthingFolderID, deviceID, in));
    // A Mac that has not taken the folder, or whose index of it has not come,
    // is complete only by Syncthing's count of nothing.
    if (progress.kind == SyncHealth::Kind::AllSynced && !indexIn(*folder.syncthingFolderID, deviceID, in))
        return indexUntold(*folder.syncthingFolderID, deviceID, in) ? SyncHealth::waiting() : SyncHealth::syncing(0);
    return progress;
}

SyncHealth deviceHealth(const Project &project, const QString &deviceID, const HealthInputs &in)
{
    const bool thisMac = deviceID == in.localDeviceID;
    if (!thisMac && !isConnected(deviceID, in))
        return SyncHealth::offline();
    if (thisMac && in.allPaused)
        return SyncHealth::paused();
    if (project.folders.isEmpty())
        return runningOrStopped(SyncHealth::allSynced(), in);
    QList<FolderOutcome> outcomes;
    bool switchedOff = false;
    for (const ProjectFolder &folder : project.folders) {
        // On this Mac a folder switched off is left out like an excluded one:
        // counted as nothing done, it would hold the progress down for good.
        const bool off = thisMac && !folder.syncEnabled;
        switchedOff = switchedOff || off;
        if (!off && !blocksDevice(folder, deviceID))
            outcomes << FolderOutcome{&folder, folderHealthOnDevice(folder, deviceID, in)};
    }
    if (outcomes.isEmpty())
        return switchedOff ? SyncHealth::paused() : SyncHealth::allSynced();
    return combine(outcomes, thisMac, in);
}

std::optional<double> reportedCompletion(const FolderDiagStatus &report)
{
    if (report.globalBytes < 1)
        return std::nullopt;
    return std::clamp(reportPercent(report), 0.0, 100.0);
}

double effectivePeerCompletion(const QString &folderID, const QString &deviceID, const HealthInputs &in)
{
    if (const auto report = peerReport(deviceID, folderID, in))
        if (const auto percent = reportedCompletion(*report))
            return *percent;
    return completionEvent(folderID, deviceID, in).value_or(0);
}

namespace {

// Whether the member is measurably behind; none when nothing is known of it.
std::optional<bool> memberBehind(const QString &folderID, const QString &deviceID, const HealthInputs &in)
{
    if (const auto report = peerReport(deviceID, folderID, in))
        if (const auto percent = reportedCompletion(*report))
            return *percent < syncedPercent;
    if (const auto percent = completionEvent(folderID, deviceID, in))
        return *percent < syncedPercent;
    return std::nullopt;
}

bool folderCatchingUp(const Project &project, const QString &folderID, const HealthInputs &in)
{
    return std::any_of(project.members.cbegin(), project.members.cend(), [&](const ProjectMember &member) {
        return member.deviceID != in.localDeviceID && isConnected(member.deviceID, in)
            && memberBehind(folderID, member.deviceID, in).value_or(false);
    });
}

} // namespace

bool teamCatchingUp(const QStringList &folderIDs, const HealthInputs &in)
{
    for (const Project &project : in.projects) {
        for (const ProjectFolder &folder : project.folders) {
            if (folder.syncthingFolderID && folderIDs.contains(*folder.syncthingFolderID)
                && folderCatchingUp(project, *folder.syncthingFolderID, in))
                return true;
        }
    }
    return false;
}

bool projectTeamCatchingUp(const Project &project, const HealthInputs &in)
{
    return teamCatchingUp(engineFolderIDs(project), in);
}

namespace {

QString engineDeviceName(const QString &deviceID, const HealthInputs &in)
{
    for (const SyncDevice &device : in.devices) {
        if (device.id == deviceID)
            return device.name;
    }
    return QStringLiteral("Device");
}

} // namespace

QList<ProjectDeviceRef> projectDevices(const Project &project, const HealthInputs &in)
{
    const QString ownName = in.deviceName.isEmpty() ? QStringLiteral("This Mac") : in.deviceName;
    QList<ProjectDeviceRef> refs{{in.localDeviceID, ownName, true, false}};
    QSet<QString> listed{in.localDeviceID};
    const auto isNew = [&](const QString &id) { return !id.isEmpty() && !listed.contains(id); };
    for (const ProjectMember &member : project.members) {
        if (!isNew(member.deviceID))
            continue;
        const bool node = member.isAlwaysOnNode || in.nodeDeviceIDs.contains(member.deviceID);
        refs << ProjectDeviceRef{member.deviceID, member.displayName, false, node};
        listed << member.deviceID;
    }
    for (const QString &folderID : engineFolderIDs(project)) {
        const auto folder = engineFolder(folderID, in);
        for (const QString &id : folder ? folder->sharedDeviceIDs : QStringList{}) {
            if (!isNew(id))
                continue;
            refs << ProjectDeviceRef{id, engineDeviceName(id, in), false, in.nodeDeviceIDs.contains(id)};
            listed << id;
        }
    }
    return refs;
}

} // namespace tw
