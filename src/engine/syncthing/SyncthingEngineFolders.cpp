#include "engine/syncthing/SyncthingEngine.h"

// TRANSITIONAL: bodies below are replaced by the owner of this file.

namespace tw {

QCoro::Task<QList<SyncFolder>> SyncthingEngine::folders()
{
    throw SyncEngineError::notImplemented(QStringLiteral("folders"));
    co_return {};
}

QCoro::Task<SyncFolder> SyncthingEngine::addFolder(NewFolderRequest)
{
    throw SyncEngineError::notImplemented(QStringLiteral("addFolder"));
    co_return {};
}

QCoro::Task<void> SyncthingEngine::removeFolder(QString)
{
    throw SyncEngineError::notImplemented(QStringLiteral("removeFolder"));
    co_return;
}

QCoro::Task<void> SyncthingEngine::setFolderMetadata(QString, bool)
{
    throw SyncEngineError::notImplemented(QStringLiteral("setFolderMetadata"));
    co_return;
}

QCoro::Task<void> SyncthingEngine::setVersioning(QString, VersioningPolicy)
{
    throw SyncEngineError::notImplemented(QStringLiteral("setVersioning"));
    co_return;
}

QCoro::Task<void> SyncthingEngine::setFolderPaused(QString, bool)
{
    throw SyncEngineError::notImplemented(QStringLiteral("setFolderPaused"));
    co_return;
}

QCoro::Task<void> SyncthingEngine::setFolderLabel(QString, QString)
{
    throw SyncEngineError::notImplemented(QStringLiteral("setFolderLabel"));
    co_return;
}

QCoro::Task<QString> SyncthingEngine::folderType(QString)
{
    throw SyncEngineError::notImplemented(QStringLiteral("folderType"));
    co_return {};
}

QCoro::Task<void> SyncthingEngine::setFolderType(QString, QString)
{
    throw SyncEngineError::notImplemented(QStringLiteral("setFolderType"));
    co_return;
}

QCoro::Task<void> SyncthingEngine::rescanFolder(QString)
{
    throw SyncEngineError::notImplemented(QStringLiteral("rescanFolder"));
    co_return;
}

QCoro::Task<void> SyncthingEngine::scanFolder(QString)
{
    throw SyncEngineError::notImplemented(QStringLiteral("scanFolder"));
    co_return;
}

QCoro::Task<void> SyncthingEngine::applySyncedXattrFilter(QString)
{
    throw SyncEngineError::notImplemented(QStringLiteral("applySyncedXattrFilter"));
    co_return;
}

} // namespace tw
