#include "app/AppEnvironment.h"

namespace tw {

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

void AppEnvironment::setAllSyncedBaseline()
{
    step("setAllSyncedBaseline");
}

} // namespace tw
