#pragma once

#include "engine/DiagServer.h"
#include "engine/SyncEngine.h"

#include <QPointer>
#include <QString>

#include <qcoro/qcorotask.h>

namespace tw {

// The known-peer test of the LAN status server, answered by the engine.
//
// Device IDs are no secret (they travel in invitation links and QR codes and
// local discovery broadcasts them), so naming a paired device in the sender
// header is not enough: the request must also come from the host of that
// device's current connection.
class PairedPeerGate
{
public:
    // True when the engine knows the device as paired and is connected to it
    // from the address the request came from. Never throws.
    static QCoro::Task<bool> admits(QPointer<SyncEngine> engine, QString deviceID, QString sourceAddress);

    // The test in the form the server takes; the engine must outlive the
    // server's requests.
    static DiagServer::KnownPeerTest forEngine(SyncEngine *engine);
};

} // namespace tw
