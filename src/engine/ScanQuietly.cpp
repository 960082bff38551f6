#include "engine/ScanQuietly.h"

#include "engine/SyncEngine.h"

namespace tw {

QCoro::Task<void> scanQuietly(SyncEngine *engine, QString folderID)
{
    try {
        co_await engine->scanFolder(folderID);
    } catch (...) {
    }
}

} // namespace tw
