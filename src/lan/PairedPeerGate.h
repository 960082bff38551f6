#pragma once

#include "lan/DiagServer.h"
#include "engine/SyncEngine.h"
#include "utilities/AsyncMutex.h"
#include "utilities/Clock.h"

#include <QDateTime>
#include <QHash>
#include <QPointer>
#include <QString>
#include <chrono>
#include <optional>

#include <qcoro/qcorotask.h>

namespace tw {

// The known-peer test of the LAN status server, answered by the engine.
//
// Device IDs are no secret (they travel in invitation links and QR codes and
// local discovery broadcasts them), so naming a paired device in the sender
// header is not enough: the request must also come from the host of that
// device's current connection.
//
// Any host on the network can send requests, so they must not each cost the
// engine a read of its devices and connections: the gate answers from a
// picture of both that is at most `maxAge` old, and requests that find it
// stale wait for the one refresh in flight.
class PairedPeerGate
{
public:
    static constexpr std::chrono::milliseconds maxAge = std::chrono::seconds(2);

    explicit PairedPeerGate(SyncEngine *engine, Clock clock = systemClock());

    // True when the engine knows the device as paired and is connected to it
    // from the address the request came from. Never throws; what the engine
    // cannot tell admits nobody until the next refresh.
    QCoro::Task<bool> admits(QString deviceID, QString sourceAddress);

    // The test in the form the server takes, with a gate of its own that the
    // test keeps alive; the engine must outlive the server's requests.
    static DiagServer::KnownPeerTest forEngine(SyncEngine *engine, Clock clock = systemClock());

private:
    struct Picture
    {
        QDateTime takenAt;
        QHash<QString, QString> hostOfPairedDevice;  // connected paired devices only
    };

    bool isFresh() const;
    QCoro::Task<QHash<QString, QString>> current();
    QCoro::Task<Picture> fetch();

    QPointer<SyncEngine> m_engine;
    Clock m_clock;
    AsyncMutex m_refreshing;
    quint64 m_refreshesDone = 0;
    std::optional<Picture> m_picture;
};

} // namespace tw
