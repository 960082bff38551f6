#include "projects/SyncRescan.h"

#include "controllers/FolderController.h"
#include "engine/SyncEngine.h"

#include <functional>


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
        // A failure stays told until a later rescan of that folder works.
        std::function<QCoro::Task<void>()> rescan = [engine, id] { return engine->rescanFolder(id); };
        const bool rescanned = co_await folders->runRetracting(QStringLiteral("rescan:") + id, std::move(rescan));
        rescannedAny = rescannedAny || rescanned;
    }
    if (rescannedAny && folders)
        co_await folders->refreshStatuses();
}

} // namespace tw
