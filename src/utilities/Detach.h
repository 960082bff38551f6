#pragma once

#include <qcoro/qcorotask.h>

namespace tw {

// Lets a task run on by itself: a button's action or a window's reaction
// that nobody awaits. Whatever the task throws ends here, since controllers
// already keep their own last error for the views to show.
//
// Write the work as a free coroutine (or a static member) taking IDs and
// controller pointers by value, never as a capturing lambda, and guard only
// the steps that touch a widget with its QPointer:
//
//     static QCoro::Task<void> pauseAll(QPointer<EngineController> engine,
//                                       QPointer<FolderController> folders);
//     detach(pauseAll(&env.engineState(), &env.folders()));
//
// The task starts at once and runs up to its first suspension before
// detach() returns.
void detach(QCoro::Task<void> task);

} // namespace tw
