// The environment against a real Syncthing: start-up reconciles a sync, and
// after Syncthing dies whole the watchdog brings it back and the event poller
// follows the new process's events; a Mac paired with it then adds its own
// report to the combined diagnostics over its LAN server.

#include "app/AppEnvironment.h"

#include "controllers/EngineController.h"
#include "controllers/EventController.h"
#include "engine/syncthing/process/SyncthingSweep.h"
#include "projects/ProjectController.h"
#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "MemoryKeychain.h"
#include "RecordingNotifier.h"
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

TEST(AppEnvironmentIntegrationTest, BootstrapsReconcilesComesBackAfterSyncthingIsKilledAndReadsAPairedMac)
{
    SyncthingInstance instance;
    std::unique_ptr<SyncthingEngine> engine = instance.makeEngine();
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.json"));
    MemoryKeychain keychain;
    FeedbackService feedback(QString(), AppPaths(dir.path()));
    RecordingNotifier notifier;
    AppEnvironment::Services services{AppPaths(dir.path())};
    services.defaults = &defaults;
    services.keychain = &keychain;
    services.feedback = &feedback;
    services.notifier = &notifier;
    services.lan = {QHostAddress::LocalHost, freeLoopbackPort()};
    services.autostartEntry = dir.filePath("autostart.desktop");
    // The paired Mac's environment differs only in its files and LAN address.
    AppEnvironment::Services servicesB = services;
    servicesB.paths = AppPaths(dir.filePath("macB"));
    servicesB.lan.address = QHostAddress("127.0.0.2");
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
    SyncthingInstance instanceB("127.0.0.2", "Mac B");
    instanceB.start();
    instance.pairWith(instanceB);
    ASSERT_TRUE(instance.waitUntilConnected(instanceB.deviceID()) && instanceB.waitUntilConnected(instance.deviceID()));
    const std::unique_ptr<SyncthingEngine> engineB = instanceB.makeEngine();
    AppEnvironment envB(*engineB, std::move(servicesB));
    awaitTask(envB.bootstrap());
    ASSERT_TRUE(waitUntil([&] { return !env.connectedPeerHosts().isEmpty(); }, 30000));
    const QString report = awaitTask(env.fullDiagnostics());
    EXPECT_TRUE(report.startsWith("TIDEWELLMESH")
                && report.contains("\n\n================  PEER: Mac B  (127.0.0.2)  ================\nTIDEWELLMESH"));

    // Ends after a whole cycle, so that no step is left half-way when the
    // instance's shutdown runs the event loop.
    bool cycleEnded = false;
    env.setStepObserver([&](QString step) { cycleEnded = cycleEnded || step == "evaluateNotifications"; });
    ASSERT_TRUE(waitUntil([&] { return cycleEnded; }, 30000));
    env.stopLoops();
}

} // namespace
} // namespace tw
