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
// rescans it, and leaves alone one its run policy holds at that moment
// (switched off, or "Pause all" pressed before or meanwhile). A failing
// folder leaves its text as the folder controller's last error, until a
// later rescan of that folder works, and the others are still rescanned.
QCoro::Task<void> rescanSyncFolders(QPointer<FolderController> folders, QPointer<SyncEngine> engine,
                                    Project project);

} // namespace tw
