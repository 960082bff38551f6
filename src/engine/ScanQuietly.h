#pragma once

#include <QString>
#include <qcoro/qcorotask.h>

namespace tw {

class SyncEngine;

// Asks the engine to scan a folder now and drops any failure: callers that
// only hurry the engine along, whose own watcher scans later anyway.
QCoro::Task<void> scanQuietly(SyncEngine *engine, QString folderID);

} // namespace tw
