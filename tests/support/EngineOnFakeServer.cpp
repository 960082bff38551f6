#include "EngineOnFakeServer.h"

#include <stdexcept>

namespace tw {

EngineOnFakeServer::EngineOnFakeServer()
{
    if (!m_dir.isValid() || !m_server.listen())
        throw std::runtime_error("cannot set up the fake Syncthing server");
    // A supervisor that is never asked to launch anything: it has no program
    // to find, and stop() finds no child to end.
    SyncthingProcess::Options options;
    options.loopbackOnly = true;
    auto process = std::make_shared<SyncthingProcess>(AppPaths(m_dir.path()), QStringList{}, options);
    m_engine = std::make_unique<SyncthingEngine>(
        std::move(process), [](std::chrono::milliseconds) -> QCoro::Task<void> { co_return; });
}

void EngineOnFakeServer::start()
{
    m_engine->attachEndpoint(m_server.baseURL(), QStringLiteral("fake-api-key"));
}

} // namespace tw
