#include "engine/syncthing/SyncthingEngine.h"

// TRANSITIONAL: bodies below are replaced by the owner of this file.

namespace tw {

QCoro::Task<QString> SyncthingEngine::diagnosticsReport()
{
    throw SyncEngineError::notImplemented(QStringLiteral("diagnosticsReport"));
    co_return {};
}

QCoro::Task<QList<FolderDiagStatus>> SyncthingEngine::diagnosticsStatus()
{
    throw SyncEngineError::notImplemented(QStringLiteral("diagnosticsStatus"));
    co_return {};
}

QCoro::Task<QMap<QString, QString>> SyncthingEngine::recentFolderErrors()
{
    throw SyncEngineError::notImplemented(QStringLiteral("recentFolderErrors"));
    co_return {};
}

QCoro::Task<bool> SyncthingEngine::isPairedDevice(QString)
{
    throw SyncEngineError::notImplemented(QStringLiteral("isPairedDevice"));
    co_return {};
}

} // namespace tw
