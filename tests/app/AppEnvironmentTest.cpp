#include "app/AppEnvironment.h"

#include "app/AppPreferences.h"
#include "cluster/NasNode.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/EventController.h"
#include "controllers/FolderController.h"
#include "controllers/PeerDiagController.h"
#include "projects/ProjectController.h"
#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "FakeHttpServer.h"
#include "FakeSyncEngine.h"
#include "MemoryKeychain.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QDir>
#include <QTemporaryDir>
#include <coroutine>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

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

// One sync folder "F" with PEER, which answers its own status on loopback
// when it has a report, and QUIET, which never connects.
TEST(AppEnvironmentTest, PeerCompletionAsksTheEngineOnlyWhereNothingHasToldIt)
{
    enum Held { None, BeforeConnect, AfterConnect, SeededAway };
    struct Row
    {
        const char *name;
        bool connected;
        std::optional<std::pair<qint64, qint64>> report;  // global and need bytes
        Held held;
        bool fails;
        std::optional<double> expected;
        int asks;
    };
    const Row rows[] = {
        {"own report", true, {{1000, 250}}, None, false, 75, 0},
        {"report of nothing, nothing held", true, {{0, 0}}, None, false, 0, 1},
        {"report of nothing, told since connecting", true, {{0, 0}}, AfterConnect, false, 60, 0},
        {"told before connecting", true, std::nullopt, BeforeConnect, false, 0, 1},
        {"seeded while away", true, std::nullopt, SeededAway, false, 0, 1},
        {"failed ask", true, std::nullopt, BeforeConnect, true, 60, 1},
        {"away", false, std::nullopt, None, false, std::nullopt, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        FakeHttpServer lan;
        ASSERT_TRUE(lan.listen());
        Rig rig({}, lan.port());
        awaitTask(rig.env->devices().refresh());
        const QList<ProjectMember> members = {{.deviceID = rig.engine.state.localDeviceID}, {.deviceID = "PEER"},
                                              {.deviceID = "QUIET"}};
        rig.env->projects().add({.id = "S", .members = members, .folders = {{.syncthingFolderID = "F"}}});
        EventController &events = rig.env->events();
        if (row.held == BeforeConnect)
            events.setCompletion("F", "PEER", 60);
        bool connectSeen = false;
        QObject::connect(&events, &EventController::deviceConnected, [&] { connectSeen = true; });
        rig.engine.release("events");
        SyncEvent connected;
        connected.type = "DeviceConnected";
        connected.device = "PEER";
        rig.engine.pushEvent(connected);
        events.start();
        ASSERT_TRUE(waitUntil([&] { return connectSeen; }));
        if (row.held == AfterConnect)
            events.setCompletion("F", "PEER", 60);
        if (row.held == SeededAway) {
            awaitTask(rig.env->seedCompletion());
            EXPECT_EQ(rig.engine.callCount("deviceCompletion"), 2);
        }
        rig.engine.state.connections = {connection("PEER", "127.0.0.1:22000", "tcp-client", true)};
        rig.engine.state.connections[0].connected = row.connected;
        awaitTask(rig.env->devices().refreshConnections());
        if (row.report) {
            FolderDiagStatus report;
            report.folderID = "F";
            std::tie(report.globalBytes, report.needBytes) = *row.report;
            lan.enqueue(FakeHttpServer::Response::json(FolderDiagStatus::encodeList({report})));
            awaitTask(rig.env->peerDiag().refresh({{"PEER", "127.0.0.1"}}, "ME"));
        }
        if (row.fails)
            rig.engine.failNext("deviceCompletion", SyncEngineError::backend("down"));
        const int before = rig.engine.callCount("deviceCompletion");
        awaitTask(rig.env->refreshPeerCompletion());
        EXPECT_EQ(rig.engine.callCount("deviceCompletion") - before, row.asks);
        const QMap<QString, double> held = events.completion().value("F");
        EXPECT_EQ(held.contains("PEER") ? std::optional(held.value("PEER")) : std::nullopt, row.expected);
    }
}

TEST(AppEnvironmentTest, SweepAndMountChangesRunTheirStepsInOrder)
{
    struct Row
    {
        const char *name;
        bool mount;
        bool withSync;
        bool running;
        bool allPaused;
        QStringList steps;
    };
    const QList<Row> rows = {
        {"sweep", false, true, true, false,
         {"sweep", "scanFolder", "reconcileDirectoryMtimes", "reconcile", "folders", "refreshVolumeStatus",
          "pause(120000)"}},
        {"sweep, Syncthing stopped", false, true, false, false, {"sweep", "pause(120000)"}},
        {"sweep, all paused", false, true, true, true, {"sweep", "pause(120000)"}},
        {"mount change", true, true, true, false,
         {"mountsChanged", "iconCacheStale", "refreshVolumeStatus", "reconcile", "folders"}},
        {"mount change, no sync", true, false, true, false,
         {"mountsChanged", "iconCacheStale", "refreshVolumeStatus", "folders"}},
        {"mount change, Syncthing stopped", true, true, false, false,
         {"mountsChanged", "iconCacheStale", "refreshVolumeStatus"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        const QString unplugged = rig.dir.filePath("unplugged");
        if (row.withSync)
            rig.env->projects().add({.id = "S", .folders = {{.localPath = unplugged, .syncthingFolderID = "F"}}});
        rig.engine.state.folders = {{.id = "F", .path = unplugged, .mode = FolderSyncMode::SendOnly}};
        rig.engine.state.running = row.running;
        awaitTask(rig.env->folders().refresh());
        awaitTask(rig.env->engineState().refreshStatus());
        if (row.allPaused)
            awaitTask(rig.env->engineState().toggleAllPaused());
        QObject::connect(rig.env.get(), &AppEnvironment::iconCacheStale, [&] { rig.trace.append("iconCacheStale"); });
        QObject::connect(&rig.env->projects(), &ProjectController::isReconcilingChanged, [&] {
            if (rig.env->projects().isReconciling())
                rig.trace.append("reconcile");
        });
        rig.env->startPolling();
        // The folder's drive is away, and for a mount change it comes back.
        QMap<QString, bool> volumes;
        if (row.withSync)
            volumes[unplugged] = false;
        ASSERT_TRUE(waitUntil([&] { return rig.env->volumeOnline() == volumes; }));
        rig.takeTrace();
        if (row.mount) {
            if (row.withSync)
                volumes[unplugged] = QDir().mkpath(unplugged);
            emit rig.mounts.mountsChanged();
        } else {
            rig.wakeSweep();
        }
        ASSERT_TRUE(waitUntil([&] { return rig.trace.size() >= row.steps.size() && rig.env->volumeOnline() == volumes; }));
        EXPECT_EQ(rig.takeTrace(), row.steps);
    }
}

// The probe that new paths call for runs once more at most, however many
// changes come while it runs.
TEST(AppEnvironmentTest, NewFolderPathsAreProbedOnceMoreAtMost)
{
    Rig rig;
    int probes = 0;
    rig.env->setStepObserver([&](QString step) { probes += step == "refreshVolumeStatus"; });
    for (const QString name : {"a", "b", "c", "c"})
        rig.env->projects().add({.id = name, .folders = {{.localPath = rig.dir.filePath(name)}}});
    ASSERT_TRUE(waitUntil([&] { return rig.env->volumeOnline().size() == 3; }));
    EXPECT_EQ(probes, 2);
}

qint64 mtimeNanoseconds(const QString &path)
{
    struct stat info{};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
}

TEST(AppEnvironmentTest, DirectoryTimesComeBackInTwoWayFoldersOnlyNeverBehindADotOrALink)
{
    Rig rig;
    QTemporaryDir outside;
    const QDir root(rig.dir.path());
    const QStringList dirs = {"two/late", "two/even", "two/.hidden/in", "one/late", "paused/late"};
    for (const QString &dir : dirs)
        ASSERT_TRUE(root.mkpath(dir));
    ASSERT_TRUE(QFile::link(outside.path(), root.filePath("two/link")));
    for (const QString &path : dirs + QStringList{outside.path()}) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, {path.endsWith("even") ? 1000 : 999, 900'000'000}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(root.filePath(path)).constData(), times, 0), 0);
    }
    // A stored path with a slash at its end.
    rig.engine.state.folders = {{.id = "two", .path = root.filePath("two") + "/"},
                                {.id = "one", .path = root.filePath("one"), .mode = FolderSyncMode::SendOnly},
                                {.id = "paused", .path = root.filePath("paused"), .isPaused = true}};
    for (const char *folder : {"two", "one", "paused"})
        for (const char *dir : {"late", "even", ".hidden/in", "link"})
            rig.engine.state.directoryModified[folder][dir] = 1000;
    awaitTask(rig.env->folders().refresh());
    awaitTask(rig.env->reconcileDirectoryMtimes());
    QStringList asked = rig.engine.callsOf("directoryModified");
    asked.sort();
    EXPECT_EQ(asked, QStringList({"directoryModified(paused, late)", "directoryModified(two, even)",
                                  "directoryModified(two, late)"}));
    for (const QString &dir : QStringList{"two/late", "paused/late"})
        EXPECT_EQ(mtimeNanoseconds(root.filePath(dir)), 1000'000'000'000) << dir.toStdString();
    for (const QString &dir : QStringList{"two/even", "two/.hidden/in", "one/late", outside.path()})
        EXPECT_NE(mtimeNanoseconds(root.filePath(dir)) % 1'000'000'000, 0) << dir.toStdString();
}

} // namespace
} // namespace tw
