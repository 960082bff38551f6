#include "engine/syncthing/SyncthingEngine.h"

// TRANSITIONAL: bodies below are replaced by the owner of this file.

namespace tw {

QCoro::Task<QStringList> SyncthingEngine::ignorePatterns(QString)
{
    throw SyncEngineError::notImplemented(QStringLiteral("ignorePatterns"));
    co_return {};
}

QCoro::Task<void> SyncthingEngine::updateIgnorePatterns(QString, QStringList)
{
    throw SyncEngineError::notImplemented(QStringLiteral("updateIgnorePatterns"));
    co_return;
}

QCoro::Task<QList<BrowseEntry>> SyncthingEngine::browse(QString, QString)
{
    throw SyncEngineError::notImplemented(QStringLiteral("browse"));
    co_return {};
}

QCoro::Task<std::optional<qint64>> SyncthingEngine::directoryModified(QString, QString)
{
    throw SyncEngineError::notImplemented(QStringLiteral("directoryModified"));
    co_return {};
}

QCoro::Task<QList<ArchivedVersion>> SyncthingEngine::archivedVersions(QString)
{
    throw SyncEngineError::notImplemented(QStringLiteral("archivedVersions"));
    co_return {};
}

QCoro::Task<void> SyncthingEngine::restoreArchived(QString, QString, QString)
{
    throw SyncEngineError::notImplemented(QStringLiteral("restoreArchived"));
    co_return;
}

QCoro::Task<void> SyncthingEngine::restoreArchivedBatch(QString, QMap<QString, QString>)
{
    throw SyncEngineError::notImplemented(QStringLiteral("restoreArchivedBatch"));
    co_return;
}

std::optional<qint64> SyncthingEngine::parseSyncthingModified(const QString &)
{
    return std::nullopt;
}

} // namespace tw
