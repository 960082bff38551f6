#include "lan/PairedPeerGate.h"

#include "lan/DirectConnection.h"
#include "lan/PeerAddress.h"

#include <QSet>
#include <memory>

namespace tw {
namespace {

// The host of each device connected directly that is also in the device
// list; the first such record counts. A relayed connection's host is the
// relay's, which must never pass for the device.
QHash<QString, QString> hostsOfPairedDevices(const QList<SyncDevice> &devices,
                                             const QList<DeviceConnection> &connections)
{
    QSet<QString> paired;
    for (const SyncDevice &device : devices)
        paired.insert(device.id);
    QHash<QString, QString> hosts;
    for (const DeviceConnection &connection : connections) {
        if (!connection.connected || !DirectConnection::isDirect(connection) || !paired.contains(connection.id)
            || hosts.contains(connection.id))
            continue;
        hosts.insert(connection.id, PeerAddress::hostOfConnectionAddress(connection.address).value_or(QString()));
    }
    return hosts;
}

QCoro::Task<bool> admitsThrough(std::shared_ptr<PairedPeerGate> gate, QString deviceID, QString sourceAddress)
{
    co_return co_await gate->admits(std::move(deviceID), std::move(sourceAddress));
}

} // namespace

PairedPeerGate::PairedPeerGate(SyncEngine *engine, Clock clock) : m_engine(engine), m_clock(std::move(clock)) {}

QCoro::Task<bool> PairedPeerGate::admits(QString deviceID, QString sourceAddress)
{
    if (deviceID.isEmpty())
        co_return false;
    const QHash<QString, QString> hosts = co_await current();
    const auto host = hosts.constFind(deviceID);
    co_return host != hosts.constEnd() && PeerAddress::sameHost(*host, sourceAddress);
}

DiagServer::KnownPeerTest PairedPeerGate::forEngine(SyncEngine *engine, Clock clock)
{
    auto gate = std::make_shared<PairedPeerGate>(engine, std::move(clock));
    return [gate](QString deviceID, QString sourceAddress) {
        return admitsThrough(gate, std::move(deviceID), std::move(sourceAddress));
    };
}

bool PairedPeerGate::isFresh() const
{
    if (!m_picture)
        return false;
    const qint64 age = m_picture->takenAt.msecsTo(m_clock());
    return age >= 0 && age < maxAge.count();
}

QCoro::Task<QHash<QString, QString>> PairedPeerGate::current()
{
    if (!isFresh()) {
        // Requests that come while a refresh is in flight wait here for it
        // and take its picture, even when a slow engine let it age past
        // maxAge meanwhile: otherwise each waiter would refresh in turn.
        const quint64 refreshesSeen = m_refreshesDone;
        const AsyncMutex::Guard guard = co_await m_refreshing.lock();
        if (m_refreshesDone == refreshesSeen && !isFresh()) {
            m_picture = co_await fetch();
            ++m_refreshesDone;
        }
    }
    co_return QHash<QString, QString>(m_picture->hostOfPairedDevice);
}

QCoro::Task<PairedPeerGate::Picture> PairedPeerGate::fetch()
{
    // Stamped before the reads, so the picture is never older than its stamp says.
    Picture picture{m_clock(), {}};
    try {
        if (m_engine) {
            const QList<SyncDevice> devices = co_await m_engine->devices();
            if (m_engine) {
                const QList<DeviceConnection> connections = co_await m_engine->connections();
                picture.hostOfPairedDevice = hostsOfPairedDevices(devices, connections);
            }
        }
    } catch (...) {
        // Whatever the engine cannot tell us does not let a request in.
    }
    co_return picture;
}

} // namespace tw
