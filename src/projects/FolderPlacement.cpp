#include "projects/FolderPlacement.h"

#include "cluster/NasNodeController.h"
#include "projects/ProjectController.h"

#include <QDir>
#include <QFileInfo>

namespace tw {

FolderPlacement FolderPlacement::of(const PendingFolder &offer, const QList<Project> &projects,
                                    const std::optional<QString> &location)
{
    FolderPlacement placement;
    placement.folderPart = ProjectController::folderPartOf(offer.label);
    placement.syncPart = ProjectController::syncPartOf(offer.label);
    placement.targetSyncName = placement.syncPart.value_or(placement.folderPart);
    placement.component = NasNodeController::folderNameComponent(placement.folderPart, offer.folderID);
    for (const Project &project : projects) {
        if (project.name == placement.targetSyncName) {
            placement.existingProjectID = project.id;
            break;
        }
    }
    if (location) {
        const QString cleaned = QDir::cleanPath(*location);
        placement.targetPath = QFileInfo(cleaned).fileName() == placement.component
                                   ? cleaned
                                   : QDir(cleaned).filePath(placement.component);
    }
    return placement;
}

} // namespace tw
