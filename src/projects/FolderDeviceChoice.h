#pragma once

#include "cluster/CellState.h"
#include "utilities/Clock.h"

#include <QPointer>
#include <QString>
#include <functional>
#include <qcoro/qcorotask.h>

namespace tw {

class ClusterConfigStore;
class ProjectController;

// One Mac's part in one folder of a sync, as the user picks it from the
// folder inspector: receives, paused or excluded.
struct FolderDeviceChoice
{
    QString projectID;
    QString folderID;
    QString deviceID;
    CellState state = CellState::Active;
};

// The team record's store as it is when asked: null while team propagation
// is off.
using ClusterStoreSource = std::function<ClusterConfigStore *()>;

// Applies the choice to the sync (save, reconcile, bounce) and then, while
// team propagation is on and the folder has an engine folder ID, records it
// in the team record under the clock's time. From before the sync changes
// until the record holds the new cell, re-reads of the team record leave the
// folder alone. Runs on when the view that started it is gone.
QCoro::Task<void> applyFolderDeviceChoice(QPointer<ProjectController> projects, ClusterStoreSource store,
                                          Clock clock, FolderDeviceChoice choice);

} // namespace tw
