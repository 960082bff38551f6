#include "FakeAppEnvironment.h"

#include "BenchSupport.h"

namespace tw::bench {

FakeAppEnvironment::FakeAppEnvironment()
    : defaults(dir.filePath(QStringLiteral("defaults.json"))), feedback(QString(), AppPaths(dir.path()))
{
    require(dir.isValid(), "a temporary folder");
    engine.state.running = true;
}

FakeAppEnvironment::~FakeAppEnvironment()
{
    if (m_env)
        m_env->stopLoops();
}

AppEnvironment &FakeAppEnvironment::make()
{
    AppEnvironment::Services services{AppPaths(dir.path())};
    services.defaults = &defaults;
    services.keychain = &keychain;
    services.feedback = &feedback;
    services.notifier = &notifier;
    services.lan = {QHostAddress::LocalHost, 0};
    m_env = std::make_unique<AppEnvironment>(engine, std::move(services));
    return *m_env;
}

} // namespace tw::bench
