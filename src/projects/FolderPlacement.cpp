#include "projects/FolderPlacement.h"

#include "cluster/NasNodeController.h"
#include "projects/ProjectController.h"
#include "utilities/PathOverlap.h"

#include <QDir>
#include <QFileInfo>

namespace tw {
namespace {

std::optional<QString> syncedFolderMeeting(const QString &path, const QList<Project> &projects, bool aroundToo)
{
    for (const Project &project : projects)
        for (const ProjectFolder &folder : project.folders) {
            const QString kept = QDir::cleanPath(folder.localPath);
            const bool inside = path == kept || path.startsWith(kept + QLatin1Char('/'));
            if (inside || (aroundToo && PathOverlap::written(path, kept)))
                return kept;
        }
    return std::nullopt;
}

// The folder ID after a name in use, then a number, as on the node.
QString freePath(const QString &location, const QString &component, const QString &folderID,
                 const QList<Project> &projects)
{
    const QString suffix = NasNodeController::folderNameComponent(folderID, folderID);
    QString path = QDir(location).filePath(component);
    for (int n = 1; syncedFolderMeeting(path, projects, true); ++n) {
        const QString tag = n == 1 ? suffix : suffix + QLatin1Char(' ') + QString::number(n);
        path = QDir(location).filePath(component + QStringLiteral(" (") + tag + QLatin1Char(')'));
    }
    return path;
}

} // namespace

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
        const bool named = QFileInfo(cleaned).fileName() == placement.component;
        placement.insideSyncedFolder = syncedFolderMeeting(cleaned, projects, false);
        if (placement.insideSyncedFolder)
            placement.targetPath = named ? cleaned : QDir(cleaned).filePath(placement.component);
        else if (named && !syncedFolderMeeting(cleaned, projects, true))
            placement.targetPath = cleaned;
        else
            placement.targetPath = freePath(cleaned, placement.component, offer.folderID, projects);
    }
    return placement;
}

} // namespace tw
