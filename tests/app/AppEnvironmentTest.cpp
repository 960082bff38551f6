#include "app/AppEnvironment.h"

#include "app/AppPreferences.h"
#include "app/removal/PurgeAuth.h"
#include "app/removal/PurgeCommand.h"
#include "app/removal/ReceivedPurgeRecord.h"
#include "app/removal/PurgeFiles.h"
#include "cluster/BounceRecord.h"
#include "cluster/NasNode.h"
#include "cluster/NasNodeController.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/EventController.h"
#include "controllers/PeerDiagController.h"
#include "creationdates/CreationDateController.h"
#include "creationdates/FileDates.h"
#include "projects/ProjectController.h"
#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "FakeHttpServer.h"
#include "FakeSyncEngine.h"
#include "ManualClock.h"
#include "MemoryKeychain.h"
#include "QueuedPause.h"
#include "QtPrinters.h"
#include "RawClient.h"
#include "RecordingNotifier.h"
#include "StatHook.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QDir>
#include <QJsonDocument>
#include <QNetworkInterface>
#include <QSemaphore>
#include <QThreadPool>
#include <QTemporaryDir>
#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/xattr.h>

namespace tw {
namespace {

using namespace std::chrono_literals;

// Engine calls that mark the controller steps; the rest is detail.
const QStringList kMarkers = {"start", "networkSettings", "localDeviceName", "devices", "addFolder", "folders",
                              "pendingDevices", "events", "cumulativeBytes", "setFolderType", "scanAllFolders"};

// An environment on the fake engine whose loop sleeps until the test lets it
// go on, with one trace of its steps and of the marking engine calls.
struct Rig
{
    explicit Rig(const QList<NasNode> &nodes = {}, quint16 peerPort = 0)
        : defaults(dir.filePath("defaults.json")), feedback(QString(), AppPaths(dir.path()))
    {
        SyncthingInstance::writeFile(dir.filePath("nasnodes.json"), NasNode::listToFile(nodes));
        this->peerPort = peerPort ? peerPort : (lan.listen() ? lan.port() : 1);
        makeEnv();
        engine.hold("events");
        engine.state.running = true;
        engine.beforeAnswer = [this](QString operation) -> QCoro::Task<void> {
            if (kMarkers.contains(operation) && (trace.isEmpty() || trace.last() != operation))
                trace.append(operation);
            co_return;
        };
    }
    // A new environment on the same root, as at the next start; whatever the
    // old one left asleep never wakes.
    void makeEnv()
    {
        env.reset();
        sleeping.clear();
        sweepSleeping.clear();
        AppEnvironment::Services services{AppPaths(dir.path())};
        services.defaults = &defaults;
        services.keychain = &keychain;
        services.feedback = &feedback;
        services.notifier = &notifier;
        services.monotonic = [this] { return now; };
        services.clock = clock.clock();
        services.mountEvents = &mounts;
        services.pathAnswerWait = pathAnswerWait;
        // The fake server stands in for the paired Macs' LAN servers unless
        // a test names its own port.
        services.lan = {QHostAddress::LocalHost, 0, peerPort};
        services.lan.purgeAnswerWait = purgeAnswerWait;
        services.sleeper = [this](std::chrono::milliseconds pause) -> QCoro::Task<void> {
            trace.append(QStringLiteral("pause(%1)").arg(pause.count()));
            QueuedPause parked{pause == AppEnvironment::sweepPause ? &sweepSleeping : &sleeping};
            co_await parked;
        };
        services.autostartEntry = dir.filePath("autostart.desktop");
        env = std::make_unique<AppEnvironment>(engine, std::move(services));
        env->setStepObserver([this](QString step) { trace.append(step); });
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
    RecordingNotifier notifier;
    FakeSyncEngine engine;
    std::chrono::milliseconds now{0};
    ManualClock clock;
    std::vector<std::coroutine_handle<>> sleeping;
    std::vector<std::coroutine_handle<>> sweepSleeping;
    MountEventSource mounts;
    QStringList trace;
    quint16 peerPort = 0;
    std::chrono::milliseconds purgeAnswerWait = AppEnvironment::LanSetting().purgeAnswerWait;
    std::chrono::milliseconds pathAnswerWait = PathLookUps::defaultWait;
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
const QStringList kBaselines = {"requestNotificationPermission", "setNotificationBaselines"};

TEST(AppEnvironmentTest, BootstrapRunsItsStepsInOrder)
{
    const QStringList head = {"startQueue", "installMembershipHook", "start", "networkSettings", "localDeviceName",
                              "refreshVolumeStatus"};
    struct Row { const char *name; bool withSync, missing; QStringList afterHead; };
    const QList<Row> rows = {
        {"no sync", false, false, QStringList{"devices", "folders", "pendingDevices"} + kEngineUp + kBaselines},
        {"one sync, one folder left send-only", true, false,
         QStringList{"devices", "folders", "addFolder", "folders", "pendingDevices"} + kEngineUp.mid(0, 3)
             + QStringList{"folders", "setFolderType"} + kEngineUp.mid(3) + kBaselines},
        {"Syncthing missing", false, true, kBaselines},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        if (row.withSync) {
            const QString id = rig.env->projects().createProject("S", std::nullopt).id;
            // The pass that creating the sync queued ends first, on its own:
            // each pass waits for the disk, so it would otherwise join one of
            // those below as a rerun, or not, by the pool's timing.
            ASSERT_TRUE(waitUntil([&] {
                return rig.env->projects().lastReconcileSummary() && !rig.env->projects().isReconciling();
            }));
            for (const QString name : {"sendonly", "new"}) {
                QDir(rig.dir.path()).mkdir(name);
                if (name == "new")
                    rig.engine.failNext("addFolder", SyncEngineError::backend("down"));
                awaitTask(rig.env->projects().addFolder(id, rig.dir.filePath(name), std::nullopt, false));
            }
            rig.engine.state.folders[0].mode = FolderSyncMode::SendOnly;
            // The trace starts once the volume probes have answered and the
            // loop is idle.
            ASSERT_TRUE(waitUntil([&] {
                return rig.env->volumeOnline().size() == 2 && rig.engine.callCount("addFolder") == 2
                       && !rig.env->projects().isReconciling();
            }));
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
    // Start-up has just read the connections: nothing moving, the cycle
    // leaves them to the idle pace.
    const QStringList throughDevices = start + QStringList{"folders", "devices"};
    const QStringList tail = {"sampleTransfers", "evaluateNotifications", "pause(2000)"};
    const QStringList mount = start + QStringList{"mountsChanged", "iconCacheStale", "refreshVolumeStatus"};
    const QStringList mountPass = {"mountsChanged", "iconCacheStale", "refreshVolumeStatus"};
    // MountBurst: two more changes arrive while the first is handled.
    enum class Wake { Cycle, Sweep, PausedSweep, Mount, MountBurst };
    struct Row { const char *name; bool lanDiagnostics, propagation, running, startBringsItBack, gap; QStringList cycle;
                 bool missing = false; Wake wake = Wake::Cycle; bool transfer = false; };
    const QList<Row> rows = {
        {"running", true, true, true, false, false,
         throughDevices + QStringList{"readPeers", "refreshPeerCompletion", "syncCluster"} + tail},
        {"a transfer under way", true, true, true, false, false,
         start + QStringList{"cumulativeBytes", "folders", "devices", "readPeers", "refreshPeerCompletion",
                             "syncCluster"} + tail,
         false, Wake::Cycle, true},
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
         start + QStringList{"restartEngine", "start", "devices", "reconcile", "folders", "reconcile", "folders"} +
             kEngineUp.mid(0, 6)
             + QStringList{"refreshPeerCompletion", "pause(2000)"}},
        {"sweep", true, true, true, false, false,
         start + QStringList{"sweep", "scanAllFolders", "folders", "reconcileDirectoryMtimes", "reconcile", "folders", "reconcile",
                             "refreshVolumeStatus", "pause(120000)"},
         false, Wake::Sweep},
        {"sweep, engine down", true, true, false, false, false, start + QStringList{"sweep", "pause(120000)"}, false,
         Wake::Sweep},
        {"sweep, all paused", true, true, true, false, false,
         start + QStringList{"sweep", "reconcile", "folders", "reconcile", "pause(120000)"}, false, Wake::PausedSweep},
        {"mount change", true, true, true, false, false, mount, false, Wake::Mount},
        {"mount change, engine down", true, true, false, false, false, mount, false, Wake::Mount},
        {"mount burst", true, true, true, false, false, start + mountPass + mountPass, false, Wake::MountBurst},
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
        if (row.transfer)
            emit rig.env->events().transferProgress();
        awaitTask(rig.env->engineState().refreshStatus());
        if (row.wake == Wake::PausedSweep)
            awaitTask(rig.env->engineState().toggleAllPaused());
        int burst = row.wake == Wake::MountBurst ? 2 : 0;
        QObject::connect(rig.env.get(), &AppEnvironment::iconCacheStale, [&] {
            rig.trace.append("iconCacheStale");
            for (; burst > 0; --burst)
                emit rig.mounts.mountsChanged();
        });
        QObject::connect(&rig.env->projects(), &ProjectController::isReconcilingChanged,
                         [&] { rig.trace.append("reconcile"); });
        rig.takeTrace();
        rig.env->startPolling();
        if (row.wake == Wake::Mount || row.wake == Wake::MountBurst)
            emit rig.mounts.mountsChanged();
        else
            rig.wake(row.wake != Wake::Cycle);
        EXPECT_EQ(rig.takeTrace(), row.cycle);
    }
}

// The engine reads of one mount change: the change is told twice, and the
// second one starts only after the first was handled. Once per environment:
// the second may still be under way.
QStringList readsOfAMountChange(Rig &rig)
{
    const qsizetype before = rig.engine.callLog().size();
    qsizetype handled = -1;
    int started = 0;
    rig.env->setStepObserver([&](QString step) {
        if (step == "mountsChanged" && ++started == 2)
            handled = rig.engine.callLog().size();
    });
    emit rig.mounts.mountsChanged();
    emit rig.mounts.mountsChanged();
    EXPECT_TRUE(waitUntil([&] { return handled >= 0; }));
    QStringList reads = rig.engine.callLog().mid(before, handled - before);
    reads.removeIf([](const QString &call) { return call.startsWith("events(") || call.startsWith("cancelEvents("); });
    return reads;
}

TEST(AppEnvironmentTest, AMountChangeReadsOnlyForASyncFolderThatCameOrWent)
{
    const QStringList reconcile = {"folders()", "localDeviceID()"};
    // gone, goneAfter: the folder's drive is away at start-up, and after it.
    struct Row { const char *name; bool gone, goneAfter; QStringList reads; };
    const QList<Row> rows = {
        {"an unrelated file system", false, false, {}},
        {"the folder's drive gone", false, true, QStringList{"folderStatus(tdw-f)"} + reconcile},
        // Skipped while away, the folder is brought in line now: one write.
        {"the folder's drive back", true, false,
         QStringList{"folderStatus(tdw-f)"} + reconcile +
             QStringList{"ignorePatterns(tdw-f)", "changeFolder(tdw-f, versioning, xattrs)"}},
        {"unrelated, the drive still away", true, true, {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        const QString drive = rig.dir.filePath("drive"), away = rig.dir.filePath("away");
        QDir().mkpath(row.gone ? away : drive);
        rig.engine.state.folders = {{.id = "tdw-f", .path = drive}};
        rig.engine.state.ignores["tdw-f"] = {".*"};
        rig.env->projects().add({.id = "S",
                                 .members = {{rig.engine.state.localDeviceID, "me", MemberRole::Editor, true, false}},
                                 .folders = {{.id = "f", .localPath = drive, .syncthingFolderID = "tdw-f"}}});
        awaitTask(rig.env->bootstrap());
        rig.env->startPolling();
        if (row.gone != row.goneAfter) {
            ASSERT_TRUE(row.goneAfter ? QDir().rename(drive, away) : QDir().rename(away, drive));
        }
        EXPECT_EQ(readsOfAMountChange(rig), row.reads);
        EXPECT_EQ(rig.env->volumeOnline().value(drive), !row.goneAfter);
        EXPECT_FALSE(rig.env->projects().isReconciling());
    }
}

// A look-up on a network mount that stopped answering never returns: the
// folder there shows offline once its wait is over, start-up (its volume
// probe and reconcile pass) and the sweep go on without it, and its answer
// counts when it comes.
TEST(AppEnvironmentTest, AFolderOnAMountThatStoppedAnsweringHoldsUpNothing)
{
    Rig rig;
    rig.pathAnswerWait = 50ms;
    rig.makeEnv();
    const QString dead = rig.dir.filePath("dead"), live = rig.dir.filePath("live");
    for (const QString &path : {dead + "/in", live})
        ASSERT_TRUE(QDir().mkpath(path));
    rig.engine.state.folders = {{.id = "tdw-d", .path = dead}, {.id = "tdw-l", .path = live}};
    test::StatHook held(dead, test::StatHook::untilReleased);
    rig.env->projects().add({.id = "S",
                             .members = {{rig.engine.state.localDeviceID, "me", MemberRole::Editor, true, false}},
                             .folders = {{.id = "d", .localPath = dead, .syncthingFolderID = "tdw-d"},
                                         {.id = "l", .localPath = live, .syncthingFolderID = "tdw-l"}}});
    const QCoro::Task<void> startUp = rig.env->bootstrap();
    ASSERT_TRUE(waitUntil([&] { return startUp.isReady(); }));
    const QMap<QString, bool> deadOffline = {{dead, false}, {live, true}};
    EXPECT_TRUE(waitUntil([&] { return rig.env->volumeOnline() == deadOffline; }));
    rig.env->startPolling();
    rig.wake(true);
    EXPECT_TRUE(waitUntil([&] { return rig.trace.count("pause(120000)") == 2; }));

    held.release();
    EXPECT_TRUE(waitUntil([&] { return rig.env->volumeOnline().value(dead); }));
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

// The engine ended during the start-up pass: the folders it had still to make
// are made as soon as the watchdog has it running again, not at the sweep.
TEST(AppEnvironmentTest, TheWatchdogsRestartReconcilesAtOnce)
{
    Rig rig;
    rig.env->projects().add({.id = "S", .name = "Film", .folders = {{.id = "f", .localPath = rig.dir.path()}}});
    rig.engine.state.running = false;
    awaitTask(rig.env->bootstrap());
    ASSERT_EQ(rig.engine.callCount("addFolder"), 0);
    rig.engine.beforeAnswer = [&rig](QString operation) -> QCoro::Task<void> {
        rig.engine.state.running |= operation == "start";
        co_return;
    };
    rig.env->startPolling();
    rig.wake();
    ASSERT_EQ(rig.engine.callCount("start"), 2);
    // No further cycle runs: the pass waits only for the disk's answer.
    ASSERT_TRUE(waitUntil([&] { return !rig.env->projects().isReconciling(); }));
    EXPECT_EQ(rig.engine.callCount("addFolder"), 1);
    EXPECT_EQ(rig.env->projects().folderOf("S", "f")->syncthingFolderID, rig.engine.state.folders.last().id);
}

// "Pause all" pauses folder after folder; a pass in between (the sweep's, a
// team record's) takes the folders already paused for the user's doing.
// "Resume" resumes every folder, and a pass pauses again at once the one the
// user switched off.
TEST(AppEnvironmentTest, PauseAllAndResumeLeaveEachFolderAsTheUserChose)
{
    Rig rig;
    const QString path = rig.dir.path();
    rig.engine.state.folders = {{.id = "f1", .path = path}, {.id = "f2", .path = path},
                                {.id = "off", .path = path, .isPaused = true}};
    for (SyncFolder &folder : rig.engine.state.folders)
        folder.hasSyncedXattrFilter = true;
    const auto folder = [&path](QString id, bool on) {
        return ProjectFolder{.id = id, .localPath = path, .syncEnabled = on, .archiveDeletedFiles = false,
                             .syncthingFolderID = id};
    };
    rig.env->projects().add({.id = "S", .folders = {folder("f1", true), folder("f2", true), folder("off", false)}});
    rig.engine.beforeAnswer = [&rig](QString operation) -> QCoro::Task<void> {
        if (operation == "setAllPaused:folder" && rig.engine.callCount(operation) == 2)
            rig.engine.hold(operation);
        co_return;
    };
    QCoro::Task<void> pausing = rig.env->engineState().toggleAllPaused();
    ASSERT_TRUE(waitUntil([&] { return rig.engine.waiting("setAllPaused:folder") == 1; }));
    ASSERT_TRUE(rig.engine.state.folders[0].isPaused);
    awaitTask(rig.env->projects().reconcileAll());
    EXPECT_EQ(rig.engine.callLog().filter("paused=false"), QStringList());
    rig.engine.release("setAllPaused:folder");
    awaitTask(std::move(pausing));
    EXPECT_TRUE(rig.env->engineState().isAllPaused());
    const auto paused = [&rig] {
        QList<bool> states;
        for (const SyncFolder &listed : std::as_const(rig.engine.state.folders))
            states.append(listed.isPaused);
        return states;
    };
    EXPECT_EQ(paused(), QList<bool>({true, true, true}));

    // A "Resume" refused at the second folder: the first is paused again and
    // a pass follows.
    rig.engine.beforeAnswer = nullptr;
    const int listings = rig.engine.callCount("folders");
    rig.engine.failNext("setAllPaused:folder", SyncEngineError::notRunning(),
                        rig.engine.callCount("setAllPaused:folder") + 2);
    awaitTask(rig.env->engineState().toggleAllPaused());
    EXPECT_TRUE(rig.env->engineState().isAllPaused());
    EXPECT_EQ(paused(), QList<bool>({true, true, true}));
    EXPECT_TRUE(waitUntil([&] { return rig.engine.callCount("folders") > listings; }));

    awaitTask(rig.env->engineState().toggleAllPaused());
    EXPECT_TRUE(waitUntil([&] { return paused() == QList<bool>({false, false, true}); }));
}

// Whatever slips out of a step ends its cycle, not the loop.
TEST(AppEnvironmentTest, PollingGoesOnAfterACycleThrows)
{
    Rig rig;
    awaitTask(rig.env->bootstrap());
    bool thrown = false;
    rig.env->setStepObserver([&](QString step) {
        rig.trace.append(step);
        if (step == "sampleTransfers" && !std::exchange(thrown, true))
            throw std::runtime_error("injected");
    });
    rig.env->startPolling();
    rig.takeTrace();
    rig.wake();
    const QStringList first = rig.takeTrace();
    EXPECT_TRUE(thrown && first.contains("sampleTransfers") && !first.contains("evaluateNotifications"))
        << first.join(" ").toStdString();
    ASSERT_EQ(first.last(), "pause(2000)");
    rig.wake();
    const QStringList second = rig.takeTrace();
    EXPECT_TRUE(second.contains("sampleTransfers") && second.contains("evaluateNotifications"))
        << second.join(" ").toStdString();
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
    // host: where the Mac is asked, nullptr where not.
    struct Row { const char *address; const char *type; bool isLocal; const char *host; };
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

TEST(AppEnvironmentTest, LanServerAnswersThePageAndPairedMacsFromLiveState)
{
    Rig rig;
    rig.engine.state.devices = {{.id = "NEAR", .name = "n"}};
    rig.engine.state.connections = {connection("NEAR", "127.0.0.1:22000", "tcp-client", true)};
    rig.engine.state.folders = {{.id = "f", .label = "Film"}};
    rig.engine.state.folderStatuses["f"] = {.id = "f", .needBytes = 7, .stateWord = "sync-preparing", .needItems = 2};
    rig.env->preferences().setRemoteStatusEnabled(true);
    rig.env->preferences().setRemoteStatusToken("s3cret");
    rig.env->projects().add({.id = "S", .name = "<b> &amp;"});
    awaitTask(rig.env->bootstrap());
    const QString page = rig.env->dashboardHTML();
    EXPECT_TRUE(page.contains("&lt;b&gt; &amp;amp;") && !page.contains("<b>")) << page.toStdString();
    const QByteArray status = FolderDiagStatus::encodeList({{"f", "Film", "sync-preparing", 0, 0, 7, 2}});
    const struct { bool lanDiagnostics; QString path, from; std::optional<QByteArray> body; } rows[] = {
        {false, "/?t=s3cret", "", page.toUtf8()}, {true, "/?t=s3cre", "", {}}, {true, "/?t=", "", {}},
        {true, "/status", "NEAR", status}, {true, "/status", "OTHER", {}}, {false, "/status", "NEAR", {}},
    };
    QNetworkAccessManager session;
    const PeerDiagController::Options server{rig.env->diagServer().serverPort(), 4000ms};
    for (const auto &row : rows) {
        rig.env->preferences().setLanDiagnostics(row.lanDiagnostics);
        EXPECT_EQ(awaitTask(PeerDiagController::fetchData(row.path, "127.0.0.1", row.from, &session, server)), row.body);
    }
    EXPECT_EQ(rig.engine.callCount("diagnosticsStatus"), 0);
}

// Right after the start, before any request got through, four connections
// from each of eight hosts that never end their heads fill the LAN server's
// cap. The paired Mac is answered while all but the one it replaced still
// wait: their deadline would have closed them all at once.
TEST(AppEnvironmentTest, APairedMacIsAnsweredAtTheLanServersCapBeforeAnyRequestGotThrough)
{
    Rig rig;
    rig.engine.state.devices = {{.id = "MAC", .name = "m"}};
    rig.engine.state.connections = {connection("MAC", "127.0.0.10:22000", "tcp-client", true)};
    awaitTask(rig.env->bootstrap());
    const quint16 port = rig.env->diagServer().serverPort();
    std::vector<std::unique_ptr<RawClient>> slow;
    for (int i = 0; i < 32; ++i) {
        slow.push_back(std::make_unique<RawClient>(QHostAddress(QStringLiteral("127.0.0.%1").arg(2 + i / 4))));
        ASSERT_TRUE(slow.back()->connectTo(port));
        slow.back()->socket.write("GET /sta");
    }
    ASSERT_TRUE(waitUntil([&] { return rig.env->diagServer().openConnections() == 32; }));
    RawClient mac(QHostAddress(QStringLiteral("127.0.0.10")));
    ASSERT_TRUE(mac.connectTo(port));
    mac.socket.write("GET /status HTTP/1.1\r\nX-Tidewell-From: MAC\r\n\r\n");
    ASSERT_TRUE(mac.waitClosed(30000));
    EXPECT_TRUE(mac.received.startsWith("HTTP/1.1 200 OK\r\n")) << mac.received.toStdString();
    EXPECT_EQ(std::count_if(slow.cbegin(), slow.cend(), [](const auto &client) { return client->closed(); }), 1);
}

TEST(AppEnvironmentTest, PostsANewRequestOnceItsNotifierAllowsIt)
{
    Rig rig;
    awaitTask(rig.env->bootstrap());
    rig.engine.state.pendingDevices = {{"D", "d", "a"}};
    awaitTask(rig.env->projects().refreshPending());
    awaitTask(rig.env->evaluateNotifications());
    EXPECT_EQ(rig.notifier.posted, (QList<QPair<QString, QString>>{{"TidewellMesh", NotificationEdges::requestBody}}));
}

const QString kSender = "SENDER";

// A sync whose folder "f" (engine folder "st", idle) lies in the rig's
// "root", shared with kSender, an editor, and VIEWER; the team key is "team".
void addPurgeFolder(Rig &rig, const QList<ProjectMember> &others = {})
{
    const QString root = rig.dir.filePath("root");
    QDir().mkpath(root);
    const QStringList shared = {rig.engine.state.localDeviceID, kSender, "VIEWER"};
    rig.engine.state.folders = {{.id = "st", .path = root, .sharedDeviceIDs = shared}};
    rig.engine.state.folderStatuses["st"].state = FolderState::Idle;
    const ProjectFolder folder{.id = "f", .localPath = root, .syncthingFolderID = "st"};
    const QList<ProjectMember> members{{kSender, "", MemberRole::Editor}, {"VIEWER", "", MemberRole::Viewer}};
    rig.env->projects().add({.id = "S", .members = members + others, .folders = {folder}});
    awaitTask(rig.env->nasNode().importClusterSecret("team"));
    awaitTask(rig.env->folders().refresh());
    awaitTask(rig.env->devices().refresh());
}

template <typename T>
QCoro::Task<void> keep(QCoro::Task<T> task, std::optional<T> *result)
{
    *result = co_await std::move(task);
}

using Arrange = std::function<void(Rig &, PurgeCommand &, QString &from)>;

// Signed anew by `device` after moving the timestamp.
Arrange signedBy(QString device, qint64 skew = 0)
{
    return [device, skew](Rig &, PurgeCommand &c, QString &from) {
        c.timestamp += skew;
        from = device;
        c.hmac = PurgeAuth::sign(from, c.folderID, c.path, c.nonce, c.timestamp, "team");
    };
}

Arrange folderState(FolderState state)
{
    return [state](Rig &r, PurgeCommand &, QString &) { r.engine.state.folderStatuses["st"].state = state; };
}

const QString kGone = R"(200 OK {"deletedBytes":0,"ok":true})";
const QString kReplay = R"(200 OK {"ok":true,"replay":true})";
const QString kBadSignature = R"(403 Forbidden {"error":"bad signature","ok":false})";
const QString kNotShared = R"(403 Forbidden {"error":"not a shared folder","ok":false})";
const QString kInProgress = R"(409 Conflict {"error":"in progress","ok":false})";
const QString kNotCommitted = R"(409 Conflict {"error":"ignore not committed — aborted before delete","ok":false})";

// Each command is sent twice: the second answer tells what the first left
// behind. With a wait, the second copy is sent while the first waits at the
// file check or at the gate, where this Mac starts no removal of its own.
TEST(AppEnvironmentTest, IncomingPurgeAnswersInCheckOrder)
{
    // SwapAtGate: while the command waits at the gate, its subfolder's parent
    // becomes a link to a directory outside the folder.
    enum Wait { None, AtFileCheck, AtGate, SwapAtGate };
    // again: empty where the same as the first.
    struct Row { const char *path; Arrange arrange; QString first, again = {}; QStringList protectedAfter = {};
                 Wait wait = None; };
    const Arrange as = signedBy(kSender);
    const QList<Row> rows = {
        // A negative timestamp stands for a body that is a JSON array.
        {"x", signedBy(kSender, -1e10), R"(400 Bad Request {"error":"bad request","ok":false})"},
        {"x", [](Rig &, PurgeCommand &c, QString &) { c.nonce = "n"; }, R"(400 Bad Request {"error":"bad request","ok":false})"},
        {"x", [](Rig &r, PurgeCommand &c, QString &) {
             r.keychain.items.clear();
             awaitTask(r.env->nasNode().migrateLegacyKey());
             c.hmac = "x";
         }, R"(403 Forbidden {"error":"no shared secret","ok":false})"},
        {"x", signedBy(kSender, -31), kBadSignature},
        {"x", signedBy(kSender, 31), kBadSignature},
        {"x", [](Rig &, PurgeCommand &c, QString &) { c.hmac = c.hmac.toUpper(); }, kBadSignature},
        // Only the whole signature passes: not none, one digit short or one digit off.
        {"dir", [](Rig &, PurgeCommand &c, QString &) { c.hmac.clear(); }, kBadSignature},
        {"dir", [](Rig &, PurgeCommand &c, QString &) { c.hmac.chop(1); }, kBadSignature},
        {"dir", [](Rig &, PurgeCommand &c, QString &) { c.hmac.back() = c.hmac.back() == u'0' ? u'1' : u'0'; },
         kBadSignature},
        {"x", [](Rig &, PurgeCommand &, QString &from) { from = "OTHER"; }, kBadSignature},
        {"gone", signedBy(kSender, -30), kGone, kReplay, {"/gone"}},
        {"gone", signedBy(kSender, 30), kGone, kInProgress, {"/gone"}, AtFileCheck},
        {"gone", as, kGone, kReplay, {"/gone"}, AtGate},
        {"x", signedBy("STRANGER"), kNotShared},
        {"x", signedBy("VIEWER"), kNotShared},
        {"x", [](Rig &r, PurgeCommand &, QString &) { r.env->projects().remove(r.env->projects().projects()[0]); },
         R"(404 Not Found {"error":"no local folder","ok":false})"},
        {".STversions/x", as, R"(400 Bad Request {"error":"bad path","ok":false})"},
        {"out/x", as, R"(400 Bad Request {"error":"escapes folder","ok":false})"},
        {"out", as, R"(400 Bad Request {"error":"symlink","ok":false})"},
        {"in/file", [](Rig &r, PurgeCommand &, QString &) { QFile::link(r.dir.filePath("root/dir"), r.dir.filePath("root/in")); },
         R"(400 Bad Request {"error":"symlink","ok":false})"},
        {"dir/file", as, R"(400 Bad Request {"error":"escapes folder","ok":false})", kReplay, {}, SwapAtGate},
        {"x", folderState(FolderState::Syncing), kNotCommitted, kReplay},
        {"x", [](Rig &r, PurgeCommand &c, QString &f) {
             awaitTask(r.env->projects().addPurgeProtection("st", "/x"));
             folderState(FolderState::Scanning)(r, c, f);
         }, kNotCommitted, kReplay, {"/x"}},
        {"dir", as, R"(200 OK {"deletedBytes":SIZE,"ok":true})", kReplay, {"/dir"}},
        // This Mac's own earlier removal keeps its copy of the subfolder.
        {"dir", [](Rig &r, PurgeCommand &, QString &) {
             awaitTask(r.env->projects().addPurgeProtection("st", "/dir"));
         }, kInProgress, {}, {"/dir"}},
        // A teammate's removal cut short here by the end of the process left
        // its line: no promise of this Mac's, so the next try finishes it.
        {"dir", [](Rig &r, PurgeCommand &, QString &) {
             awaitTask(r.env->projects().addPurgeProtection("st", "/dir"));
             ReceivedPurgeRecord(r.defaults).add("st", "/dir");
         }, R"(200 OK {"deletedBytes":SIZE,"ok":true})", kReplay, {"/dir"}},
        // ... until this Mac removes that subfolder from the others itself.
        {"dir", [](Rig &r, PurgeCommand &, QString &) {
             awaitTask(r.env->projects().addPurgeProtection("st", "/dir"));
             ReceivedPurgeRecord(r.defaults).add("st", "/dir");
             ASSERT_EQ(awaitTask(r.env->purgeFromPeers("S", "f", "dir")).offline.size(), 2);
         }, kInProgress, {}, {"/dir"}},
        // /proc refuses every rename and unlink, also to root.
        {"fdinfo", [](Rig &r, PurgeCommand &, QString &) {
             QDir(r.dir.filePath("root")).removeRecursively();
             QFile::link("/proc/self", r.dir.filePath("root"));
         }, R"(500 Internal Server Error {"error":"delete failed","ok":false})", kReplay, {"/fdinfo"}},
    };
    QThreadPool &pool = *QThreadPool::globalInstance();
    const int threads = pool.maxThreadCount();
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    for (const Row &row : rows) {
        SCOPED_TRACE(row.path);
        Rig rig;
        addPurgeFolder(rig);
        SyncthingInstance::writeFile(rig.dir.filePath("root/dir/file"), QByteArray(5000, 'x'));
        QFile::link(rig.dir.path(), rig.dir.filePath("root/out"));
        SyncthingInstance::writeFile(rig.dir.filePath("outside/file"), "not the folder's");
        qputenv("XDG_DATA_HOME", rig.dir.filePath("data").toUtf8());
        const qint64 size = itemSize(rig.dir.filePath("root/dir"));
        PurgeCommand command{"st", QString("/") + row.path, PurgeAuth::newNonce(), rig.clock.clock()().toSecsSinceEpoch(), {}};
        QString from;
        as(rig, command, from);
        row.arrange(rig, command, from);
        const QByteArray body = command.timestamp < 0 ? "[]" : command.encode();
        if (row.wait == AtGate || row.wait == SwapAtGate)
            folderState(FolderState::Syncing)(rig, command, from);
        QSemaphore fileCheck;
        if (row.wait == AtFileCheck) {
            pool.setMaxThreadCount(1);
            pool.start([&fileCheck] { fileCheck.acquire(); });
        }
        std::optional<DiagServer::PurgeAnswer> first, again;
        QCoro::Task<void> firstTask = keep(rig.env->executeIncomingPurge(from, body), &first);
        if (row.wait != AtFileCheck) {
            ASSERT_TRUE(waitUntil([&] { return first || !rig.sleeping.empty(); }));
        }
        if (row.wait == SwapAtGate && QDir(rig.dir.filePath("root/dir")).removeRecursively())
            QFile::link(rig.dir.filePath("outside"), rig.dir.filePath("root/dir"));
        if (row.wait == AtGate) {
            EXPECT_EQ(awaitTask(rig.env->purgeFromPeers("S", "f", "other")).failure,
                      "A removal for this folder is already running.");
        }
        if (row.wait == AtGate || row.wait == SwapAtGate)
            folderState(FolderState::Idle)(rig, command, from);
        awaitTask(keep(rig.env->executeIncomingPurge(from, body), &again));
        fileCheck.release();
        for (int pause = 0; pause < 120 && !first; ++pause)
            rig.wake();
        ASSERT_TRUE(waitUntil([&] { return first.has_value(); }));
        pool.setMaxThreadCount(threads);
        const QString expected = QString(row.first).replace("SIZE", QString::number(size));
        EXPECT_EQ(first->status + ' ' + first->json, expected);
        EXPECT_EQ(again->status + ' ' + again->json, row.again.isEmpty() ? expected : row.again);
        const std::optional<ProjectFolder> folder = rig.env->projects().folderOf("S", "f");
        EXPECT_EQ(folder ? folder->purgeProtected : QStringList(), row.protectedAfter);
        EXPECT_EQ(QFile::exists(rig.dir.filePath("data/Trash/files/dir/file")), row.first.contains("SIZE"));
        EXPECT_TRUE(QFile::exists(rig.dir.filePath("outside/file")));
    }
    dataHome.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", dataHome);
}

// A refused purge leaves the folder's mode and protected list as they were;
// a second purge of the folder is refused while the first waits at the gate.
TEST(AppEnvironmentTest, PurgeFromPeersFailuresChangeNothing)
{
    struct Row { const char *folderID, *path; std::function<void(Rig &)> arrange; QString failure; int modeSwitches = 0; };
    const auto fails = [](int call) {
        return [call](Rig &r) { r.engine.failNext("folderType", SyncEngineError::backend("down"), call); };
    };
    const QList<Row> rows = {
        {"nope", "x", [](Rig &r) {
             r.keychain.items.clear();
             awaitTask(r.env->nasNode().migrateLegacyKey());
         }, "Secure remote delete needs an always-on node (NAS) configured — its key is the shared secret that "
            "proves the command is really from you."},
        {"nope", "x", [](Rig &) {}, "Folder not found."},
        {"f", "a/../b", [](Rig &) {}, "Invalid path."},
        {"f", "x", [](Rig &r) {
             r.engine.state.localDeviceID.clear();
             r.clock.advanceMs(3'600'000);
             awaitTask(r.env->devices().refresh());
         }, "This Mac isn't ready yet — try again in a moment."},
        {"f", "x", fails(1), "Couldn't read the folder state — aborted, nothing changed."},
        {"f", "x", [](Rig &r) { r.engine.state.folders[0].mode = FolderSyncMode::ReceiveOnly; },
         "This Mac only receives this folder — removing a subfolder from the other Macs needs an editor Mac."},
        {"f", "x", fails(2), "Couldn't engage the safety backstop — aborted, nothing changed.", 2},
        {"f", "x", [](Rig &r) { r.engine.state.folderStatuses["st"].state = FolderState::Syncing; },
         "Couldn't protect your copy yet (ignore not committed) — aborted, nothing deleted on the others.", 2},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.failure.toStdString());
        Rig rig;
        addPurgeFolder(rig);
        row.arrange(rig);
        const FolderSyncMode mode = rig.engine.state.folders[0].mode;
        std::optional<PurgeOutcome> outcome;
        QCoro::Task<void> task = keep(rig.env->purgeFromPeers("S", row.folderID, row.path), &outcome);
        if (!outcome) {
            EXPECT_EQ(awaitTask(rig.env->purgeFromPeers("S", "f", "y")).failure,
                      "A removal for this folder is already running.");
            for (int pause = 0; pause < 120; ++pause)
                rig.wake();
        }
        ASSERT_TRUE(outcome);
        EXPECT_EQ(outcome->failure, row.failure);
        EXPECT_EQ(rig.takeTrace().count("pause(1000)"), row.failure.contains("ignore not committed") ? 120 : 0);
        EXPECT_EQ(rig.engine.state.folders[0].mode, mode);
        EXPECT_EQ(rig.engine.callCount("setFolderType"), row.modeSwitches);
        EXPECT_EQ(rig.env->projects().folderOf("S", "f")->purgeProtected, QStringList());
        EXPECT_TRUE(rig.env->purgeInFlightFolders().isEmpty());
    }
}

// Members in order: this Mac, an empty ID, two always-on nodes, one Mac that
// deletes, one that refuses and one not connected; the folder was send-only.
// What a command holds is shown against a real receiver (integration test).
TEST(AppEnvironmentTest, PurgeFromPeersAsksEachConnectedMacInTurn)
{
    FakeHttpServer macs, node;
    ASSERT_TRUE(macs.listen() && node.listen());
    macs.enqueue(FakeHttpServer::Response::json(R"({"ok":true})"));
    macs.enqueue(FakeHttpServer::Response::text(403, R"({"ok":false,"error":"no shared secret"})"));
    node.setHandler([](const FakeHttpServer::Request &) { return FakeHttpServer::Response::json(R"({"ignore":[]})"); });
    Rig rig({{node.baseURL().toString(), "NODE1", "n1"}, {"http://127.0.0.1:1", "NODE2", "n2"}}, macs.port());
    rig.keychain.items.insert(NasNodeController::keyAccount("NODE1"), "node key");
    QList<ProjectMember> others;
    for (const QString &id : {rig.engine.state.localDeviceID, QString(), QString("NODE1"), QString("NODE2"),
                              QString("OK"), QString("BUSY"), QString("AWAY")}) {
        others.append({id});
        rig.engine.state.devices.append({.id = id, .name = id.toLower()});
        if (id != "AWAY")
            rig.engine.state.connections.append(connection(id, "127.0.0.1:22000", "tcp-client", true));
    }
    addPurgeFolder(rig, others);
    rig.engine.state.folders[0].mode = FolderSyncMode::SendOnly;
    const PurgeOutcome outcome = awaitTask(rig.env->purgeFromPeers("S", "f", "Rushes [old]/"));
    const FailedMac busy{"busy", PurgeAnswer::refusalIn(403, PurgeAnswer::noSharedSecret().body)->reason, true};
    EXPECT_EQ(outcome, (PurgeOutcome{.removedCount = 1,
                                     .offline = {"SENDER", "VIEWER", "away"},
                                     .failed = {busy},
                                     .node = PurgeOutcome::NodeCopy::Hidden}));
    EXPECT_EQ(macs.requests().size(), 2);
    EXPECT_TRUE(node.requests().last().body.contains(R"(/Rushes \\[old\\])"));
    EXPECT_EQ(rig.engine.state.folders[0].mode, FolderSyncMode::SendReceive);
    EXPECT_EQ(rig.env->projects().folderOf("S", "f")->purgeProtected, QStringList{R"(/Rushes \[old\])"});
    EXPECT_FALSE(rig.env->engineState().lastErrorMessage());
}

// This Mac's line stays only while some Mac took the removal or waits for a
// later run; the node is told only then, and a node that did not take its
// line says so. Members in order: SENDER, VIEWER, those the row adds.
TEST(AppEnvironmentTest, APurgeKeepsItsLineOnlyWhileSomeMacTookItOrIsOwedIt)
{
    using Response = FakeHttpServer::Response;
    using Node = PurgeOutcome::NodeCopy;
    using Copy = PurgeOutcome::LocalCopy;
    const Response done = Response::json(R"({"ok":true})");
    const Response noKey = Response::text(403, R"({"ok":false,"error":"no shared secret"})");
    const Response busy = Response::text(409, R"({"ok":false,"error":"in progress"})");
    // answers: of the connected members, in order, the rest offline; liftFails: the engine does not take
    // the list without the line.
    struct Row { const char *name; QList<Response> answers; QStringList offline = {}; bool lineBefore = false;
                 bool nodeUp = true; int removed = 0; Node node = Node::Hidden; Copy copy = Copy::OutOfSync;
                 bool liftFails = false; };
    const QList<Row> rows = {
        {"every Mac refuses for good", {noKey, noKey}, {}, false, true, 0, Node::NotAsked, Copy::SyncsAsBefore},
        {"every Mac refuses for good, the line not lifted", {noKey, noKey}, {}, false, true, 0, Node::NotAsked,
         Copy::LineNotLifted, true},
        {"every Mac refuses for good, the line from before", {noKey, noKey}, {}, true, true, 0, Node::NotAsked,
         Copy::OutOfSyncSinceEarlier},
        {"one Mac may take it later", {noKey, busy}},
        {"one Mac offline", {noKey}, {"viewer"}},
        {"every Mac offline", {}, {"sender", "viewer"}},
        {"every Mac offline, the line from before", {}, {"sender", "viewer"}, true},
        {"one Mac took it, the node down", {done, noKey}, {}, false, false, 1, Node::NotReached},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        FakeHttpServer macs, node;
        ASSERT_TRUE(macs.listen() && node.listen());
        for (const Response &answer : row.answers)
            macs.enqueue(answer);
        node.setHandler([](const FakeHttpServer::Request &) { return Response::json(R"({"ignore":[]})"); });
        const QString nodeURL = row.nodeUp ? node.baseURL().toString() : QString("http://127.0.0.1:1");
        Rig rig({{nodeURL, "NODE1", "n1"}}, macs.port());
        rig.keychain.items.insert(NasNodeController::keyAccount("NODE1"), "node key");
        for (const QString &id : {kSender, QString("VIEWER")}) {
            rig.engine.state.devices.append({.id = id, .name = id.toLower()});
            if (rig.engine.state.connections.size() < row.answers.size())
                rig.engine.state.connections.append(connection(id, "127.0.0.1:22000", "tcp-client", true));
        }
        addPurgeFolder(rig);
        if (row.lineBefore)
            awaitTask(rig.env->projects().addPurgeProtection("st", "/x"));
        if (row.liftFails) {
            const int lift = rig.engine.callCount("updateIgnorePatterns") + 2;
            rig.engine.failNext("updateIgnorePatterns", SyncEngineError::backend("down"), lift);
        }
        const PurgeOutcome outcome = awaitTask(rig.env->purgeFromPeers("S", "f", "x"));
        EXPECT_EQ(outcome.removedCount, row.removed);
        EXPECT_EQ(outcome.offline, row.offline);
        EXPECT_EQ(outcome.node, row.node);
        EXPECT_EQ(outcome.copy, row.copy);
        const bool kept = row.copy != Copy::SyncsAsBefore;
        const QStringList recorded = kept && !row.liftFails ? QStringList{"/x"} : QStringList();
        EXPECT_EQ(rig.env->projects().folderOf("S", "f")->purgeProtected, recorded);
        EXPECT_EQ(rig.engine.state.ignores.value("st").contains("/x"), kept);
        const bool asked = std::any_of(node.requests().cbegin(), node.requests().cend(),
                                       [](const auto &request) { return request.path() == "/rest/db/ignores"; });
        EXPECT_EQ(asked, row.nodeUp && row.node != Node::NotAsked);
        EXPECT_EQ(rig.engine.state.folders[0].mode, FolderSyncMode::SendReceive);
        EXPECT_FALSE(rig.env->engineState().lastErrorMessage());
        if (row.liftFails) {
            // As the result says: the next pass lifts it, with no new run.
            awaitTask(rig.env->projects().reconcileAll());
            EXPECT_FALSE(rig.engine.state.ignores.value("st").contains("/x"));
        }
    }
}

// A Mac that the engine reached at a scoped IPv6 address is asked at it for
// its status and for a removal, each over one real request to ::1; a Mac
// whose address makes no URL is not asked and is not to be tried again.
TEST(AppEnvironmentTest, AMacAtAScopedIPv6AddressIsAskedForItsStatusAndARemoval)
{
    FakeHttpServer mac;
    if (!mac.listen(QHostAddress(QHostAddress::LocalHostIPv6)))
        GTEST_SKIP() << "no IPv6 loopback here";
    mac.setHandler([](const FakeHttpServer::Request &request) {
        return FakeHttpServer::Response::json(request.path() == "/status" ? "[]" : R"({"ok":true})");
    });
    QString zone;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces())
        if (interface.flags().testFlag(QNetworkInterface::IsLoopBack))
            zone = interface.name();
    const QString address = zone.isEmpty() ? "[::1]:22000" : "[::1%" + zone + "]:22000";
    Rig rig({}, mac.port());
    const QList<std::pair<QString, QString>> macs = {{"NEAR", address}, {"ODD", "[::1%lo/x]:22000"}};
    for (const auto &[id, connectedAt] : macs) {
        rig.engine.state.devices.append({.id = id, .name = id.toLower()});
        rig.engine.state.connections.append(connection(id, connectedAt, "tcp-client", true));
    }
    addPurgeFolder(rig, {{"NEAR"}, {"ODD"}});

    QList<PeerDiagController::Peer> peers;
    for (const AppEnvironment::PeerHost &peer : rig.env->connectedPeerHosts())
        peers.append({peer.deviceID, peer.host});
    awaitTask(rig.env->peerDiag().refresh(peers, "ME"));
    EXPECT_EQ(rig.env->peerDiag().reachable(), (PeerReachabilityMap{{"NEAR", true}, {"ODD", false}}));
    const PurgeOutcome outcome = awaitTask(rig.env->purgeFromPeers("S", "f", "x"));
    EXPECT_EQ(outcome, (PurgeOutcome{.removedCount = 1, .offline = {"SENDER", "VIEWER"}, .unaddressable = {"odd"}}));
    ASSERT_EQ(mac.requests().size(), 2);
    EXPECT_EQ(mac.requests()[0].target, "/status");
    EXPECT_EQ(mac.requests()[1].target, "/purge");
}

// Qt's transfer time-out starts again with each byte; the wait does not.
TEST(AppEnvironmentTest, AMacThatTricklesItsPurgeAnswerIsCutOffAtTheWait)
{
    FakeHttpServer macs;
    ASSERT_TRUE(macs.listen());
    FakeHttpServer::Response trickle = FakeHttpServer::Response::json(R"({"ok":true})" + QByteArray(200, ' '));
    trickle.dripMs = 20;  // 4 s in all, each byte well within the wait
    macs.enqueue(trickle);
    Rig rig({}, macs.port());
    rig.purgeAnswerWait = 300ms;
    rig.makeEnv();
    rig.engine.state.devices.append(SyncDevice{.id = "SLOW", .name = "slow"});
    rig.engine.state.connections.append(connection("SLOW", "127.0.0.1:22000", "tcp-client", true));
    addPurgeFolder(rig, {{"SLOW"}});
    const PurgeOutcome outcome = awaitTask(rig.env->purgeFromPeers("S", "f", "x"));
    EXPECT_EQ(outcome.removedCount, 0);
    ASSERT_EQ(outcome.failed.size(), 1);
    EXPECT_EQ(outcome.failed.first().name, "slow");
}

// One sync folder "F" with PEER, which answers its own status on loopback,
// and QUIET, which never connects; both are seeded while away.
TEST(AppEnvironmentTest, PeerCompletionAsksTheEngineOnlyWhereNothingHasToldIt)
{
    // name, connected, own report's global and need bytes (global 0: no use), value held, how the ask ends, value
    // after, asks; the engine answers 0.
    using F = std::optional<EventController::Freshness>;
    enum Ask { Answers, Fails, ToldMeanwhile };
    const std::tuple<const char *, bool, std::pair<qint64, qint64>, F, Ask, double, int> rows[] = {
        {"own report", true, {1000, 250}, std::nullopt, Answers, 75, 0},
        {"seeded while away", true, {0, 0}, std::nullopt, Answers, 0, 1},
        {"told since connecting", true, {0, 0}, EventController::Freshness::Current, Answers, 60, 0},
        {"failed ask", true, {0, 0}, EventController::Freshness::Outdated, Fails, 60, 1},
        {"told while asked", true, {0, 0}, std::nullopt, ToldMeanwhile, 100, 1},
        {"away", false, {0, 0}, EventController::Freshness::Outdated, Answers, 60, 0},
    };
    for (const auto &[name, connected, report, held, ask, expected, asks] : rows) {
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
        if (ask == Fails)
            rig.engine.failNext("peerCompletion", SyncEngineError::backend("down"));
        if (ask == ToldMeanwhile)
            rig.engine.beforeAnswer = [&rig](QString) -> QCoro::Task<void> {
                rig.env->events().setCompletion("F", "PEER", 100);
                co_return;
            };
        awaitTask(rig.env->refreshPeerCompletion());
        // The seed asks for both members, whether connected or not.
        EXPECT_EQ(rig.engine.callCount("peerCompletion"), 2 + asks) << name;
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

// Dates written while a scan runs may have come after the scan read their
// files: each folder is scanned once more, not once per write.
TEST(AppEnvironmentTest, DatesWrittenInAFolderHaveTheEngineIndexItAtOnce)
{
    Rig rig;
    rig.env->projects().add({.id = "p",
                             .folders = {{.localPath = "/one", .syncthingFolderID = "st1"},
                                         {.localPath = "/two", .syncthingFolderID = "st2"},
                                         {.localPath = "/unmade"}}});
    rig.engine.hold("scanFolder");
    CreationDateController &dates = rig.env->creationDates();
    for (const char *folder : {"/one", "/one", "/two", "/one", "/unmade", "/elsewhere"})
        emit dates.attributesWritten(folder);
    EXPECT_EQ(rig.engine.callsOf("scanFolder"), QStringList{"scanFolder(st1)"});
    rig.engine.release("scanFolder");
    ASSERT_TRUE(waitUntil([&] { return rig.engine.callCount("scanFolder") == 3; }));
    EXPECT_EQ(rig.engine.callsOf("scanFolder"),
              QStringList({"scanFolder(st1)", "scanFolder(st1)", "scanFolder(st2)"}));
}

// A quit in the middle of both bounces (this Mac's and the node's) and after
// a removal failed: the next start resumes the Mac on both and removes the
// folder.
TEST(AppEnvironmentTest, BouncesAndRemovalsLeftByAQuitAreFinishedAtTheNextStart)
{
    FakeHttpServer node;
    ASSERT_TRUE(node.listen());
    bool paused = false;
    node.setHandler([&](const FakeHttpServer::Request &request) {
        if (request.method == "PATCH" && request.path() == "/rest/config/devices/MAC")
            paused = QJsonDocument::fromJson(request.body)["paused"].toBool();
        if (request.path() == "/rest/config/folders")
            return FakeHttpServer::Response::json(R"([{"id":"st","path":"/n","devices":[{"deviceID":"MAC"}]}])");
        if (request.path() == "/rest/config/devices")
            return FakeHttpServer::Response::json(paused ? R"([{"deviceID":"MAC","paused":true}])"
                                                         : R"([{"deviceID":"MAC","paused":false}])");
        return FakeHttpServer::Response::json("{}");
    });
    Rig rig({{node.baseURL().toString(), "NODE1", "n"}});
    rig.keychain.items.insert(NasNodeController::keyAccount("NODE1"), "k");
    awaitTask(rig.env->nasNode().migrateLegacyKey());
    const QString path = rig.dir.path();
    rig.engine.state.devices = {{.id = "MAC", .name = "Mac"}};
    rig.engine.state.folders = {{.id = "st", .path = path}, {.id = "gone", .path = path + "/gone"}};
    rig.env->projects().add({.id = "p",
                             .members = {{.deviceID = "MAC"}},
                             .folders = {{.id = "f", .localPath = path, .syncEnabled = true,
                                          .syncthingFolderID = "st", .pausedDeviceIDs = {"MAC"}},
                                         {.id = "g", .localPath = path + "/gone", .syncEnabled = false,
                                          .syncthingFolderID = "gone"}}});

    rig.env->projects().setFolderDeviceState("p", "f", "MAC", false, false);
    rig.env->nasNode().bounceDevice("MAC", {"st"});
    ASSERT_TRUE(waitUntil([&] { return paused && rig.trace.count("pause(2000)") == 2; }));
    rig.engine.failNext("removeFolder", SyncEngineError::backend("down"));
    awaitTask(rig.env->projects().removeFolder("p", "g"));
    const QByteArray stored = SyncthingInstance::readFile(rig.dir.filePath("defaults.json"));
    EXPECT_TRUE(stored.contains("unfinishedBounces") && stored.contains("owedFolderRemovals")) << stored.data();

    rig.makeEnv();
    awaitTask(rig.env->bootstrap());
    EXPECT_TRUE(waitUntil([&] { return !paused; }));
    EXPECT_EQ(rig.engine.callsOf("setDevicePaused").last(), "setDevicePaused(MAC, false)");
    EXPECT_EQ(rig.engine.state.folders.size(), 1);
    EXPECT_TRUE(waitUntil([&] { return !rig.defaults.contains(BounceRecord::key); }));
    EXPECT_FALSE(rig.defaults.contains(ProjectController::owedRemovalsKey));
}

} // namespace
} // namespace tw
