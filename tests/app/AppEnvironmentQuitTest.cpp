#include "app/AppEnvironment.h"

#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"

#include "FakeSyncEngine.h"
#include "MemoryKeychain.h"
#include "QueuedPause.h"
#include "WaitUntil.h"

#include <QHostAddress>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tw {
namespace {

// A cycle that found Syncthing stopped just before the quit began must not
// restart it: the quit is stopping it.
TEST(AppEnvironmentQuitTest, AWatchdogCycleUnderWayRestartsNothingOnceQuitting)
{
    for (const bool quitting : {false, true}) {
        QTemporaryDir dir;
        UserDefaults defaults(dir.filePath("defaults.json"));
        MemoryKeychain keychain;
        FeedbackService feedback(QString(), AppPaths(dir.path()));
        FakeSyncEngine engine;
        std::vector<std::coroutine_handle<>> sleeping;  // the polling loop's pauses
        std::vector<std::coroutine_handle<>> others;
        AppEnvironment::Services services{AppPaths(dir.path())};
        services.defaults = &defaults;
        services.keychain = &keychain;
        services.feedback = &feedback;
        services.lan = {QHostAddress::LocalHost, 0, 1};
        services.sleeper = [&sleeping, &others](std::chrono::milliseconds pause) -> QCoro::Task<void> {
            QueuedPause parked{pause == AppEnvironment::cyclePause ? &sleeping : &others};
            co_await parked;
        };
        AppEnvironment env(engine, std::move(services));
        engine.hold("status");
        env.startPolling();
        for (std::coroutine_handle<> handle : std::exchange(sleeping, {}))
            handle.resume();
        ASSERT_TRUE(waitUntil([&] { return engine.waiting("status") == 1; })) << quitting;
        if (quitting)
            env.beginQuit();
        engine.release("status");
        // The cycle is over once the loop pauses again.
        ASSERT_TRUE(waitUntil([&] { return !sleeping.empty(); })) << quitting;
        EXPECT_EQ(engine.callCount("start"), quitting ? 0 : 1);
        EXPECT_EQ(env.isQuitting(), quitting);
        if (quitting) {
            sleeping.clear();
            env.startPolling();
            EXPECT_TRUE(sleeping.empty()) << "a loop started while quitting";
        }
    }
}

} // namespace
} // namespace tw
