#include "app/DiskShortfall.h"

namespace tw {

std::optional<DiskShortfall> diskShortfall(const ProjectFolder &folder, const FolderStatusMap &statuses,
                                           const VolumeFreeBytes &volumeFree)
{
    if (!folder.syncthingFolderID)
        return std::nullopt;
    const auto free = volumeFree.constFind(folder.localPath);
    if (free == volumeFree.cend())
        return std::nullopt;
    const qint64 need = statuses.value(*folder.syncthingFolderID).needBytes;
    if (need <= 0 || *free >= need + DiskShortfall::marginBytes)
        return std::nullopt;
    return DiskShortfall{need, *free};
}

QSet<QString> foldersShortOfSpace(const QList<Project> &projects, const FolderStatusMap &statuses,
                                  const VolumeFreeBytes &volumeFree)
{
    QSet<QString> lacking;
    for (const Project &project : projects) {
        for (const ProjectFolder &folder : project.folders) {
            if (diskShortfall(folder, statuses, volumeFree))
                lacking.insert(*folder.syncthingFolderID);
        }
    }
    return lacking;
}

} // namespace tw
