#include "app/PeerShortfall.h"

#include "app/HealthRules.h"

#include <algorithm>

namespace tw {
namespace {

// A Mac that has not taken the folder (an offer it has not accepted) is sent
// nothing of it, however much it lacks.
bool counts(const ProjectFolder &folder, const QString &deviceID, const HealthInputs &in)
{
    if (deviceID == in.localDeviceID || folder.excludedDeviceIDs.contains(deviceID)
        || folder.pausedDeviceIDs.contains(deviceID)
        || !in.participants.value(*folder.syncthingFolderID).contains(deviceID))
        return false;
    const auto connection = in.connections.constFind(deviceID);
    return connection != in.connections.cend() && connection->connected;
}

void addFolder(const Project &project, const ProjectFolder &folder, const HealthInputs &in,
               QList<PeerShortfall> &out)
{
    const auto status = in.folderStatuses.constFind(*folder.syncthingFolderID);
    if (status == in.folderStatuses.cend() || status->globalBytes <= 0)
        return;
    for (const ProjectMember &member : project.members) {
        if (!counts(folder, member.deviceID, in))
            continue;
        const double missing =
            std::max(100 - effectivePeerCompletion(*folder.syncthingFolderID, member.deviceID, in), 0.0);
        const auto bytes = qint64(missing * double(status->globalBytes) / 100);
        if (bytes >= 1)
            out.append({member.deviceID, bytes, status->globalBytes});
    }
}

} // namespace

QList<PeerShortfall> peerShortfalls(const HealthInputs &in, const std::optional<QString> &projectID)
{
    QList<PeerShortfall> out;
    for (const Project &project : in.projects) {
        if (projectID && project.id != *projectID)
            continue;
        for (const ProjectFolder &folder : project.folders)
            if (folder.syncthingFolderID)
                addFolder(project, folder, in, out);
    }
    return out;
}

} // namespace tw
