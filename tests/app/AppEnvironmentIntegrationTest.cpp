// The environment against a real Syncthing: start-up reconciles a sync, and
// after Syncthing dies whole the watchdog brings it back and the event poller
// follows the new process's events. Two environments paired on 127.0.0.1 and
// 127.0.0.2 read each other over their LAN servers.

#include "app/AppEnvironment.h"

#include "app/AppPreferences.h"
#include "controllers/EngineController.h"
#include "controllers/EventController.h"
#include "controllers/PeerDiagController.h"
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

// One Mac: an environment on the instance, with files of its own and its LAN
// server on the instance's address.
struct Mac
{
    Mac(SyncthingInstance &instance, quint16 lanPort)
        : engine(instance.makeEngine()), defaults(dir.filePath("defaults.json")),
          feedback(QString(), AppPaths(dir.path()))
    {
        AppEnvironment::Services services{AppPaths(dir.path())};
        services.defaults = &defaults;
        services.keychain = &keychain;
        services.feedback = &feedback;
        services.notifier = &notifier;
        services.lan = {QHostAddress(instance.host()), lanPort};
        services.autostartEntry = dir.filePath("autostart.desktop");
        env = std::make_unique<AppEnvironment>(*engine, std::move(services));
    }

    std::unique_ptr<SyncthingEngine> engine;
    QTemporaryDir dir;
    UserDefaults defaults;
    MemoryKeychain keychain;
    FeedbackService feedback;
    RecordingNotifier notifier;
    std::unique_ptr<AppEnvironment> env;
};

TEST(AppEnvironmentIntegrationTest, BootstrapsReconcilesAndComesBackAfterSyncthingIsKilled)
{
    SyncthingInstance instance;
    Mac mac(instance, freeLoopbackPort());
    AppEnvironment &env = *mac.env;
    const QTemporaryDir &dir = mac.dir;
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

TEST(AppEnvironmentIntegrationTest, CombinedDiagnosticsAddTheConnectedMacsOwnReport)
{
    SyncthingInstance instanceA("127.0.0.1", "Mac A"), instanceB("127.0.0.2", "Mac B");
    instanceA.start();
    instanceB.start();
    instanceA.pairWith(instanceB);
    ASSERT_TRUE(instanceA.waitUntilConnected(instanceB.deviceID()) && instanceB.waitUntilConnected(instanceA.deviceID()));
    instanceB.putFolder("tdw-d1a90001", {}, {{"label", "Film"}});
    ASSERT_TRUE(instanceB.waitUntilIndexed("tdw-d1a90001", 0));
    const quint16 port = freeLoopbackPort();
    Mac macA(instanceA, port), macB(instanceB, port);
    awaitTask(macB.env->bootstrap());
    awaitTask(macA.env->bootstrap());
    // Read at start-up over /status, from B's live statuses.
    EXPECT_EQ(macA.env->peerDiag().status(instanceB.deviceID(), "tdw-d1a90001").value_or(FolderDiagStatus()).state, "idle");

    const QString header = "\n\n================  PEER: Mac B  (127.0.0.2)  ================\n";
    const QString report = awaitTask(macA.env->fullDiagnostics());
    EXPECT_TRUE(report.startsWith("TIDEWELLMESH") && report.contains(header + "TIDEWELLMESH")) << report.toStdString();
    macB.env->preferences().setLanDiagnostics(false);
    EXPECT_TRUE(awaitTask(macA.env->fullDiagnostics()).endsWith(
        header + "(not reachable over LAN \u2014 is \u201cMac B\u201d on this version with LAN diagnostics on, same network/Tailscale?)\n"));
}

} // namespace
} // namespace tw
