#pragma once

#include "app/AppEnvironment.h"
#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"

#include "FakeSyncEngine.h"
#include "MemoryKeychain.h"
#include "RecordingNotifier.h"

#include <QTemporaryDir>
#include <memory>

namespace tw::bench {

// The application's environment over the fake engine, for the panels'
// benchmarks: a running engine, user defaults in a temporary folder, a
// memory keychain, a recording notifier and a feedback service without an
// endpoint. The benchmark fills `engine.state` before `make()`, and the
// environment's loops stop when it goes.
struct FakeAppEnvironment
{
    FakeAppEnvironment();
    ~FakeAppEnvironment();

    AppEnvironment &make();
    AppEnvironment &env() const { return *m_env; }

    QTemporaryDir dir;
    UserDefaults defaults;
    MemoryKeychain keychain;
    FeedbackService feedback;
    RecordingNotifier notifier;
    FakeSyncEngine engine;

private:
    std::unique_ptr<AppEnvironment> m_env;
};

} // namespace tw::bench
