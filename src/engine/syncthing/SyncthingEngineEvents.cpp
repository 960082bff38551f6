#include "engine/syncthing/SyncthingEngine.h"

// TRANSITIONAL: bodies below are replaced by the owner of this file.

namespace tw {

QCoro::Task<QList<SyncEvent>> SyncthingEngine::events(qint64)
{
    throw SyncEngineError::notImplemented(QStringLiteral("events"));
    co_return {};
}

QList<SyncEvent> SyncthingEngine::parseEvents(const QByteArray &)
{
    return {};
}

} // namespace tw
