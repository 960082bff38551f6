#include "engine/syncthing/SyncthingEngine.h"

// TRANSITIONAL: bodies below are replaced by the owner of this file.

namespace tw {

QCoro::Task<FolderStatus> SyncthingEngine::folderStatus(QString)
{
    throw SyncEngineError::notImplemented(QStringLiteral("folderStatus"));
    co_return {};
}

QCoro::Task<QMap<QString, ClusterNeed>> SyncthingEngine::clusterNeeds()
{
    throw SyncEngineError::notImplemented(QStringLiteral("clusterNeeds"));
    co_return {};
}

QCoro::Task<double> SyncthingEngine::deviceCompletion(QString, QString)
{
    throw SyncEngineError::notImplemented(QStringLiteral("deviceCompletion"));
    co_return {};
}

QCoro::Task<std::optional<QString>> SyncthingEngine::currentTransferName(QString)
{
    throw SyncEngineError::notImplemented(QStringLiteral("currentTransferName"));
    co_return {};
}

} // namespace tw
