#include "app/TransferSummary.h"

#include "app/PeerShortfall.h"

#include <QSet>

namespace tw {
namespace {

std::optional<QSet<QString>> folderFilter(const HealthInputs &in, const std::optional<QString> &projectID)
{
    if (!projectID)
        return std::nullopt;
    QSet<QString> ids;
    for (const Project &project : in.projects) {
        if (project.id != *projectID)
            continue;
        for (const ProjectFolder &folder : project.folders)
            if (folder.syncthingFolderID)
                ids.insert(*folder.syncthingFolderID);
        break;
    }
    return ids;
}

std::optional<TransferSummary> incoming(const HealthInputs &in, const std::optional<QString> &projectID)
{
    const std::optional<QSet<QString>> filter = folderFilter(in, projectID);
    TransferSummary summary;
    for (const SyncFolder &folder : in.engineFolders) {
        if (filter && !filter->contains(folder.id))
            continue;
        const auto status = in.folderStatuses.constFind(folder.id);
        if (status == in.folderStatuses.cend() || incomingBytes(*status) < 1)
            continue;
        summary.remainingBytes += incomingBytes(*status);
        summary.totalBytes += status->globalBytes;
    }
    if (summary.remainingBytes < 1)
        return std::nullopt;
    return summary;
}

} // namespace

qint64 incomingBytes(const FolderStatus &status)
{
    if (status.hasErrors() && status.state != FolderState::Syncing)
        return 0;
    return status.needBytes;
}

std::optional<TransferSummary> summarizeTransfers(const HealthInputs &in, const std::optional<QString> &projectID)
{
    if (std::optional<TransferSummary> down = incoming(in, projectID))
        return down;
    TransferSummary up{.direction = TransferSummary::Direction::Up};
    for (const PeerShortfall &shortfall : peerShortfalls(in, projectID)) {
        up.remainingBytes += shortfall.bytes;
        up.totalBytes += shortfall.folderBytes;
    }
    if (up.remainingBytes < 1)
        return std::nullopt;
    return up;
}

} // namespace tw
