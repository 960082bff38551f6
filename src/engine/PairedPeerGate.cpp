#include "engine/PairedPeerGate.h"

#include "engine/PeerAddress.h"

namespace tw {

QCoro::Task<bool> PairedPeerGate::admits(QPointer<SyncEngine> engine, QString deviceID, QString sourceAddress)
{
    if (deviceID.isEmpty() || !engine)
        co_return false;
    try {
        const bool paired = co_await engine->isPairedDevice(deviceID);
        if (!paired || !engine)
            co_return false;
        const QList<DeviceConnection> connections = co_await engine->connections();
        for (const DeviceConnection &connection : connections) {
            if (connection.id != deviceID || !connection.connected)
                continue;
            const std::optional<QString> host = PeerAddress::hostOfConnectionAddress(connection.address);
            co_return host && PeerAddress::sameHost(*host, sourceAddress);
        }
    } catch (...) {
        // Whatever the engine cannot tell us does not let a request in.
    }
    co_return false;
}

DiagServer::KnownPeerTest PairedPeerGate::forEngine(SyncEngine *engine)
{
    return [engine = QPointer<SyncEngine>(engine)](QString deviceID, QString sourceAddress) {
        return admits(engine, std::move(deviceID), std::move(sourceAddress));
    };
}

} // namespace tw
