#include "app/AppEnvironment.h"

namespace tw {

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

} // namespace tw
