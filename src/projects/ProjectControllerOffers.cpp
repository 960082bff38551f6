// What other Macs ask of this one: folders they offer, invitations, and Macs
// that connect while this Mac shows an invitation (the pairing window).

#include "projects/ProjectController.h"

#include "cluster/NasNodeController.h"
#include "engine/PlatformError.h"
#include "engine/SyncEngine.h"
#include "engine/model/NormalizedDeviceID.h"
#include "utilities/AssignIfChanged.h"
#include "utilities/IsolatedName.h"
#include "utilities/StrictJson.h"
#include "utilities/UserDefaults.h"

#include <QScopeGuard>
#include <QTimer>

namespace tw {
namespace {

constexpr qint64 kPairingSeconds = 600;
const QString kSeparator = QStringLiteral(" \u2014 ");

bool hasMemberID(const Project &project, const QString &deviceID)
{
    return std::any_of(project.members.cbegin(), project.members.cend(),
                       [&deviceID](const ProjectMember &member) { return member.deviceID == deviceID; });
}

// IPv6 literals need brackets, or the port would read as part of the address.
QString tailnetAddress(const QString &ip)
{
    const QString host = ip.contains(QLatin1Char(':')) ? QLatin1Char('[') + ip + QLatin1Char(']') : ip;
    return QStringLiteral("tcp://") + host + QStringLiteral(":22000");
}

} // namespace

QString ProjectController::folderPartOf(const QString &label)
{
    const qsizetype at = label.indexOf(kSeparator);
    return at < 0 ? label : label.mid(at + kSeparator.size());
}

std::optional<QString> ProjectController::syncPartOf(const QString &label)
{
    const qsizetype at = label.indexOf(kSeparator);
    return at > 0 ? std::optional(label.left(at)) : std::nullopt;
}

QStringList ProjectController::tailnetAddresses(const QString &ip)
{
    return {QStringLiteral("dynamic"), tailnetAddress(ip)};
}

int ProjectController::distinctPendingCount() const
{
    QSet<QString> folderIDs;
    for (const PendingFolder &offer : m_pendingFolders)
        folderIDs.insert(offer.folderID);
    return int(m_pendingDevices.size() + folderIDs.size());
}

void ProjectController::setPendingDeviceApproval(std::optional<PendingDeviceApproval> approval)
{
    assignIfChanged(m_pendingDeviceApproval, std::move(approval), this,
                    &ProjectController::pendingDeviceApprovalChanged);
}

void ProjectController::setPendingLists(QList<PendingDevice> devices, QList<PendingFolder> shown,
                                        QList<PendingFolder> ignored)
{
    assignIfChanged(m_pendingDevices, std::move(devices), this, &ProjectController::pendingDevicesChanged);
    assignIfChanged(m_pendingFolders, std::move(shown), this, &ProjectController::pendingFoldersChanged);
    assignIfChanged(m_ignoredOfferedFolders, std::move(ignored), this,
                    &ProjectController::ignoredOfferedFoldersChanged);
}

// The stored array is written on every change, even one that changed nothing.
void ProjectController::setDismissedFolderIDs(QSet<QString> ids)
{
    assignIfChanged(m_dismissedFolderIDs, std::move(ids), this, &ProjectController::dismissedFolderIDsChanged);
    m_defaults.setStringList(dismissedKey, m_dismissedFolderIDs.values());
}

// Also run detached (after the ignored invitations are reset): the guard
// ends it when the controller went during an await.
QCoro::Task<void> ProjectController::refreshPending()
{
    const QPointer<ProjectController> self(this);
    QList<PendingDevice> devices;
    bool devicesRead = false;
    try {
        devices = co_await m_engine.pendingDevices();
        devicesRead = true;
    } catch (const std::exception &) {
    }
    if (!self)
        co_return;
    // Devices the team places in a sync are no strangers: they join it below
    // and are never listed as asking.
    QList<PendingDevice> strangers;
    QList<PendingDevice> team;
    for (const PendingDevice &device : std::as_const(devices))
        (m_joinsTeamDevices && teamSyncOf(device.id) ? team : strangers).append(device);
    setPendingLists(strangers, m_pendingFolders, m_ignoredOfferedFolders);
    if (devicesRead)
        dropSettledApproval();
    QList<PendingFolder> offers;
    try {
        offers = co_await m_engine.pendingFolders();
    } catch (const std::exception &) {
    }
    if (!self)
        co_return;
    // The team record's folder is made by the cluster sync itself; offers of
    // it are never shown and leave the engine's list at every refresh.
    QList<PendingFolder> kept;
    for (const PendingFolder &offer : std::as_const(offers)) {
        if (!offer.folderID.startsWith(NasNodeController::clusterFolderPrefix)) {
            kept.append(offer);
            continue;
        }
        try {
            co_await m_engine.dismissPendingFolder(offer.folderID, offer.offeredByDeviceID);
        } catch (const std::exception &) {
        }
        if (!self)
            co_return;
    }
    QHash<QString, QString> known;  // canonical engine folder ID -> the first sync holding it
    for (const Project &project : m_projects)
        for (const ProjectFolder &folder : project.folders)
            if (folder.syncthingFolderID && !known.contains(canonical(*folder.syncthingFolderID)))
                known.insert(canonical(*folder.syncthingFolderID), project.id);
    QList<PendingFolder> shown;
    QList<PendingFolder> ignored;
    QHash<QString, QString> offeredSyncs;
    for (const PendingFolder &offer : std::as_const(kept)) {
        const QString holder = known.value(canonical(offer.folderID));
        if (holder.isEmpty())
            (m_dismissedFolderIDs.contains(offer.folderID) ? ignored : shown).append(offer);
        else if (!offeredSyncs.contains(canonical(offer.offeredByDeviceID)))
            offeredSyncs.insert(canonical(offer.offeredByDeviceID), holder);
    }
    m_offeredSyncs = std::move(offeredSyncs);
    setPendingLists(m_pendingDevices, std::move(shown), std::move(ignored));
    co_await joinTeamDevices(std::move(team));
    if (self)
        co_await surfacePairingApproval();
}

bool ProjectController::teamVouches(const Project &project, const QString &deviceID,
                                    const QList<SyncFolder> &listed) const
{
    if (m_teamDevices.value(project.id).contains(canonical(deviceID)))
        return true;
    CanonicalIDs held;
    for (const ProjectFolder &folder : project.folders)
        if (folder.syncthingFolderID)
            held.insert(*folder.syncthingFolderID);
    return std::any_of(listed.cbegin(), listed.cend(), [&](const SyncFolder &folder) {
        return held.contains(folder.id) && CanonicalIDs(folder.introducedDeviceIDs.values()).contains(deviceID);
    });
}

std::optional<Project> ProjectController::teamSyncOf(const QString &deviceID) const
{
    for (const Project &project : m_projects)
        if (!hasMemberID(project, deviceID) && teamVouches(project, deviceID, {}))
            return project;
    return std::nullopt;
}

std::optional<Project> ProjectController::syncAskedFor(const QString &deviceID) const
{
    if (std::optional<Project> team = teamSyncOf(deviceID))
        return team;
    if (std::optional<Project> offered = project(m_offeredSyncs.value(canonical(deviceID))))
        return offered;
    return m_pairingProjectID ? project(*m_pairingProjectID) : std::nullopt;
}

// Each joins the sync the team places it in: the node an invitation named as
// that sync's node, any other device as a member.
QCoro::Task<void> ProjectController::joinTeamDevices(QList<PendingDevice> devices)
{
    const QPointer<ProjectController> self(this);
    for (const PendingDevice &device : std::as_const(devices)) {
        const std::optional<Project> sync = self ? teamSyncOf(device.id) : std::nullopt;
        if (!sync)
            continue;
        const std::optional<NasNode> node = m_invitedNodes.contains(sync->id)
                                                ? std::optional(m_invitedNodes.value(sync->id))
                                                : std::nullopt;
        if (node && canonical(node->deviceID) == canonical(device.id))
            co_await adoptInvitedNode(sync->id, *node);
        else
            co_await addMember(sync->id, device.id, device.name, MemberRole::Editor, false, std::nullopt);
    }
}

// A device the engine no longer lists as asking was added or ignored
// meanwhile (from the Incoming page, say): its request has nothing left to
// approve, and a prompt still showing it would add it a second time.
void ProjectController::dropSettledApproval()
{
    if (!m_pendingDeviceApproval)
        return;
    const QString asking = canonical(m_pendingDeviceApproval->deviceID);
    const bool stillAsking = std::any_of(m_pendingDevices.cbegin(), m_pendingDevices.cend(),
                                         [&asking](const PendingDevice &device) { return canonical(device.id) == asking; });
    if (!stillAsking)
        setPendingDeviceApproval(std::nullopt);
}

// Tested and marked with no await in between, so no device is surfaced twice.
// A device is asked for by the sync it belongs to, as far as this Mac can
// tell.
QCoro::Task<void> ProjectController::surfacePairingApproval()
{
    if (m_pendingDeviceApproval || !m_pairingProjectID || !m_pairingUntil || !(*m_pairingUntil > m_clock())
        || !project(*m_pairingProjectID))
        co_return;
    const QPointer<ProjectController> self(this);
    QString ownID;
    try {
        ownID = co_await m_engine.localDeviceID();
    } catch (const std::exception &) {
    }
    if (!self)
        co_return;
    const QList<PendingDevice> devices = m_pendingDevices;
    for (const PendingDevice &device : devices) {
        const bool isThisMac = !ownID.isEmpty() && canonical(device.id) == canonical(ownID);
        const std::optional<Project> sync = syncAskedFor(device.id);
        if (isThisMac || !sync || m_promptedDeviceIDs.contains(device.id) || hasMemberID(*sync, device.id))
            continue;
        m_promptedDeviceIDs.insert(device.id);
        setPendingDeviceApproval(PendingDeviceApproval{device.id, device.name, sync->id, sync->name});
        co_return;
    }
}

QCoro::Task<void> ProjectController::dismissIncomingFolderAll(QString folderID)
{
    QSet<QString> dismissed = m_dismissedFolderIDs;
    dismissed.insert(folderID);
    setDismissedFolderIDs(std::move(dismissed));
    const QList<PendingFolder> offers = m_pendingFolders;
    for (const PendingFolder &offer : offers) {
        if (offer.folderID != folderID)
            continue;
        try {
            co_await m_engine.dismissPendingFolder(offer.folderID, offer.offeredByDeviceID);
        } catch (const std::exception &) {
        }
    }
    co_await refreshPending();
}

// A listed device is left as it is (adding it again would reset it and drop
// an address it was given); only the introducer flag is switched on. A
// failure of that switch costs the automatic joining, not the offer.
QCoro::Task<bool> ProjectController::registerOfferingDevice(PendingFolder offer, bool autoJoinNode)
{
    try {
        const QList<SyncDevice> devices = co_await m_engine.devices();
        const bool listed = std::any_of(devices.cbegin(), devices.cend(), [&offer](const SyncDevice &device) {
            return canonical(device.id) == canonical(offer.offeredByDeviceID);
        });
        if (!listed) {
            const NewDeviceRequest request{.id = offer.offeredByDeviceID,
                                           .name = offer.offeredByName,
                                           .addresses = std::nullopt,
                                           .introducer = autoJoinNode};
            co_await m_engine.addDevice(request);
            co_return true;
        }
    } catch (const std::exception &) {
        setLastErrorMessage(QStringLiteral("Couldn't add ") + isolatedName(offer.offeredByName) +
                            QStringLiteral(" to Syncthing \u2014 check the connection and try again."));
        co_return false;
    }
    if (autoJoinNode) {
        try {
            co_await m_engine.setDeviceIntroducer(offer.offeredByDeviceID, true);
        } catch (const std::exception &) {
        }
    }
    co_return true;
}

// An engine folder that already has the offered ID is shared as it is, at
// its own path, never written over. The answer carries the ignore lines the
// engine holds for it.
QCoro::Task<std::optional<SyncFolder>> ProjectController::engineFolderFor(PendingFolder offer,
                                                                         NewFolderRequest request)
{
    try {
        const QList<SyncFolder> listed = co_await m_engine.folders();
        for (const SyncFolder &folder : listed) {
            if (canonical(folder.id) != canonical(offer.folderID))
                continue;
            SyncFolder found = folder;
            try {
                found.ignorePatterns = co_await m_engine.ignorePatterns(folder.id);
            } catch (const std::exception &) {
                found.ignorePatterns = request.ignorePatterns;
            }
            co_return found;
        }
        const QPointer<ProjectController> self(this);
        if (const std::optional<QString> kept = co_await folderMeeting(request.path, listed, offer.folderID)) {
            if (self)
                setLastErrorMessage(overlapText(request.path, *kept));
            co_return std::nullopt;
        }
        if (!self)
            co_return std::nullopt;
        // A default line Syncthing cannot use would stop the new folder: it
        // is left out, and the record keeps it to show it on the sync. The
        // engine makes it paused while everything is.
        NewFolderRequest usable = request;
        usable.ignorePatterns = usableIgnores(request.ignorePatterns);
        usable.syncMetadata = request.syncMetadata && !driveRefusesXattrs(request.path);
        // Owed from before Syncthing is asked until the record naming it is
        // stored: a process that ended in between would leave it shared with
        // nothing naming it.
        oweRemovals({offer.folderID});
        SyncFolder created = co_await m_engine.addFolder(usable);
        created.ignorePatterns = request.ignorePatterns;
        co_return created;
    } catch (const std::exception &error) {
        setLastErrorMessage(QStringLiteral("Couldn't create the folder in Syncthing \u2014 ") + describeError(error));
        co_return std::nullopt;
    }
}

QString ProjectController::placeAcceptedFolder(const PendingFolder &offer, const SyncFolder &created,
                                               const QStringList &ignores, std::optional<QString> intoProjectID,
                                               const QString &name, bool *memberAdded)
{
    QList<Project> projects = m_projects;
    auto target = std::find_if(projects.begin(), projects.end(), [&intoProjectID](const Project &project) {
        return intoProjectID && project.id == *intoProjectID;
    });
    if (target == projects.end()) {
        projects.append({.id = newRecordID(), .name = name, .colorHex = std::nullopt, .members = {},
                         .folders = {}, .createdAt = m_clock()});
        target = projects.end() - 1;
    }
    *memberAdded = !hasMemberID(*target, offer.offeredByDeviceID);
    if (*memberAdded)
        target->members.append({.deviceID = offer.offeredByDeviceID,
                                .displayName = offer.offeredByName,
                                .role = MemberRole::Editor,
                                .isOwnDevice = false,
                                .isAlwaysOnNode = false});
    target->folders.append({.id = newRecordID(),
                            .label = folderPartOf(offer.label),
                            .localPath = created.path,
                            .syncEnabled = true,
                            .ignorePatterns = ignores,
                            .archiveDeletedFiles = true,
                            .archiveRetentionDays = 0,
                            .purgeProtected = {},
                            .syncMetadata = true,
                            .syncthingFolderID = created.id,
                            .excludedDeviceIDs = {},
                            .pausedDeviceIDs = {}});
    const QString id = target->id;
    setProjects(std::move(projects));
    return id;
}

QCoro::Task<void> ProjectController::acceptIncomingFolder(PendingFolder offer, QString localPath,
                                                          std::optional<QString> intoProjectID,
                                                          std::optional<QString> newProjectName, bool autoJoinNode)
{
    const bool registered = co_await registerOfferingDevice(offer, autoJoinNode);
    if (!registered)
        co_return;
    const std::optional<Project> chosen = intoProjectID ? project(*intoProjectID) : std::nullopt;
    const QString folderPart = folderPartOf(offer.label);
    const QString name = chosen ? chosen->name
                                : (newProjectName && !newProjectName->isEmpty() ? *newProjectName : folderPart);
    const bool editor = !chosen || chosen->ownRole() == MemberRole::Editor;
    const NewFolderRequest request{.id = offer.folderID,
                                   .label = engineLabel(name, folderPart),
                                   .path = localPath,
                                   .mode = editor ? FolderSyncMode::SendReceive : FolderSyncMode::ReceiveOnly,
                                   .ignorePatterns = m_defaultIgnores,
                                   .versioning = VersioningPolicy::trashCan(0),
                                   .syncMetadata = true};
    // Until its record is stored, the folder is this accept's: a pass
    // meanwhile neither removes it (listed, named by nothing yet) nor
    // settles what it is owed (not listed yet).
    const QString accepted = canonical(offer.folderID);
    ++m_foldersBeingAccepted[accepted];
    const QPointer<ProjectController> self(this);
    const auto release = qScopeGuard([self, accepted] {
        if (self && --self->m_foldersBeingAccepted[accepted] <= 0)
            self->m_foldersBeingAccepted.remove(accepted);
    });
    const std::optional<SyncFolder> created = co_await engineFolderFor(offer, request);
    if (!created)
        co_return;
    QSet<QString> dismissed = m_dismissedFolderIDs;
    dismissed.remove(offer.folderID);
    setDismissedFolderIDs(std::move(dismissed));
    bool memberAdded = false;
    placeAcceptedFolder(offer, *created, created->ignorePatterns, intoProjectID, name, &memberAdded);
    // Owed still if the record naming it could not be stored: a pass
    // settles it once one is.
    if (save())
        settleRemoval(offer.folderID);
    const MembersDidChange callback = m_membersDidChange;
    if (memberAdded && callback)
        co_await callback(QStringList(), offer.offeredByDeviceID, CellState::Active);
    co_await refreshPending();
    co_await reconcileAll();
    // After the pass, which clears the message when it succeeds.
    if (created->path != localPath)
        setLastErrorMessage(QStringLiteral("This Mac already syncs that folder at ") + isolatedName(created->path) +
                            QStringLiteral(" \u2014 the sync uses it there."));
}

// Registered as the node is on the Mac that keeps it; the sync keeps
// waiting for it when the engine cannot take it.
QCoro::Task<void> ProjectController::adoptInvitedNode(QString projectID, NasNode node)
{
    const QPointer<ProjectController> self(this);
    const NewDeviceRequest request = nodeDevice(node);
    try {
        co_await ensureDevice(request);
    } catch (const std::exception &) {
        if (self)
            setLastErrorMessage(QStringLiteral("Couldn't add ") + isolatedName(node.name) +
                                QStringLiteral(" to Syncthing \u2014 check the connection and try again."));
        co_return;
    }
    if (!self)
        co_return;
    setInvitedNode(projectID, std::nullopt);
    const std::optional<Project> now = project(projectID);
    if (!now || hasMemberID(*now, node.deviceID))
        co_return;
    editProject(projectID, [&node](Project &project) { project.members.append(nodeMember(node)); });
    save();
}

void ProjectController::setInvitedNode(const QString &projectID, std::optional<NasNode> node)
{
    node ? void(m_invitedNodes.insert(projectID, *node)) : void(m_invitedNodes.remove(projectID));
    QJsonObject stored;
    for (auto it = m_invitedNodes.cbegin(); it != m_invitedNodes.cend(); ++it)
        stored.insert(it.key(), it->toJson());
    m_defaults.setValue(invitedNodesKey, stored);
}

// An entry that does not read is dropped: its node joins as any device does.
QHash<QString, NasNode> ProjectController::storedInvitedNodes(const UserDefaults &defaults)
{
    QHash<QString, NasNode> nodes;
    const QJsonObject stored = defaults.value(invitedNodesKey).value_or(QJsonValue()).toObject();
    for (auto it = stored.constBegin(); it != stored.constEnd(); ++it) {
        try {
            nodes.insert(it.key(), NasNode::fromJson(it->toObject()));
        } catch (const JsonDecodeError &) {
        }
    }
    return nodes;
}

// A pass's listing shows what Syncthing was introduced to; a node whose sync
// went, or that joined it otherwise, is waited for no more.
QCoro::Task<void> ProjectController::adoptVouchedNodes(QList<SyncFolder> listed)
{
    const QPointer<ProjectController> self(this);
    const QHash<QString, NasNode> invited = m_invitedNodes;
    for (auto it = invited.cbegin(); it != invited.cend() && self; ++it) {
        const std::optional<Project> sync = project(it.key());
        if (!sync || hasMemberID(*sync, it->deviceID))
            setInvitedNode(it.key(), std::nullopt);
        else if (teamVouches(*sync, it->deviceID, listed))
            co_await adoptInvitedNode(it.key(), *it);
    }
}

QCoro::Task<std::optional<QString>> ProjectController::acceptInvite(Invite invite, bool autoJoinNode)
{
    const QString deviceID = normalizedDeviceID(invite.deviceID).value_or(invite.deviceID.trimmed());
    if (deviceID.isEmpty())
        co_return std::nullopt;
    QString ownID;
    try {
        ownID = co_await m_engine.localDeviceID();
    } catch (const std::exception &) {
    }
    if (!ownID.isEmpty() && canonical(ownID) == canonical(deviceID))
        co_return std::nullopt;
    const QString name = invite.project.isEmpty() ? QStringLiteral("Shared with ") + invite.name : invite.project;
    const auto named = std::find_if(m_projects.cbegin(), m_projects.cend(),
                                    [&name](const Project &project) { return project.name == name; });
    QString projectID = named != m_projects.cend() ? named->id : newRecordID();
    if (named == m_projects.cend()) {
        QList<Project> projects = m_projects;
        projects.append({.id = projectID, .name = name, .colorHex = std::nullopt, .members = {}, .folders = {},
                         .createdAt = m_clock()});
        setProjects(std::move(projects));
    }
    std::optional<QStringList> addresses;
    if (invite.tsIP)
        addresses = tailnetAddresses(*invite.tsIP);
    const QString memberName = invite.name.isEmpty() ? QStringLiteral("Mac") : invite.name;
    if (autoJoinNode && invite.nodeID && (ownID.isEmpty() || canonical(*invite.nodeID) != canonical(ownID)))
        setInvitedNode(projectID, NasNode{.baseURL = {},
                                          .deviceID = *invite.nodeID,
                                          .name = invite.nodeName.isEmpty() ? NasNodeController::defaultName
                                                                            : invite.nodeName});
    co_await addMember(projectID, deviceID, memberName, MemberRole::Editor, false, addresses);
    openPairingWindow(projectID);
    co_return projectID;
}

void ProjectController::openPairingWindow(const QString &projectID)
{
    assignIfChanged(m_pairingProjectID, std::optional<QString>(projectID), this,
                    &ProjectController::pairingProjectIDChanged);
    m_pairingUntil = m_clock().addSecs(kPairingSeconds);
}

QCoro::Task<void> ProjectController::approvePendingDevice()
{
    if (const std::optional<PendingDeviceApproval> request = m_pendingDeviceApproval)
        co_await approvePendingDevice(*request);
}

QCoro::Task<void> ProjectController::declinePendingDevice()
{
    if (const std::optional<PendingDeviceApproval> request = m_pendingDeviceApproval)
        co_await declinePendingDevice(*request);
}

QCoro::Task<void> ProjectController::approvePendingDevice(PendingDeviceApproval request)
{
    clearPendingDeviceApproval(request);
    co_await addMember(request.projectID, request.deviceID, request.name, MemberRole::Editor, false, std::nullopt);
    try {
        co_await m_engine.dismissPendingDevice(request.deviceID);
    } catch (const std::exception &) {
    }
    co_await refreshPending();
}

QCoro::Task<void> ProjectController::declinePendingDevice(PendingDeviceApproval request)
{
    clearPendingDeviceApproval(request);
    try {
        co_await m_engine.dismissPendingDevice(request.deviceID);
    } catch (const std::exception &) {
    }
    co_await refreshPending();
}

void ProjectController::clearPendingDeviceApproval(const PendingDeviceApproval &shown)
{
    if (m_pendingDeviceApproval == shown)
        setPendingDeviceApproval(std::nullopt);
}

void ProjectController::resetIgnoredInvitations()
{
    setDismissedFolderIDs({});
    QTimer::singleShot(0, this, [this] {
        [](QPointer<ProjectController> self) -> QCoro::Task<void> {
            try {
                if (self)
                    co_await self->refreshPending();
            } catch (...) {
            }
        }(QPointer<ProjectController>(this));
    });
}

} // namespace tw
