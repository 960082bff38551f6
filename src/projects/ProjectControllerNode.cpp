// The always-on node in every sync: made a member before the passes, told
// the member Macs and the folder shares after them.

#include "projects/ProjectController.h"

#include "cluster/NasNodeController.h"
#include "engine/SyncEngine.h"

namespace tw {

// Touches only the engine after its first await: the engine outlives the
// controller, which a detached pass may see destroyed meanwhile.
QCoro::Task<void> ProjectController::ensureDevice(NewDeviceRequest request)
{
    SyncEngine &engine = m_engine;
    const QList<SyncDevice> devices = co_await engine.devices();
    for (const SyncDevice &device : devices)
        if (canonical(device.id) == canonical(request.id))
            co_return;
    co_await engine.addDevice(request);
}

QCoro::Task<void> ProjectController::ensureNasMembership()
{
    const std::optional<NasNode> node = firstNode();
    if (!node)
        co_return;
    QString ownID;
    // Without this Mac's ID it cannot tell whether it is the node itself;
    // the next loop tries again.
    try {
        ownID = co_await unlessGone(m_engine.localDeviceID());
    } catch (const std::exception &) {
        co_return;
    }
    if (canonical(node->deviceID) == canonical(ownID) || m_projects.isEmpty())
        co_return;
    QList<Project> projects = m_projects;
    bool appended = false;
    for (Project &project : projects) {
        const bool member = std::any_of(project.members.cbegin(), project.members.cend(), [&](const auto &m) {
            return canonical(m.deviceID) == canonical(node->deviceID);
        });
        if (!member) {
            project.members.append(nodeMember(*node));
            appended = true;
        }
    }
    if (appended) {
        setProjects(std::move(projects));
        save();
    }
    const NewDeviceRequest request = nodeDevice(*node);
    try {
        co_await unlessGone(ensureDevice(request));
    } catch (const std::exception &) {
    }
}

namespace {

QMap<QString, QString> nameMap(const QList<Project> &projects, const QString &ownID, const QString &ownName,
                               const QSet<QString> &nodeIDs)
{
    QMap<QString, QString> names;
    names.insert(ownID, ownName);
    for (const Project &project : projects)
        for (const ProjectMember &member : project.members)
            if (!member.deviceID.isEmpty() && !nodeIDs.contains(canonical(member.deviceID)))
                names.insert(member.deviceID, member.displayName);
    return names;
}

QMap<QString, NodeFolderShare> shareMap(const QList<Project> &projects, const QString &ownID,
                                        const QSet<QString> &nodeIDs)
{
    QMap<QString, NodeFolderShare> shares;
    for (const Project &project : projects) {
        CanonicalIDs members(QStringList{ownID});
        bool hasNode = false;
        for (const ProjectMember &member : project.members) {
            hasNode = hasNode || nodeIDs.contains(canonical(member.deviceID));
            if (!member.deviceID.isEmpty())
                members.insert(member.deviceID);
        }
        if (!hasNode)
            continue;
        for (const ProjectFolder &folder : project.folders)
            if (folder.syncthingFolderID)
                shares.insert(*folder.syncthingFolderID,
                              {ProjectController::engineLabel(project.name, folder.label),
                               members.without(CanonicalIDs(folder.excludedDeviceIDs + folder.pausedDeviceIDs))
                                   .values()});
    }
    return shares;
}

} // namespace

QCoro::Task<void> ProjectController::pushNasMembers()
{
    if (!firstNode())
        co_return;
    QString ownID;
    QString ownName = QStringLiteral("Mac");
    // Without this Mac's ID the node would be told shares without this Mac
    // and unshare it from every folder of a sync that lacks its own entry.
    try {
        ownID = co_await unlessGone(m_engine.localDeviceID());
    } catch (const std::exception &) {
        co_return;
    }
    try {
        ownName = co_await unlessGone(m_engine.localDeviceName());
    } catch (const std::exception &) {
    }
    if (!m_nasNode || ownID.isEmpty())
        co_return;
    QSet<QString> nodeIDs;
    for (const QString &id : m_nasNode->deviceIDs())
        nodeIDs.insert(canonical(id));
    const QMap<QString, QString> names = nameMap(m_projects, ownID, ownName, nodeIDs);
    co_await unlessGone(m_nasNode->reconcileMembers(names));
    if (!m_nasNode)
        co_return;
    const QMap<QString, NodeFolderShare> shares = shareMap(m_projects, ownID, nodeIDs);
    if (!shares.isEmpty())
        co_await unlessGone(m_nasNode->shareFolders(shares));
    if (m_nasNode && m_nasNode->lastError())
        setLastErrorMessage(*m_nasNode->lastError());
}

} // namespace tw
