#pragma once

#include "projects/Project.h"

#include <QPointer>
#include <qcoro/qcorotask.h>

namespace tw {

class FolderController;
class SyncEngine;

// "Retry / rescan" of a sync on this Mac: each folder of the sync in order
// that has an engine folder ID and whose sync switch is on is rescanned, and
// the statuses read again after each. The engine resumes a folder before it
// rescans it, so a folder switched off is left alone, and nothing is
// rescanned while everything is paused. A failing folder leaves its text as
// the folder controller's last error and the others are still rescanned.
QCoro::Task<void> rescanSyncFolders(QPointer<FolderController> folders, QPointer<SyncEngine> engine,
                                    bool allPaused, Project project);

} // namespace tw
