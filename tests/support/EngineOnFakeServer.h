#pragma once

#include "FakeHttpServer.h"
#include "PortRelay.h"
#include "engine/syncthing/SyncthingEngine.h"

#include <QTemporaryDir>
#include <memory>

namespace tw {

// A SyncthingEngine whose REST client talks to a FakeHttpServer, for tests of
// exact request shapes and of answers a real Syncthing cannot be made to give
// on demand. The engine is started the ordinary way: its supervisor launches
// a stand-in program that only sleeps, on the port the supervisor chose; the
// engine's first probe finds nothing there, and while the engine waits to
// probe again a relay from that port to the fake server is opened. Nothing of
// the engine is bypassed.
class EngineOnFakeServer
{
public:
    EngineOnFakeServer();
    ~EngineOnFakeServer();
    EngineOnFakeServer(const EngineOnFakeServer &) = delete;
    EngineOnFakeServer &operator=(const EngineOnFakeServer &) = delete;

    // Starts the engine (waiting on the event loop) and forgets the probes,
    // so requests() holds only what the test causes. Throws what start() throws.
    void start();

    SyncthingEngine &engine() { return *m_engine; }
    FakeHttpServer &server() { return m_server; }
    // The requests since start(), as the fake server recorded them.
    const QList<FakeHttpServer::Request> &requests() const { return m_server.requests(); }

private:
    void openRelay();

    QTemporaryDir m_dir;
    FakeHttpServer m_server;
    std::unique_ptr<PortRelay> m_relay;
    std::shared_ptr<SyncthingProcess> m_process;
    std::unique_ptr<SyncthingEngine> m_engine;
};

} // namespace tw
