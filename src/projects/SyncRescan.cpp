#include "projects/SyncRescan.h"

#include "controllers/FolderController.h"
#include "engine/SyncEngine.h"

#include <exception>

namespace tw {

namespace {

// The IDs first: the sync may change while the rescans are awaited.
QStringList rescannable(const Project &project)
{
    QStringList ids;
    for (const ProjectFolder &folder : project.folders)
        if (folder.syncEnabled && folder.syncthingFolderID)
            ids.append(*folder.syncthingFolderID);
    return ids;
}

} // namespace

QCoro::Task<void> rescanSyncFolders(QPointer<FolderController> folders, QPointer<SyncEngine> engine,
                                    Project project)
{
    const QStringList ids = rescannable(project);
    // Every status is read once at the end: after each folder, a sync of many
    // folders would read them all as many times over.
    bool rescannedAny = false;
    for (const QString &id : ids) {
        if (!engine || !folders)
            co_return;
        try {
            co_await engine->rescanFolder(id);
            rescannedAny = true;
        } catch (const std::exception &error) {
            if (folders)
                folders->setError(error);
        }
    }
    if (rescannedAny && folders)
        co_await folders->refreshStatuses();
}

} // namespace tw
