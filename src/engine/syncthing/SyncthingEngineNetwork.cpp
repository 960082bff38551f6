#include "engine/syncthing/SyncthingEngine.h"

#include "engine/syncthing/NetworkOptions.h"
#include "utilities/LoopbackOnly.h"

namespace tw {

QCoro::Task<NetworkSettings> SyncthingEngine::networkSettings()
{
    const SyncthingAPI api = requireAPI();
    const STOptions options = co_await api.getOptions();
    co_return NetworkOptions::settingsFrom(options);
}

QCoro::Task<void> SyncthingEngine::applyNetworkSettings(NetworkSettings settings)
{
    const SyncthingAPI api = requireAPI();
    if (loopbackOnlyRun())
        settings = NetworkOptions::keptToLoopback(std::move(settings));
    // The current address lists decide what is kept; without them nothing is written.
    const STOptions current = co_await api.getOptions();
    co_await api.patchOptions(NetworkOptions::patchFor(settings, current));
}

QCoro::Task<void> SyncthingEngine::setGlobalBandwidth(qint64 downKbps, qint64 upKbps)
{
    const SyncthingAPI api = requireAPI();
    co_await api.patchOptions(NetworkOptions::bandwidthPatch(downKbps, upKbps));
}

QCoro::Task<CumulativeBytes> SyncthingEngine::cumulativeBytes()
{
    const STConnectionsResponse response = co_await sharedConnections();
    CumulativeBytes bytes;
    if (response.total) {
        bytes.inBytes = response.total->inBytesTotal.value_or(0);
        bytes.outBytes = response.total->outBytesTotal.value_or(0);
    }
    co_return bytes;
}

} // namespace tw
