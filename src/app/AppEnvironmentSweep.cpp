#include "app/AppEnvironment.h"

namespace tw {

QCoro::Task<void> AppEnvironment::refreshVolumeStatus()
{
    step("refreshVolumeStatus");
    co_return;
}

void AppEnvironment::startSweep()
{
    step("startSweep");
}

void AppEnvironment::startVolumeMonitoring()
{
    step("startVolumeMonitoring");
}

} // namespace tw
