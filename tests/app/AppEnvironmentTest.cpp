#include "app/AppEnvironment.h"

#include "app/AppPreferences.h"
#include "cluster/NasNode.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/EventController.h"
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

    explicit Rig(const QList<NasNode> &nodes = {})
        : defaults(dir.filePath("defaults.json")), feedback(QString(), AppPaths(dir.path()))
    {
        SyncthingInstance::writeFile(dir.filePath("nasnodes.json"), NasNode::listToFile(nodes));
        AppEnvironment::Services services{AppPaths(dir.path())};
        services.defaults = &defaults;
        services.keychain = &keychain;
        services.feedback = &feedback;
        services.monotonic = [this] { return now; };
        services.mountEvents = &mounts;
        services.lan.port = lan.listen() ? lan.port() : 0;
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
    // Ends the pauses the loops (or the sweeps) are in; each goes on to its
    // next pause.
    void wake(bool sweep = false)
    {
        now += 1s;
        const std::vector<std::coroutine_handle<>> handles = std::exchange(sweep ? sweepSleeping : sleeping, {});
        for (std::coroutine_handle<> handle : handles)
            handle.resume();
    }
    QStringList takeTrace() { return std::exchange(trace, {}); }

    QTemporaryDir dir;
    FakeHttpServer lan;  // where paired Macs are asked for their status
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
    const QStringList mount = start + QStringList{"mountsChanged", "iconCacheStale", "refreshVolumeStatus"};
    enum class Wake { Cycle, Sweep, PausedSweep, Mount };
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
        Wake wake = Wake::Cycle;
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
        {"sweep", true, true, true, false, false,
         start + QStringList{"sweep", "scanFolder", "reconcileDirectoryMtimes", "reconcile", "folders", "reconcile",
                             "refreshVolumeStatus", "pause(120000)"},
         false, Wake::Sweep},
        {"sweep, engine down", true, true, false, false, false, start + QStringList{"sweep", "pause(120000)"}, false,
         Wake::Sweep},
        {"sweep, all paused", true, true, true, false, false, start + QStringList{"sweep", "pause(120000)"}, false,
         Wake::PausedSweep},
        {"mount change", true, true, true, false, false,
         mount + QStringList{"reconcile", "folders", "reconcile", "folders"}, false, Wake::Mount},
        {"mount change, engine down", true, true, false, false, false, mount, false, Wake::Mount},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        // One sync, one folder to scan.
        rig.engine.state.folders = {{.id = "F", .mode = FolderSyncMode::ReceiveOnly}};
        rig.env->projects().add({.id = "S"});
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
        awaitTask(rig.env->engineState().refreshStatus());
        if (row.wake == Wake::PausedSweep)
            awaitTask(rig.env->engineState().toggleAllPaused());
        QObject::connect(rig.env.get(), &AppEnvironment::iconCacheStale, [&] { rig.trace.append("iconCacheStale"); });
        QObject::connect(&rig.env->projects(), &ProjectController::isReconcilingChanged,
                         [&] { rig.trace.append("reconcile"); });
        rig.takeTrace();
        rig.env->startPolling();
        if (row.wake == Wake::Mount)
            emit rig.mounts.mountsChanged();
        else
            rig.wake(row.wake != Wake::Cycle);
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
    EXPECT_EQ(rig.sleeping.size(), 2u);
    rig.wake();
    EXPECT_EQ(rig.sleeping.size(), 1u);
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

// One sync folder "F" with PEER, which answers its own status on loopback,
// and QUIET, which never connects; both are seeded while away.
TEST(AppEnvironmentTest, PeerCompletionAsksTheEngineOnlyWhereNothingHasToldIt)
{
    // name, connected, own report's global and need bytes (global 0: no use), value held, ask fails, value after,
    // asks
    using F = std::optional<EventController::Freshness>;
    const std::tuple<const char *, bool, std::pair<qint64, qint64>, F, bool, double, int> rows[] = {
        {"own report", true, {1000, 250}, std::nullopt, false, 75, 0},
        {"seeded while away", true, {0, 0}, std::nullopt, false, 0, 1},
        {"told since connecting", true, {0, 0}, EventController::Freshness::Current, false, 60, 0},
        {"failed ask", true, {0, 0}, EventController::Freshness::Outdated, true, 60, 1},
        {"away", false, {0, 0}, EventController::Freshness::Outdated, false, 60, 0},
    };
    for (const auto &[name, connected, report, held, fails, expected, asks] : rows) {
        Rig rig;
        rig.env->projects().add({.id = "S", .members = {{.deviceID = "PEER"}, {.deviceID = "QUIET"}},
                                 .folders = {{.syncthingFolderID = "F"}}});
        awaitTask(rig.env->seedCompletion());
        if (held)
            rig.env->events().setCompletion("F", "PEER", 60, *held);
        rig.engine.state.connections = {connection("PEER", "127.0.0.1:22000", "tcp-client", true)};
        rig.engine.state.connections[0].connected = connected;
        awaitTask(rig.env->devices().refreshConnections());
        const FolderDiagStatus status{"F", "", "", 0, report.first, report.second};
        rig.lan.enqueue(FakeHttpServer::Response::json(FolderDiagStatus::encodeList({status})));
        awaitTask(rig.env->peerDiag().refresh({{"PEER", "127.0.0.1"}}, "ME"));
        if (fails)
            rig.engine.failNext("deviceCompletion", SyncEngineError::backend("down"));
        awaitTask(rig.env->refreshPeerCompletion());
        // The seed asks for both members, whether connected or not.
        EXPECT_EQ(rig.engine.callCount("deviceCompletion"), 2 + asks) << name;
        EXPECT_EQ(rig.env->events().completion().value("F").value("PEER"), expected) << name;
    }
}

// Present or not, with free space where the volume can be read, each path
// once; the probe that new paths call for runs once more at most, however
// many come.
TEST(AppEnvironmentTest, NewFolderPathsAreProbedOnceMoreAtMost)
{
    Rig rig;
    const QString there = rig.dir.path(), gone = rig.dir.filePath("gone");
    for (const QString &path : {there, gone, gone})
        rig.env->projects().add({.id = path, .folders = {{.localPath = path}}});
    const QMap<QString, bool> online = {{there, true}, {gone, false}};
    ASSERT_TRUE(waitUntil([&] { return rig.env->volumeOnline() == online; }));
    EXPECT_EQ(rig.env->volumeFreeBytes().keys(), QStringList{there});
    EXPECT_EQ(rig.trace.count("refreshVolumeStatus"), 2);
}

// A tree in which "late" is a second behind the engine's record and "even"
// only a fraction of one.
TEST(AppEnvironmentTest, DirectoryTimesComeBackInTwoWayFoldersOnlyNeverBehindADotOrALink)
{
    Rig rig;
    const QDir root(rig.dir.path());
    const QStringList dirs = {"two/late", "two/even", "two/.hidden/in", "one/late", "outside"};
    for (const QString &dir : dirs) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, {dir.endsWith("even") ? 1000 : 999, 900'000'000}};
        ASSERT_TRUE(root.mkpath(dir));
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(root.filePath(dir)).constData(), times, 0), 0);
    }
    ASSERT_TRUE(QFile::link(root.filePath("outside"), root.filePath("two/link")));
    rig.engine.state.folders = {{.id = "two", .path = root.filePath("two") + "/"},
                                {.id = "one", .path = root.filePath("one"), .mode = FolderSyncMode::SendOnly}};
    for (const char *folder : {"two", "one"})
        for (const char *dir : {"late", "even", ".hidden/in", "link"})
            rig.engine.state.directoryModified[folder][dir] = 1000;
    awaitTask(rig.env->folders().refresh());
    awaitTask(rig.env->reconcileDirectoryMtimes());
    for (const QString &dir : dirs)
        EXPECT_EQ(QFileInfo(root.filePath(dir)).lastModified().toMSecsSinceEpoch(),
                  dir == "two/late" ? 1000'000 : dir.endsWith("even") ? 1000'900 : 999'900) << dir.toStdString();
}

} // namespace
} // namespace tw
