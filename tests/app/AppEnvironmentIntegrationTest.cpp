// The environment against a real Syncthing: start-up reconciles a sync, and
// after Syncthing dies whole the watchdog brings it back and the event poller
// follows the new process's events; a Mac paired with it then adds its own
// report to the combined diagnostics over its LAN server. Two environments on
// two Syncthings carry out a remote purge, then refuse each other's removal
// of one subfolder started at once.

#include "app/AppEnvironment.h"

#include "app/AppPreferences.h"
#include "app/HealthRules.h"
#include "cluster/NasNodeController.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
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
#include <QDateTime>
#include <QFile>
#include <QJsonObject>
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

// One Mac: an environment on its own Syncthing, its LAN server at `address`
// and `port`, asking other Macs on `peerPort`.
struct Mac
{
    explicit Mac(std::unique_ptr<SyncthingEngine> made, quint16 port = freeLoopbackPort(),
                 std::optional<quint16> peerPort = {}, QHostAddress address = QHostAddress::LocalHost)
        : engine(std::move(made))
    {
        services.defaults = &defaults;
        services.keychain = &keychain;
        services.feedback = &feedback;
        services.notifier = &notifier;
        services.lan = {address, port, peerPort};
        services.autostartEntry = dir.filePath("autostart.desktop");
        env = std::make_unique<AppEnvironment>(*engine, services);
    }
    // As the application quits and starts again on the same home.
    void restart(std::unique_ptr<SyncthingEngine> made)
    {
        env->beginQuit();
        env.reset();
        engine = std::move(made);
        env = std::make_unique<AppEnvironment>(*engine, services);
    }
    std::unique_ptr<SyncthingEngine> engine;
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath("defaults.json")};
    MemoryKeychain keychain;
    FeedbackService feedback{QString(), AppPaths(dir.path())};
    RecordingNotifier notifier;
    AppEnvironment::Services services{AppPaths(dir.path())};
    std::unique_ptr<AppEnvironment> env;
};

TEST(AppEnvironmentIntegrationTest, BootstrapsReconcilesComesBackAfterSyncthingIsKilledAndReadsAPairedMac)
{
    SyncthingInstance instance;
    Mac mac(instance.makeEngine());
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
    SyncthingInstance instanceB("127.0.0.2", "Mac B");
    instanceB.start();
    // This Mac asks a peer at the host its connection comes from: only this
    // Mac's Syncthing dials, and soon again after a drop, so that host is
    // Mac B's own address whichever side would have dialled first.
    instance.request("PATCH", "/rest/config/options", R"({"reconnectionIntervalS":2})", instance.apiKey());
    instance.pairWith(instanceB, SyncthingInstance::Dialling::ThisOnly);
    ASSERT_TRUE(instance.waitUntilConnected(instanceB.deviceID()) && instanceB.waitUntilConnected(instance.deviceID()));
    // The paired Mac differs in its files and LAN address, not its port.
    Mac macB(instanceB.makeEngine(), env.lanSetting().port, std::nullopt, QHostAddress("127.0.0.2"));
    awaitTask(macB.env->bootstrap());
    const QString b = instanceB.deviceID();
    const QList<AppEnvironment::PeerHost> hostOfB{{b, "127.0.0.2"}};
    ASSERT_TRUE(waitUntil([&] { return env.connectedPeerHosts() == hostOfB; }, 30000));

    // Each cycle reads Mac B's status: once it answered, its server lets this
    // Mac in. The whole report is asked again on the next cycle, not at once,
    // while Mac B's reads outlast the reader's time-out (a busy machine).
    int cycles = 0;
    env.setStepObserver([&cycles](QString step) { cycles += step == "evaluateNotifications"; });
    const auto nextCycle = [&] {
        const int seen = cycles;
        return waitUntil([&] { return cycles > seen; }, 30000);
    };
    ASSERT_TRUE(waitUntil([&] { return env.peerDiag().reachable().value(b); }, 60000));
    const QString header = "\n\n================  PEER: \u2068Mac B\u2069  (127.0.0.2)  ================\nTIDEWELLMESH";
    QString report = awaitTask(env.fullDiagnostics());
    for (int cycle = 0; cycle < 10 && !report.contains(header); ++cycle) {
        ASSERT_TRUE(nextCycle());
        report = awaitTask(env.fullDiagnostics());
    }
    EXPECT_TRUE(report.startsWith("TIDEWELLMESH") && report.contains(header)) << report.toStdString();

    // Ends after a whole cycle, so that no step is left half-way when the
    // instance's shutdown runs the event loop.
    ASSERT_TRUE(nextCycle());
    env.stopLoops();
}

// "Pause all" is the user's until the user lifts it: the start-up pass after
// a restart leaves every folder paused, and the window still says so.
TEST(AppEnvironmentIntegrationTest, PauseAllOutlivesARestart)
{
    SyncthingInstance instance;
    Mac mac(instance.makeEngine());
    const QString syncID = mac.env->projects().createProject("Film", std::nullopt).id;
    for (const QString name : {"footage", "sound"}) {
        ASSERT_TRUE(QDir(mac.dir.path()).mkdir(name));
        awaitTask(mac.env->projects().addFolder(syncID, mac.dir.filePath(name), std::nullopt, false));
    }
    awaitTask(mac.env->bootstrap());
    const auto pausedInSyncthing = [&instance] {
        QList<bool> paused;
        for (const QJsonValue &folder : instance.get("/rest/config/folders").json().array())
            paused.append(folder["paused"].toBool());
        return paused;
    };
    ASSERT_EQ(pausedInSyncthing(), QList<bool>({false, false}));
    awaitTask(mac.env->engineState().toggleAllPaused());
    ASSERT_EQ(pausedInSyncthing(), QList<bool>({true, true}));

    mac.restart(instance.makeEngine());
    AppEnvironment &env = *mac.env;
    awaitTask(env.bootstrap());
    EXPECT_EQ(pausedInSyncthing(), QList<bool>({true, true}));
    EXPECT_TRUE(env.engineState().isAllPaused());
    EXPECT_EQ(projectHealth(*env.projects().project(syncID), env.healthInputs()), SyncHealth::paused());

    awaitTask(env.engineState().toggleAllPaused());
    EXPECT_EQ(pausedInSyncthing(), QList<bool>({false, false}));
    // "Resume" starts a pass of its own: it ends before its engine goes.
    EXPECT_TRUE(waitUntil([&env] { return !env.projects().isReconciling(); }));
    env.stopLoops();
}

// A user's lines where a negated line comes before the one it excepts from.
const QStringList kUserLines = {"!*-master.mov", "*.mov"};

// The team key, the sync with the other Mac, and its LAN server serving
// purges to paired Macs.
void preparePurge(Mac &mac, const QString &ownID, const QString &otherID, const QString &folderPath)
{
    mac.keychain.items.insert(NasNodeController::clusterSecretAccount, "team key");
    awaitTask(mac.env->nasNode().migrateLegacyKey());
    AppEnvironment *env = mac.env.get();
    env->preferences().setLanDiagnostics(true);
    awaitTask(env->engineState().refreshStatus());
    env->applyDiagServer();
    const ProjectFolder folder{.id = "f", .localPath = folderPath, .ignorePatterns = kUserLines,
                               .syncthingFolderID = "pf"};
    env->projects().add({.id = "S", .members = {{ownID}, {otherID}}, .folders = {folder}});
    awaitTask(env->folders().refresh());
    awaitTask(env->devices().refresh());
}

// Both Macs start removing one subfolder from each other at once.
QCoro::Task<std::pair<PurgeOutcome, PurgeOutcome>> purgeAtOnce(AppEnvironment *a, AppEnvironment *b, QString path)
{
    QCoro::Task<PurgeOutcome> first = a->purgeFromPeers("S", "f", path);
    QCoro::Task<PurgeOutcome> second = b->purgeFromPeers("S", "f", path);
    PurgeOutcome one = co_await std::move(first);
    PurgeOutcome two = co_await std::move(second);
    co_return std::pair(one, two);
}

// The folder has taken in everything the other Mac announced.
bool settled(SyncthingInstance &instance)
{
    const QJsonObject status = instance.get("/rest/db/status?folder=pf").json().object();
    return status["state"].toString() == "idle" && status["needTotalItems"].toInteger(-1) == 0;
}

TEST(AppEnvironmentIntegrationTest, PurgeTrashesTheSubfolderOnTheOtherMacAndTheFolderKeepsSyncing)
{
    SyncthingInstance a, b;
    for (SyncthingInstance *instance : {&a, &b}) {
        instance->start();
        instance->request("PATCH", "/rest/config/options", R"({"reconnectionIntervalS":2})", instance->apiKey());
    }
    a.pairWith(b);
    const QString pathA = a.putFolder("pf", {a.deviceID(), b.deviceID()});
    const QString pathB = b.putFolder("pf", {a.deviceID(), b.deviceID()});
    for (SyncthingInstance *instance : {&a, &b})
        instance->request("POST", "/rest/db/ignores?folder=pf", R"({"ignore":["!*-master.mov","*.mov"]})",
                          instance->apiKey());
    SyncthingInstance::writeFile(pathA + "/sub/take.bin", QByteArray(5000, 'x'));
    SyncthingInstance::writeFile(pathA + "/sub/film-master.mov", "the keeper's cut");
    SyncthingInstance::writeFile(pathA + "/both/reel.bin", "wanted by both");
    a.request("POST", "/rest/db/scan?folder=pf", {}, a.apiKey());
    ASSERT_TRUE(waitUntil([&] {
        return QFile::exists(pathB + "/sub/take.bin") && QFile::exists(pathB + "/sub/film-master.mov")
            && QFile::exists(pathB + "/both/reel.bin");
    }, 60000));
    const quint16 portA = freeLoopbackPort(), portB = freeLoopbackPort();
    Mac macA(a.startedEngine(), portA, portB), macB(b.startedEngine(), portB, portA);
    preparePurge(macB, b.deviceID(), a.deviceID(), pathB);
    ASSERT_TRUE(a.waitUntilConnected(b.deviceID()));
    preparePurge(macA, a.deviceID(), b.deviceID(), pathA);
    // The receiver's trash, on the file system of its folder.
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", (b.root() + "/data").toUtf8());
    const PurgeOutcome outcome = awaitTask(macA.env->purgeFromPeers("S", "f", "/sub"));
    EXPECT_EQ(outcome, PurgeOutcome{.removedCount = 1});
    EXPECT_TRUE(QFile::exists(b.root() + "/data/Trash/files/sub/take.bin") && !QFile::exists(pathB + "/sub"));
    EXPECT_TRUE(QFile::exists(pathA + "/sub/take.bin"));
    EXPECT_EQ(a.get("/rest/config/folders/pf").json()["type"].toString(), "sendreceive");
    SyncthingInstance::writeFile(pathA + "/after.txt", "still syncing");
    a.request("POST", "/rest/db/scan?folder=pf", {}, a.apiKey());
    EXPECT_TRUE(waitUntil([&] { return SyncthingInstance::readFile(pathB + "/after.txt") == "still syncing"; }, 60000));
    // The protection line comes before the user's negated line on both Macs,
    // so Mac B's trashing of the subfolder never reaches the keeper's file.
    SyncthingInstance::writeFile(pathB + "/from-b.txt", "after the trashing");
    b.request("POST", "/rest/db/scan?folder=pf", {}, b.apiKey());
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(pathA + "/from-b.txt") && settled(a); }, 60000));
    EXPECT_EQ(SyncthingInstance::readFile(pathA + "/sub/film-master.mov"), "the keeper's cut");

    // Each Mac refuses the other's command while sending its own, or once
    // its own line keeps the subfolder: both copies stay.
    const auto [fromA, fromB] = awaitTask(purgeAtOnce(macA.env.get(), macB.env.get(), "/both"));
    EXPECT_TRUE(fromA.removedCount == 0 && fromA.failed.size() == 1 && !fromA.failure);
    EXPECT_TRUE(fromB.removedCount == 0 && fromB.failed.size() == 1 && !fromB.failure);
    EXPECT_TRUE(QFile::exists(pathA + "/both/reel.bin") && QFile::exists(pathB + "/both/reel.bin"));
    dataHome.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", dataHome);
}

// The Syncthings stopped while both Macs are still there: a poll still
// under way ends, failing, before its controller goes.
void stopBoth(SyncthingInstance &a, SyncthingInstance &b)
{
    a.stop();
    b.stop();
}

// The sync with the other Macs, its one folder placed at `path`; the
// environment started and polling. A third member is the always-on node.
void place(Mac &mac, const QString &folderID, const QString &path, const QStringList &members,
           const QStringList &ignores = {})
{
    const ProjectFolder folder{.id = "f", .localPath = path, .ignorePatterns = ignores, .syncthingFolderID = folderID};
    QList<ProjectMember> team{{members[0]}, {members[1]}};
    if (members.size() > 2)
        team << ProjectMember{.deviceID = members[2], .isAlwaysOnNode = true};
    mac.env->projects().add({.id = "S", .members = team, .folders = {folder}});
    awaitTask(mac.env->bootstrap());
    mac.env->startPolling();
}

// Two Macs share a folder that is empty on both. An empty folder sends no
// index: once each Mac's Syncthing has the other's cluster config and the
// other Mac's own report rests on the same empty folder, the folder is
// synced on both, not waiting for data for good. Without reports (LAN diagnostics off) an empty
// folder and a first scan look alike: both wait until A's large first file, scanned, is counted.
// An always-on node sends no report and has no content of its own: it never
// keeps a Mac waiting, and its copy reads synced.
void shareAnEmptyFolder(bool reports, bool withNode = false)
{
    SyncthingInstance a, b;
    std::optional<SyncthingInstance> node;
    a.start();
    b.start();
    a.pairWith(b);
    QStringList all{a.deviceID(), b.deviceID()};
    if (withNode) {
        node.emplace("127.0.0.1", "vm");
        node->start();
        a.pairWith(*node);
        b.pairWith(*node);
        all << node->deviceID();
        node->putFolder("ef", all);
    }
    const QString pathA = a.putFolder("ef", all);
    const QString pathB = b.putFolder("ef", all);
    ASSERT_TRUE(a.waitUntilConnected(b.deviceID()) && b.waitUntilConnected(a.deviceID()));
    const quint16 portA = freeLoopbackPort(), portB = freeLoopbackPort();
    Mac macA(a.makeEngine(), portA, portB), macB(b.makeEngine(), portB, portA);
    for (Mac *mac : {&macA, &macB}) {
        mac->env->preferences().setLanDiagnostics(reports);
        ASSERT_TRUE(!node || awaitTask(mac->env->nasNode().configure(node->baseURL().toString(), node->apiKey(), "")));
    }
    place(macA, "ef", pathA, all);
    place(macB, "ef", pathB, all);
    const SyncHealth expected = reports ? SyncHealth::allSynced() : SyncHealth::waiting();
    const auto synced = [&](Mac &mac, const QString &ownID, const QString &otherID) {
        const HealthInputs in = mac.env->healthInputs();
        const Project &sync = in.projects.first();
        return folderHealth(sync.folders.first(), in) == expected
            && projectHealth(sync, in) == expected
            && deviceHealth(sync, ownID, in) == expected && folderHealthOnDevice(sync.folders.first(), otherID, in) == expected
            && (!node || folderHealthOnDevice(sync.folders.first(), node->deviceID(), in) == SyncHealth::allSynced());
    };
    EXPECT_TRUE(waitUntil([&] { return synced(macA, all[0], all[1]) && synced(macB, all[1], all[0]); }, 60000))
        << folderHealth(macA.env->projects().projects().first().folders.first(), macA.env->healthInputs()).label().toStdString();
    QFile big(pathA + "/big.bin");
    ASSERT_TRUE(reports || (big.open(QIODevice::WriteOnly) && big.resize(qint64(1) << 30)));
    a.putFolder("ef", all);  // restarts the folder: its scan runs on
    EXPECT_TRUE(reports || waitUntil([&] { return !synced(macB, all[1], all[0]); }, 120000));
    const SyncHealth left = folderHealth(macB.env->projects().projects().first().folders.first(), macB.env->healthInputs());
    EXPECT_TRUE(reports || left != SyncHealth::allSynced() || macB.env->folders().status("ef").globalBytes > 0) << left.label().toStdString();
    macA.env->stopLoops();
    macB.env->stopLoops();
    // Requests still under way end while their controllers are there.
    stopBoth(a, b);
    if (node)
        node->stop();
}

TEST(AppEnvironmentIntegrationTest, AnEmptyFolderReadsSyncedOnBothMacsOnceTheirIndexesAreExchanged)
{
    shareAnEmptyFolder(true);
    shareAnEmptyFolder(false);
    shareAnEmptyFolder(true, true);
}

// Mac B places a folder; Mac A then offers it with a file of holes so big
// that its scan lasts. Syncthing counts A as taking part at once and B's
// folder of 0 bytes as complete on both, yet nothing of A's index is here:
// B reads its folder synced only once the content is, and A's copy only once A's index is.
TEST(AppEnvironmentIntegrationTest, AFolderReadsSyncedOnlyOnceItsSharersIndexHasCome)
{
    SyncthingInstance a, b;
    a.start();
    b.start();
    a.pairWith(b);
    const QStringList both{a.deviceID(), b.deviceID()};
    ASSERT_TRUE(a.waitUntilConnected(b.deviceID()) && b.waitUntilConnected(a.deviceID()));
    SyncthingInstance::writeFile(b.root() + "/folders/jf/.stignore", "big.bin\n");
    const quint16 portA = freeLoopbackPort(), portB = freeLoopbackPort();
    Mac macA(a.makeEngine(), portA, portB), macB(b.makeEngine(), portB, portA);
    awaitTask(macA.env->bootstrap());
    macA.env->startPolling();
    place(macB, "jf", b.putFolder("jf", both), both, {"big.bin"});
    QStringList moments; // the joiner's folder, its size, and A's copy as B shows them
    const auto contentSynced = [&] {
        const HealthInputs in = macB.env->healthInputs();
        const ProjectFolder &folder = in.projects.first().folders.first();
        const qint64 size = in.folderStatuses.value("jf").globalBytes;
        const QString moment = folderHealth(folder, in).label() + QStringLiteral(" at %1 bytes, A: ").arg(size)
            + folderHealthOnDevice(folder, a.deviceID(), in).label();
        if (moments.isEmpty() || !moments.last().endsWith(moment))
            moments << QStringLiteral("%1 ms ").arg(QDateTime::currentMSecsSinceEpoch()) + moment;
        return moment.startsWith("Everything synced") && size > 0;
    };
    // B has asked about A, who has not taken the folder yet.
    ASSERT_TRUE(waitUntil([&] { return !contentSynced() && macB.env->events().completion()["jf"].contains(a.deviceID()); }, 30000));
    SyncthingInstance::writeFile(a.root() + "/folders/jf/notes.txt", "the shot list");
    QFile big(a.root() + "/folders/jf/big.bin");
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(qint64(4) << 30));
    a.putFolder("jf", both);
    EXPECT_TRUE(waitUntil(contentSynced, 300000));
    ::testing::Test::RecordProperty("moments", moments.join('\n').toStdString());
    // A's copy is complete once its index is counted here, while B may still pull.
    const QString early = moments.mid(0, moments.size() - 1).join('\n');
    EXPECT_FALSE(early.contains(" ms Everything synced") || early.contains(" 0 bytes, A: Everything synced"))
        << moments.join('\n').toStdString();
    macA.env->stopLoops();
    macB.env->stopLoops();
    // Requests still under way end while their controllers are there.
    stopBoth(a, b);
}

} // namespace
} // namespace tw
