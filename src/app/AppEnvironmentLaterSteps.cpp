#include "app/AppEnvironment.h"

// Steps of start-up and of the cycle whose work comes with the health, sweep,
// notification and status-page parts of the application. Each is already
// called at its place, so filling one in changes no caller.

namespace tw {

QCoro::Task<void> AppEnvironment::refreshVolumeStatus()
{
    step("refreshVolumeStatus");
    co_return;
}

QCoro::Task<void> AppEnvironment::seedCompletion()
{
    step("seedCompletion");
    co_return;
}

QCoro::Task<void> AppEnvironment::refreshPeerCompletion()
{
    step("refreshPeerCompletion");
    co_return;
}

QCoro::Task<void> AppEnvironment::sampleTransfers()
{
    step("sampleTransfers");
    co_return;
}

QCoro::Task<void> AppEnvironment::evaluateNotifications()
{
    step("evaluateNotifications");
    co_return;
}

QCoro::Task<void> AppEnvironment::requestNotificationPermission()
{
    step("requestNotificationPermission");
    co_return;
}

void AppEnvironment::applyDiagServer()
{
    step("applyDiagServer");
}

void AppEnvironment::startSweep()
{
    step("startSweep");
}

void AppEnvironment::startVolumeMonitoring()
{
    step("startVolumeMonitoring");
}

void AppEnvironment::setAllSyncedBaseline()
{
    step("setAllSyncedBaseline");
}

} // namespace tw
