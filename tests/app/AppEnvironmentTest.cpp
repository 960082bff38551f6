#include "app/AppEnvironment.h"

#include "app/AppPreferences.h"
#include "cluster/NasNode.h"
#include "controllers/DeviceController.h"
#include "controllers/EventController.h"
#include "projects/ProjectController.h"
#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "FakeSyncEngine.h"
#include "MemoryKeychain.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QDir>
#include <QTemporaryDir>
#include <coroutine>
#include <gtest/gtest.h>

namespace tw {
namespace {

using namespace std::chrono_literals;

// Engine calls that mark the controller steps; the rest is detail.
const QStringList kMarkers = {"start", "networkSettings", "localDeviceName", "devices", "addFolder", "folders",
                              "pendingDevices", "events", "cumulativeBytes", "setFolderType", "scanFolder"};

// An environment on the fake engine whose loop sleeps until the test lets it
// go on, with one trace of its steps and of the marking engine calls.
struct Rig
{
    struct SleepGate
    {
        std::vector<std::coroutine_handle<>> *queue;
        bool await_ready() const { return false; }
        void await_suspend(std::coroutine_handle<> handle) { queue->push_back(handle); }
        void await_resume() const {}
    };

    explicit Rig(const QList<NasNode> &nodes = {}, quint16 lanPort = 48390)
        : defaults(dir.filePath("defaults.json")), feedback(QString(), AppPaths(dir.path()))
    {
        SyncthingInstance::writeFile(dir.filePath("nasnodes.json"), NasNode::listToFile(nodes));
        AppEnvironment::Services services{AppPaths(dir.path())};
        services.defaults = &defaults;
        services.keychain = &keychain;
        services.feedback = &feedback;
        services.monotonic = [this] { return now; };
        services.mountEvents = &mounts;
        services.lan.port = lanPort;
        services.sleeper = [this](std::chrono::milliseconds pause) -> QCoro::Task<void> {
            trace.append(QStringLiteral("pause(%1)").arg(pause.count()));
            co_await SleepGate{pause == AppEnvironment::sweepPause ? &sweepSleeping : &sleeping};
        };
        services.autostartEntry = dir.filePath("autostart.desktop");
        env = std::make_unique<AppEnvironment>(engine, std::move(services));
        env->setStepObserver([this](QString step) { trace.append(step); });
        engine.hold("events");
        engine.state.running = true;
        engine.beforeAnswer = [this](QString operation) -> QCoro::Task<void> {
            if (kMarkers.contains(operation) && (trace.isEmpty() || trace.last() != operation))
                trace.append(operation);
            co_return;
        };
    }
    // Ends the pauses the loops are in; each goes on to its next pause.
    void wake()
    {
        now += 1s;
        const std::vector<std::coroutine_handle<>> handles = std::exchange(sleeping, {});
        for (std::coroutine_handle<> handle : handles)
            handle.resume();
    }
    void wakeSweep()
    {
        for (std::coroutine_handle<> handle : std::exchange(sweepSleeping, {}))
            handle.resume();
    }
    QStringList takeTrace() { return std::exchange(trace, {}); }

    QTemporaryDir dir;
    UserDefaults defaults;
    MemoryKeychain keychain;
    FeedbackService feedback;
    FakeSyncEngine engine;
    std::chrono::milliseconds now{0};
    std::vector<std::coroutine_handle<>> sleeping;
    std::vector<std::coroutine_handle<>> sweepSleeping;
    MountEventSource mounts;
    QStringList trace;
    std::unique_ptr<AppEnvironment> env;
};

DeviceConnection connection(const QString &id, const QString &address, const QString &type, bool isLocal)
{
    DeviceConnection made;
    made.id = id;
    made.connected = true;
    made.address = address;
    made.connectionType = type;
    made.isLocal = isLocal;
    return made;
}

const QStringList kEngineUp = {"onEngineUp", "events", "seedCompletion", "applyDiagServer", "applyClusterSync",
                               "folders", "readPeers", "refreshPeerCompletion"};
const QStringList kBaselines = {"requestNotificationPermission", "setAllSyncedBaseline"};

TEST(AppEnvironmentTest, BootstrapRunsItsStepsInOrder)
{
    const QStringList head = {"startQueue", "installMembershipHook", "start", "networkSettings", "localDeviceName",
                              "refreshVolumeStatus"};
    struct Row
    {
        const char *name;
        bool withSync;
        bool missing;
        QStringList afterHead;
    };
    const QList<Row> rows = {
        {"no sync", false, false, QStringList{"devices", "folders", "pendingDevices"} + kEngineUp + kBaselines},
        {"one sync, one folder left send-only", true, false,
         QStringList{"devices", "folders", "addFolder", "folders", "pendingDevices"} + kEngineUp.mid(0, 3)
             + QStringList{"setFolderType"} + kEngineUp.mid(3) + kBaselines},
        {"Syncthing missing", false, true, kBaselines},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        if (row.withSync) {
            const QString id = rig.env->projects().createProject("S", std::nullopt).id;
            for (const QString name : {"sendonly", "new"}) {
                QDir(rig.dir.path()).mkdir(name);
                // Also fails the pass that creating the sync queued.
                for (int i = 0; name == "new" && i < 2; ++i)
                    rig.engine.failNext("addFolder", SyncEngineError::backend("down"));
                awaitTask(rig.env->projects().addFolder(id, rig.dir.filePath(name), std::nullopt, false));
            }
            rig.engine.state.folders[0].mode = FolderSyncMode::SendOnly;
            ASSERT_TRUE(waitUntil([&] { return rig.env->volumeOnline().size() == 2; }));
            rig.takeTrace();
        }
        if (row.missing) {
            rig.engine.state.running = false;
            rig.engine.failNext("start", SyncEngineError::binaryNotFound("syncthing"));
        }
        awaitTask(rig.env->bootstrap());
        EXPECT_EQ(rig.takeTrace(), head + row.afterHead);
    }
}

TEST(AppEnvironmentTest, OneCycleRunsItsStepsInOrder)
{
    const QStringList start = {"pause(2000)", "startSweep", "pause(120000)", "startVolumeMonitoring"};
    const QStringList throughDevices = start + QStringList{"cumulativeBytes", "folders", "devices"};
    const QStringList tail = {"sampleTransfers", "evaluateNotifications", "pause(2000)"};
    struct Row
    {
        const char *name;
        bool lanDiagnostics;
        bool propagation;
        bool running;
        bool startBringsItBack;
        bool gap;
        QStringList cycle;
        bool missing = false;
    };
    const QList<Row> rows = {
        {"running", true, true, true, false, false,
         throughDevices + QStringList{"readPeers", "refreshPeerCompletion", "syncCluster"} + tail},
        {"gap in the events", true, false, true, false, true,
         throughDevices + QStringList{"readPeers", "refreshPeerCompletion", "sampleTransfers", "pendingDevices",
                                      "evaluateNotifications", "pause(2000)"}},
        {"LAN diagnostics off", false, true, true, false, false,
         throughDevices + QStringList{"refreshPeerCompletion", "syncCluster"} + tail},
        {"propagation off", true, false, true, false, false,
         throughDevices + QStringList{"readPeers", "refreshPeerCompletion"} + tail},
        {"engine down", true, true, false, false, false, start + QStringList{"restartEngine", "start", "pause(2000)"}},
        {"Syncthing missing", true, true, false, false, false, start + QStringList{"pause(2000)"}, true},
        {"restart succeeds", false, true, false, true, false,
         start + QStringList{"restartEngine", "start", "devices", "folders"} + kEngineUp.mid(0, 6)
             + QStringList{"refreshPeerCompletion", "pause(2000)"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        if (row.missing)
            rig.engine.failNext("start", SyncEngineError::binaryNotFound("syncthing"));
        awaitTask(rig.env->bootstrap());
        rig.env->preferences().setLanDiagnostics(row.lanDiagnostics);
        rig.env->preferences().setClusterSyncEnabled(row.propagation);
        rig.engine.state.running = row.running;
        rig.engine.beforeAnswer = [&rig, row, marker = rig.engine.beforeAnswer](QString operation) {
            if (operation == "start" && row.startBringsItBack)
                rig.engine.state.running = true;
            return marker(operation);
        };
        if (row.gap)
            emit rig.env->events().streamGap();
        rig.takeTrace();
        rig.env->startPolling();
        rig.wake();
        EXPECT_EQ(rig.takeTrace(), row.cycle);
    }
}

TEST(AppEnvironmentTest, WatchdogWaitsLongerAfterEachFailedRestartAndStartsOverOnceTheEngineRan)
{
    Rig rig;
    awaitTask(rig.env->bootstrap());
    rig.engine.state.running = false;
    QList<qint64> attempts;
    rig.env->setStepObserver([&](QString step) {
        if (step == "restartEngine")
            attempts.append(rig.now.count() / 1000);
    });
    rig.env->startPolling();
    for (int second = 1; second <= 140; ++second) {
        rig.engine.state.running = second == 131;
        rig.wake();
    }
    EXPECT_EQ(attempts, QList<qint64>({1, 6, 21, 66, 126, 132, 137}));
}

TEST(AppEnvironmentTest, StartingThePollingLoopAgainLeavesOneLoop)
{
    Rig rig;
    rig.env->startPolling();
    rig.env->startPolling();
    EXPECT_EQ(rig.sleeping.size() + rig.sweepSleeping.size(), 4u);
    rig.wake();
    rig.wakeSweep();
    EXPECT_EQ(rig.sleeping.size() + rig.sweepSleeping.size(), 2u);
}

TEST(AppEnvironmentTest, PeersAreAskedOnlyOverDirectConnectionsAndNodesAreLeftOut)
{
    struct Row
    {
        const char *address;
        const char *type;
        bool isLocal;
        const char *host;  // nullptr: not asked
    };
    const QList<Row> rows = {
        {"[fe80::1]:22000", "tcp-client", true, "[fe80::1]"},
        {"1.2.3.4:22000", "tcp-server", true, "1.2.3.4"},
        {"[fe80::1:22000", "tcp-client", true, nullptr},
        {"192.168.1.5", "quic-client", true, "192.168.1.5"},
        {"100.101.102.103:22000", "tcp-client", false, "100.101.102.103"},
        {"8.8.8.8:22000", "tcp-client", false, nullptr},
        {"10.0.0.9:22067", "relay-client", true, nullptr},
    };
    const QList<NasNode> nodes = {{"http://127.0.0.1:1", "NODE1", "n1"}, {"http://127.0.0.1:2", "NODE2", "n2"}};
    Rig rig(nodes);
    QList<AppEnvironment::PeerHost> expected;
    for (const QString &id : {QString("NODE1"), QString("NODE2"), rig.engine.state.localDeviceID})
        rig.engine.state.connections.append(connection(id, "10.0.0.1:22000", "tcp-client", true));
    rig.engine.state.devices = {{.id = rig.engine.state.localDeviceID, .name = "me", .isThisDevice = true},
                                {.id = "NODE1", .name = "n1"}, {.id = "NODE2", .name = "n2"}};
    for (int i = 0; i < rows.size(); ++i) {
        const QString id = QString("MAC%1").arg(i);
        rig.engine.state.devices.append({.id = id, .name = id});
        rig.engine.state.connections.append(connection(id, rows[i].address, rows[i].type, rows[i].isLocal));
        if (rows[i].host)
            expected.append({id, rows[i].host});
    }
    awaitTask(rig.env->devices().refresh());
    EXPECT_EQ(rig.env->connectedPeerHosts(), expected);
    EXPECT_EQ(rig.env->knownPeerDevices().size(), rows.size());
}

} // namespace
} // namespace tw
