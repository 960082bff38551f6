#include "engine/syncthing/SyncthingEngine.h"

// TRANSITIONAL: bodies below are replaced by the owner of this file.

namespace tw {

QCoro::Task<QList<SyncDevice>> SyncthingEngine::devices()
{
    throw SyncEngineError::notImplemented(QStringLiteral("devices"));
    co_return {};
}

QCoro::Task<SyncDevice> SyncthingEngine::addDevice(NewDeviceRequest)
{
    throw SyncEngineError::notImplemented(QStringLiteral("addDevice"));
    co_return {};
}

QCoro::Task<void> SyncthingEngine::setDevicePaused(QString, bool)
{
    throw SyncEngineError::notImplemented(QStringLiteral("setDevicePaused"));
    co_return;
}

QCoro::Task<QList<DeviceConnection>> SyncthingEngine::connections()
{
    throw SyncEngineError::notImplemented(QStringLiteral("connections"));
    co_return {};
}

QCoro::Task<void> SyncthingEngine::shareFolder(QString, QString)
{
    throw SyncEngineError::notImplemented(QStringLiteral("shareFolder"));
    co_return;
}

QCoro::Task<void> SyncthingEngine::unshareFolder(QString, QString)
{
    throw SyncEngineError::notImplemented(QStringLiteral("unshareFolder"));
    co_return;
}

QCoro::Task<QList<PendingDevice>> SyncthingEngine::pendingDevices()
{
    throw SyncEngineError::notImplemented(QStringLiteral("pendingDevices"));
    co_return {};
}

QCoro::Task<QList<PendingFolder>> SyncthingEngine::pendingFolders()
{
    throw SyncEngineError::notImplemented(QStringLiteral("pendingFolders"));
    co_return {};
}

QCoro::Task<void> SyncthingEngine::dismissPendingDevice(QString)
{
    throw SyncEngineError::notImplemented(QStringLiteral("dismissPendingDevice"));
    co_return;
}

QCoro::Task<void> SyncthingEngine::dismissPendingFolder(QString, QString)
{
    throw SyncEngineError::notImplemented(QStringLiteral("dismissPendingFolder"));
    co_return;
}

QCoro::Task<void> SyncthingEngine::setAllPaused(bool)
{
    throw SyncEngineError::notImplemented(QStringLiteral("setAllPaused"));
    co_return;
}

QCoro::Task<void> SyncthingEngine::updateFolderDevices(QString, std::function<void(QStringList &)>)
{
    throw SyncEngineError::notImplemented(QStringLiteral("updateFolderDevices"));
    co_return;
}

} // namespace tw
