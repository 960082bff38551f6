#pragma once

#include "FakeHttpServer.h"
#include "engine/syncthing/SyncthingEngine.h"

#include <QTemporaryDir>
#include <memory>

namespace tw {

// A SyncthingEngine whose REST client talks to a FakeHttpServer, for tests of
// exact request shapes and of answers a real Syncthing cannot be made to give
// on demand. No child is launched: start() attaches the engine to the fake
// server's endpoint, so every request the server records is one the test
// caused.
class EngineOnFakeServer
{
public:
    EngineOnFakeServer();
    EngineOnFakeServer(const EngineOnFakeServer &) = delete;
    EngineOnFakeServer &operator=(const EngineOnFakeServer &) = delete;

    // Makes the engine count as started on the fake server.
    void start();

    SyncthingEngine &engine() { return *m_engine; }
    FakeHttpServer &server() { return m_server; }
    const QList<FakeHttpServer::Request> &requests() const { return m_server.requests(); }

private:
    QTemporaryDir m_dir;
    FakeHttpServer m_server;
    std::unique_ptr<SyncthingEngine> m_engine;
};

} // namespace tw
