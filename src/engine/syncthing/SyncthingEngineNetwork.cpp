#include "engine/syncthing/SyncthingEngine.h"

// TRANSITIONAL: bodies below are replaced by the owner of this file.

namespace tw {

QCoro::Task<NetworkSettings> SyncthingEngine::networkSettings()
{
    throw SyncEngineError::notImplemented(QStringLiteral("networkSettings"));
    co_return {};
}

QCoro::Task<void> SyncthingEngine::applyNetworkSettings(NetworkSettings)
{
    throw SyncEngineError::notImplemented(QStringLiteral("applyNetworkSettings"));
    co_return;
}

QCoro::Task<void> SyncthingEngine::setGlobalBandwidth(qint64, qint64)
{
    throw SyncEngineError::notImplemented(QStringLiteral("setGlobalBandwidth"));
    co_return;
}

QCoro::Task<CumulativeBytes> SyncthingEngine::cumulativeBytes()
{
    throw SyncEngineError::notImplemented(QStringLiteral("cumulativeBytes"));
    co_return {};
}

} // namespace tw
