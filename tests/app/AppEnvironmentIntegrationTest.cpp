// The environment against a real Syncthing: start-up reconciles a sync, and
// after Syncthing dies whole the watchdog brings it back and the event poller
// follows the new process's events.

#include "app/AppEnvironment.h"

#include "controllers/EngineController.h"
#include "controllers/EventController.h"
#include "engine/syncthing/process/SyncthingSweep.h"
#include "projects/ProjectController.h"
#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "MemoryKeychain.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QDir>
#include <QTcpServer>
#include <csignal>
#include <gtest/gtest.h>

namespace tw {
namespace {

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

TEST(AppEnvironmentIntegrationTest, BootstrapsReconcilesAndComesBackAfterSyncthingIsKilled)
{
    SyncthingInstance instance;
    std::unique_ptr<SyncthingEngine> engine = instance.makeEngine();
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.json"));
    MemoryKeychain keychain;
    FeedbackService feedback(QString(), AppPaths(dir.path()));
    AppEnvironment::Services services{AppPaths(dir.path())};
    services.defaults = &defaults;
    services.keychain = &keychain;
    services.feedback = &feedback;
    services.lan = {QHostAddress::LocalHost, freeLoopbackPort()};
    services.autostartEntry = dir.filePath("autostart.desktop");
    AppEnvironment env(*engine, std::move(services));
    int starts = 0;
    QObject::connect(&env.engineState(), &EngineController::engineStarted, [&starts] { ++starts; });

    const QString syncID = env.projects().createProject("Film", std::nullopt).id;
    ASSERT_TRUE(QDir(dir.path()).mkdir("footage"));
    awaitTask(env.projects().addFolder(syncID, dir.filePath("footage"), std::nullopt, false));
    awaitTask(env.bootstrap());
    ASSERT_TRUE(env.engineState().status().isRunning);
    const std::optional<QString> folderID = env.projects().projects().first().folders.first().syncthingFolderID;
    ASSERT_TRUE(folderID);
    EXPECT_EQ(instance.get("/rest/config/folders/" + *folderID).json()["path"].toString(), dir.filePath("footage"));

    env.startPolling();
    const QList<pid_t> monitorAndChild = SyncthingSweep::processesServing(instance.home());
    ASSERT_EQ(monitorAndChild.size(), 2);
    for (const pid_t pid : monitorAndChild)
        ::kill(pid, SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return starts == 2 && env.engineState().status().isRunning; }, 120000));

    bool configSaved = false;
    QObject::connect(&env.events(), &EventController::configSaved, [&configSaved] { configSaved = true; });
    instance.request("PATCH", "/rest/config/folders/" + *folderID, R"({"label":"Renamed"})", instance.apiKey());
    EXPECT_TRUE(waitUntil([&] { return configSaved; }, 30000));
    // Ends after a whole cycle, so that no step is left half-way when the
    // instance's shutdown runs the event loop.
    bool cycleEnded = false;
    env.setStepObserver([&](QString step) { cycleEnded = cycleEnded || step == "evaluateNotifications"; });
    ASSERT_TRUE(waitUntil([&] { return cycleEnded; }, 30000));
    env.stopLoops();
}

} // namespace
} // namespace tw
