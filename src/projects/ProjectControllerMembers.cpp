// Members of a sync and the per-Mac states of single folders, from the views
// and from the team record.

#include "projects/ProjectController.h"

#include "cluster/BounceRecord.h"
#include "cluster/NasNodeController.h"
#include "engine/PlatformError.h"
#include "engine/SyncEngine.h"
#include "engine/model/NormalizedDeviceID.h"
#include "utilities/IsolatedName.h"

#include <QSet>

namespace tw {
namespace {

bool hasMember(const Project &project, const QString &deviceID)
{
    return std::any_of(project.members.cbegin(), project.members.cend(),
                       [&deviceID](const ProjectMember &member) { return member.deviceID == deviceID; });
}

QStringList listFrom(const QSet<QString> &set)
{
    QStringList list = set.values();
    list.sort();
    return list;
}

// Lifts the device from both lists of every folder; answers the engine
// folder IDs of the folders that held it.
QStringList release(Project &project, const QString &deviceID)
{
    QStringList released;
    for (ProjectFolder &folder : project.folders) {
        const bool held = folder.excludedDeviceIDs.contains(deviceID) || folder.pausedDeviceIDs.contains(deviceID);
        folder.excludedDeviceIDs.removeAll(deviceID);
        folder.pausedDeviceIDs.removeAll(deviceID);
        if (held && folder.syncthingFolderID)
            released.append(*folder.syncthingFolderID);
    }
    return released;
}

// The devices (canonical IDs) that cells of the sync's authors keep in any of
// its folders; an excluded device is kept out.
QSet<QString> keptByAuthors(const Project &project, const ClusterConfig &config, const QSet<QString> &authors)
{
    QSet<QString> kept;
    for (const ProjectFolder &folder : project.folders) {
        const ClusterConfig::Cells cells = folder.syncthingFolderID ? config.folders.value(*folder.syncthingFolderID)
                                                                    : ClusterConfig::Cells();
        for (auto cell = cells.cbegin(); cell != cells.cend(); ++cell)
            if (authors.contains(cell->authorDeviceID) && cell->state != CellState::Excluded)
                kept.insert(canonical(cell.key()));
    }
    return kept;
}

} // namespace

QCoro::Task<void> ProjectController::addMember(QString projectID, QString deviceID, QString name, MemberRole role,
                                               bool isOwn, std::optional<QStringList> addresses)
{
    // Typed or pasted IDs come in every form the engine reads; it stores one.
    const QString id = normalizedDeviceID(deviceID).value_or(deviceID.trimmed());
    const std::optional<Project> before = project(projectID);
    if (!before || id.isEmpty() || hasMember(*before, id))
        co_return;
    QString ownID;
    try {
        ownID = co_await m_engine.localDeviceID();
    } catch (const std::exception &) {
    }
    const bool isThisMac = !ownID.isEmpty() && canonical(ownID) == canonical(id);
    if (!isThisMac) {
        const NewDeviceRequest request{.id = id, .name = name, .addresses = addresses, .introducer = false};
        try {
            co_await ensureDevice(request);
        } catch (const std::exception &) {
            setLastErrorMessage(QStringLiteral("Couldn't add ") + isolatedName(name) +
                                QStringLiteral(" to Syncthing \u2014 check the connection and try again."));
            co_return;
        }
    }
    const std::optional<Project> now = project(projectID);
    if (!now || hasMember(*now, id))
        co_return;
    QStringList released;
    editProject(projectID, [&](Project &project) {
        project.members.append({.deviceID = id,
                                .displayName = name,
                                .role = role,
                                .isOwnDevice = isThisMac || isOwn,
                                .isAlwaysOnNode = false});
        released = release(project, id);
    });
    save();
    const std::optional<QString> failure = co_await announceMembers(released, id, CellState::Active);
    co_await reconcileAll();
    if (failure)
        setLastErrorMessage(failure);
    if (!released.isEmpty())
        co_await bounceDeviceConnection(id, released);
}

QCoro::Task<void> ProjectController::addNasNode(QString projectID)
{
    const std::optional<NasNode> node = firstNode();
    const std::optional<Project> found = project(projectID);
    if (!node || !found || hasMember(*found, node->deviceID))
        co_return;
    editProject(projectID, [&node](Project &project) { project.members.append(nodeMember(*node)); });
    save();
    const NewDeviceRequest request = nodeDevice(*node);
    try {
        co_await ensureDevice(request);
    } catch (const std::exception &) {
    }
    co_await reconcileAll();
}

QCoro::Task<QStringList> ProjectController::removeMember(QString projectID, QString deviceID)
{
    QStringList engineIDs;
    const bool found = editProject(projectID, [&](Project &project) {
        project.members.removeIf([&deviceID](const ProjectMember &member) { return member.deviceID == deviceID; });
        for (ProjectFolder &folder : project.folders) {
            if (!folder.excludedDeviceIDs.contains(deviceID))
                folder.excludedDeviceIDs.append(deviceID);
            folder.pausedDeviceIDs.removeAll(deviceID);
            if (folder.syncthingFolderID)
                engineIDs.append(*folder.syncthingFolderID);
        }
    });
    if (!found)
        co_return QStringList();
    save();
    const std::optional<QString> failure = co_await announceMembers(engineIDs, deviceID, CellState::Excluded);
    co_await reconcileAll();
    if (failure)
        setLastErrorMessage(failure);
    co_return QStringList(engineIDs);
}

void ProjectController::renameMember(const QString &projectID, const QString &deviceID, const QString &name)
{
    const QString trimmed = name.trimmed();
    const std::optional<Project> found = project(projectID);
    if (trimmed.isEmpty() || !found || !hasMember(*found, deviceID))
        return;
    editProject(projectID, [&](Project &project) {
        for (ProjectMember &member : project.members)
            if (member.deviceID == deviceID) {
                member.displayName = trimmed;
                break;
            }
    });
    save();
}

QCoro::Task<std::optional<QString>> ProjectController::setFolderDeviceState(QString projectID, QString folderID,
                                                                            QString deviceID, bool excluded,
                                                                            bool paused)
{
    const std::optional<ProjectFolder> before = folderOf(projectID, folderID);
    if (!before)
        co_return std::nullopt;
    const bool held = before->excludedDeviceIDs.contains(deviceID) || before->pausedDeviceIDs.contains(deviceID);
    editFolder(projectID, folderID, [&](ProjectFolder &folder) {
        QSet<QString> exclusions(folder.excludedDeviceIDs.cbegin(), folder.excludedDeviceIDs.cend());
        QSet<QString> pauses(folder.pausedDeviceIDs.cbegin(), folder.pausedDeviceIDs.cend());
        excluded ? void(exclusions.insert(deviceID)) : void(exclusions.remove(deviceID));
        paused ? void(pauses.insert(deviceID)) : void(pauses.remove(deviceID));
        folder.excludedDeviceIDs = listFrom(exclusions);
        folder.pausedDeviceIDs = listFrom(pauses);
    });
    const std::optional<QString> engineID = before->syncthingFolderID;
    save();
    co_await reconcileAll();
    if (held && !excluded && !paused && engineID) {
        const QStringList folders{*engineID};
        co_await bounceDeviceConnection(deviceID, folders);
    }
    co_return std::optional<QString>(engineID);
}

// A failure to pass the change on must not cost the pass and the bounce; its
// text outlives the pass, which would clear it.
QCoro::Task<std::optional<QString>> ProjectController::announceMembers(QStringList engineIDs, QString deviceID,
                                                                       CellState state)
{
    const MembersDidChange callback = m_membersDidChange;
    std::optional<QString> failure;
    try {
        if (callback)
            co_await callback(engineIDs, deviceID, state);
    } catch (const std::exception &error) {
        failure = describeError(error);
    }
    co_return failure;
}

// An interrupted sleep only shortens the wait.
QCoro::Task<void> ProjectController::pause(std::chrono::milliseconds duration)
{
    try {
        co_await m_sleeper(duration);
    } catch (...) {
    }
}

// Pausing and resuming the device makes both ends connect afresh, so that a
// Mac given folders back asks for them at once. The bounce is recorded from
// before the pause until the resume went through.
QCoro::Task<void> ProjectController::bounceDeviceConnection(QString deviceID, QStringList folderIDs)
{
    if (deviceID.isEmpty() || folderIDs.isEmpty())
        co_return;
    const QPointer<ProjectController> self(this);
    const BounceRecord::Entry bounce{deviceID, QString()};
    try {
        const QList<SyncDevice> devices = co_await m_engine.devices();
        const auto device = std::find_if(devices.cbegin(), devices.cend(),
                                         [&deviceID](const SyncDevice &d) { return d.id == deviceID; });
        if (!self || device == devices.cend() || device->isPaused || device->isThisDevice)
            co_return;
        BounceRecord(m_defaults).add(bounce);
        co_await m_engine.setDevicePaused(deviceID, true);
    } catch (const std::exception &) {
        // Perhaps paused all the same: the record stays for the next start.
        co_return;
    }
    co_await pause(std::chrono::seconds(2));
    bool resumed = false;
    for (int attempt = 1; attempt <= 3 && !resumed && self; ++attempt) {
        if (attempt > 1) {
            co_await pause(std::chrono::seconds(1));
            if (!self)
                co_return;
        }
        resumed = co_await resumeDevice(deviceID);
    }
    if (!self)
        co_return;
    if (resumed)
        BounceRecord(m_defaults).remove(bounce);
    else
        setLastErrorMessage(
            QStringLiteral("Couldn't resume the connection to this Mac \u2014 open Devices and un-pause it."));
    const QSet<QString> serving(folderIDs.cbegin(), folderIDs.cend());
    if (m_nasNode)
        co_await m_nasNode->bounceDevice(deviceID, serving);
}

QCoro::Task<bool> ProjectController::resumeDevice(QString deviceID)
{
    try {
        co_await m_engine.setDevicePaused(deviceID, false);
    } catch (const std::exception &) {
        co_return false;
    }
    co_return true;
}

QCoro::Task<void> ProjectController::resumeUnfinishedBounces()
{
    const QPointer<ProjectController> self(this);
    const QList<BounceRecord::Entry> bounces = BounceRecord(m_defaults).entries();
    for (const BounceRecord::Entry &bounce : bounces) {
        if (!bounce.node.isEmpty())
            continue;  // the node controller's
        const bool resumed = co_await resumeDevice(bounce.device);
        if (!self)
            co_return;
        if (resumed)
            BounceRecord(m_defaults).remove(bounce);
    }
}

bool ProjectController::applyClusterCells(const ClusterConfig &config)
{
    QList<Project> projects = m_projects;
    bool changed = false;
    m_teamDevices.clear();
    for (Project &project : projects) {
        QSet<QString> authors;
        for (const ProjectMember &member : project.members)
            if (member.role != MemberRole::Viewer)
                authors.insert(member.deviceID);
        m_teamDevices.insert(project.id, keptByAuthors(project, config, authors));
        for (ProjectFolder &folder : project.folders) {
            if (!folder.syncthingFolderID || !config.folders.contains(*folder.syncthingFolderID)
                || clusterCellsHeld(*folder.syncthingFolderID))
                continue;
            const QSet<QString> exclusions(folder.excludedDeviceIDs.cbegin(), folder.excludedDeviceIDs.cend());
            const QSet<QString> pauses(folder.pausedDeviceIDs.cbegin(), folder.pausedDeviceIDs.cend());
            QSet<QString> newExclusions = exclusions;
            QSet<QString> newPauses = pauses;
            const ClusterConfig::Cells cells = config.folders.value(*folder.syncthingFolderID);
            for (auto cell = cells.cbegin(); cell != cells.cend(); ++cell) {
                if (!authors.contains(cell->authorDeviceID))
                    continue;
                const bool pause = cell->state == CellState::Paused;
                const bool exclude = cell->state == CellState::Excluded;
                pause ? void(newPauses.insert(cell.key())) : void(newPauses.remove(cell.key()));
                exclude ? void(newExclusions.insert(cell.key())) : void(newExclusions.remove(cell.key()));
            }
            if (newExclusions == exclusions && newPauses == pauses)
                continue;
            folder.excludedDeviceIDs = listFrom(newExclusions);
            folder.pausedDeviceIDs = listFrom(newPauses);
            changed = true;
        }
    }
    if (changed) {
        setProjects(std::move(projects));
        save();
    }
    // A node an invitation named that the record now vouches for joins at
    // the pass this asks for.
    for (auto it = m_invitedNodes.cbegin(); it != m_invitedNodes.cend(); ++it)
        changed = changed || m_teamDevices.value(it.key()).contains(canonical(it->deviceID));
    return changed;
}

void ProjectController::holdClusterCells(const QString &engineFolderID)
{
    ++m_heldClusterCells[engineFolderID];
}

void ProjectController::releaseClusterCells(const QString &engineFolderID)
{
    auto held = m_heldClusterCells.find(engineFolderID);
    if (held != m_heldClusterCells.end() && --held.value() <= 0)
        m_heldClusterCells.erase(held);
}

} // namespace tw
