// What the whole application costs while nothing changes: the environment
// bootstrapped and polling every 2 s against a real Syncthing holding 50
// folders, each its own sync and shared with 5 devices. One of them (Bert) is
// connected and answers LAN status requests; the other 4 have loopback
// addresses where nothing listens. Team propagation is on. Reported: the
// Syncthing requests per minute by endpoint (from Syncthing's own API trace),
// the LAN status requests apart, the application's CPU and RSS, and
// Syncthing's CPU alone and with the application. Bert's LAN server runs in a
// process of its own (this program, called with --serve-lan), so that its
// work is not counted as the application's.
//
// The main window (offscreen) is measured hidden (in the tray) and then
// shown: the Syncthing requests and CPU it adds, the polling cycles, the
// environment's coalesced changes with the change signals behind them, and
// the refreshes of the window and its status bar.
//
//   TIDEWELL_LOOPBACK_ONLY=1 app_idle_loop [minutes] [alone-minutes]

#include "app/AppEnvironment.h"
#include "cluster/NasNodeController.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "engine/syncthing/process/SyncthingSweep.h"
#include "lan/DiagServer.h"
#include "projects/Project.h"
#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"
#include "app/AppSignals.h"
#include "controllers/DeviceController.h"
#include "controllers/ETAEstimator.h"
#include "controllers/EngineController.h"
#include "controllers/EventController.h"
#include "controllers/FolderController.h"
#include "projects/ProjectController.h"
#include "views/EngineStatusBar.h"
#include "views/MainWindow.h"

#include "AwaitTask.h"
#include "BenchSupport.h"
#include "MemoryKeychain.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMetaMethod>
#include <QEventLoop>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace tw;
using namespace tw::bench;

constexpr int kFolders = 50;
constexpr int kFilesPerFolder = 5;
constexpr int kMadeUpDevices = 4;


// Monitor and child together.
double cpuSecondsOfHome(const QString &home)
{
    double seconds = 0;
    for (const pid_t pid : SyncthingSweep::processesServing(home)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        seconds += (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
    }
    return seconds;
}



struct Window
{
    CostWindow cost;
    int lanRequests = 0;
};

Window measure(double minutes, SyncthingInstance &anna, const int *lanCounter)
{
    const QString home = anna.home();
    const int lan0 = *lanCounter;
    Window window;
    window.cost = measureCost(minutes, [home] { return cpuSecondsOfHome(home); }, logPath(anna));
    window.lanRequests = *lanCounter - lan0;
    return window;
}

void report(const char *title, const Window &window)
{
    const double total = printCost(title, window.cost);
    std::printf("  Syncthing total %.1f requests/min; LAN status %.1f requests/min\n", total,
                window.lanRequests / window.cost.minutes);
}


// One sync per folder, every device a member.
QList<Project> syncs(SyncthingInstance &anna, const QStringList &peers)
{
    QList<Project> projects;
    for (int i = 0; i < kFolders; ++i) {
        const QString id = QStringLiteral("tdw-%1").arg(i, 8, 16, QLatin1Char('0'));
        Project project;
        project.id = QStringLiteral("sync-%1").arg(i);
        project.name = QStringLiteral("Sync %1").arg(i);
        project.createdAt = QDateTime::currentDateTimeUtc();
        ProjectMember own;
        own.deviceID = anna.deviceID();
        own.displayName = anna.name();
        own.isOwnDevice = true;
        project.members.append(own);
        for (const QString &peer : peers) {
            ProjectMember member;
            member.deviceID = peer;
            member.displayName = peer.left(7);
            project.members.append(member);
        }
        ProjectFolder folder;
        folder.id = QStringLiteral("folder-%1").arg(i);
        folder.label = id;
        folder.localPath = anna.root() + QStringLiteral("/folders/") + id;
        folder.syncthingFolderID = id;
        project.folders.append(folder);
        projects.append(project);
    }
    return projects;
}

quint16 freePort(const QHostAddress &address)
{
    QTcpServer probe;
    probe.listen(address, 0);
    return probe.serverPort();
}

// Bert's LAN status server: answers every paired request with an empty
// status and writes one line per answer.
int serveLan(const QString &host, quint16 port)
{
    DiagServer server(DiagServer::Options{.address = QHostAddress(host), .port = port});
    server.isKnownPeer = [](QString, QString) -> QCoro::Task<bool> { co_return true; };
    server.statusProvider = []() -> QCoro::Task<QByteArray> {
        std::printf("status\n");
        std::fflush(stdout);
        co_return QByteArray("[]");
    };
    server.start();
    if (!server.isRunning())
        return 1;
    std::printf("listening\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

// Counts the change signals of the environment and its controllers by name.
class SignalTally : public QObject
{
    Q_OBJECT

public:
    void watch(QObject *source, const QString &prefix)
    {
        const QMetaMethod slot = metaObject()->method(metaObject()->indexOfSlot("hit()"));
        const QMetaObject *meta = source->metaObject();
        for (int i = QObject::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
            const QMetaMethod signal = meta->method(i);
            if (signal.methodType() == QMetaMethod::Signal && signal.name().endsWith("Changed")) {
                connect(source, signal, this, slot);
                m_names[{source, i}] = prefix + QString::fromLatin1(signal.name());
            }
        }
    }
    std::map<QString, int> counts;

public slots:
    void hit() { ++counts[m_names.value({sender(), senderSignalIndex()})]; }

private:
    QMap<std::pair<QObject *, int>, QString> m_names;
};

struct ViewCounts
{
    int cycles = 0;
    int stateChanges = 0;
    int windowRefreshes = 0;
    int barRefreshes = 0;
    std::map<QString, int> signalCounts;
};

void reportViews(const ViewCounts &counts)
{
    std::printf("  polling cycles %d; environment changes told %d; window refreshes %d; status bar refreshes %d\n",
                counts.cycles, counts.stateChanges, counts.windowRefreshes, counts.barRefreshes);
    for (const auto &[name, count] : counts.signalCounts)
        std::printf("    %-44s %6d\n", qPrintable(name), count);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    require(qEnvironmentVariable("TIDEWELL_LOOPBACK_ONLY") == QLatin1String("1"), "TIDEWELL_LOOPBACK_ONLY=1");
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--serve-lan"))
        return serveLan(args[2], quint16(args[3].toUInt()));
    const double minutes = args.size() > 1 ? args[1].toDouble() : 10.0;
    const double aloneMinutes = args.size() > 2 ? args[2].toDouble() : 2.0;

    SyncthingInstance::Settings settings;
    settings.host = QStringLiteral("127.0.0.8");
    settings.name = QStringLiteral("Anna");
    settings.extraEnvironment.insert(QStringLiteral("STTRACE"), QStringLiteral("api"));
    SyncthingInstance anna(settings);
    SyncthingInstance bert(QStringLiteral("127.0.0.9"), QStringLiteral("Bert"));
    anna.start();
    bert.start();
    anna.pairWith(bert);
    QStringList peers = addPausedDevices(anna, kMadeUpDevices, 'P');
    for (const QString &peer : peers)
        setPaused(anna, peer, false);
    peers.append(bert.deviceID());
    for (int i = 0; i < kFolders; ++i)
        for (int f = 0; f < kFilesPerFolder; ++f)
            SyncthingInstance::writeFile(anna.root() + QStringLiteral("/folders/tdw-%1/file-%2.txt")
                                                           .arg(i, 8, 16, QLatin1Char('0'))
                                                           .arg(f),
                                         QByteArray(300 + f, 'x'));
    addFolders(anna, kFolders, peers);
    bert.putFolder(QStringLiteral("tdw-00000000"), {anna.deviceID()});
    require(anna.waitUntilConnected(bert.deviceID(), std::chrono::seconds(60)), "Bert connected");

    // Bert's own LAN status server, on the port this Mac asks.
    const quint16 lanPort = freePort(QHostAddress(bert.host()));
    int lanRequests = 0;
    QProcess bertServer;
    QObject::connect(&bertServer, &QProcess::readyReadStandardOutput, [&] {
        while (bertServer.canReadLine())
            lanRequests += bertServer.readLine().startsWith("status");
    });
    bertServer.start(app.applicationFilePath(), {"--serve-lan", bert.host(), QString::number(lanPort)});
    require(waitUntil([&] { return bertServer.state() == QProcess::Running; }, 10000), "Bert's LAN server");
    runFor(0.05);
    std::printf("Idle cost of the whole polling loop: %d folders x %d files, one sync each, shared with %d devices "
                "(one connected), team propagation on\n",
                kFolders, kFilesPerFolder, kMadeUpDevices + 1);
    runFor(0.5);
    // A window of no time measures nothing: every rate would divide by ~0.
    if (aloneMinutes > 0)
        report("Syncthing alone", measure(aloneMinutes, anna, &lanRequests));

    QTemporaryDir appDir;
    SyncthingInstance::writeFile(appDir.filePath(QStringLiteral("projects.json")),
                                 Project::listToFile(syncs(anna, peers)));
    UserDefaults defaults(appDir.filePath(QStringLiteral("defaults.json")));
    defaults.setBoolean(QStringLiteral("clusterSyncEnabled"), true);
    MemoryKeychain keychain;
    keychain.items.insert(NasNodeController::clusterSecretAccount, QStringLiteral("bench-team-key"));
    FeedbackService feedback(QString(), AppPaths(appDir.path()));
    AppEnvironment::Services services{AppPaths(appDir.path())};
    services.defaults = &defaults;
    services.keychain = &keychain;
    services.feedback = &feedback;
    services.lan = {QHostAddress::LocalHost, lanPort};
    services.autostartEntry = appDir.filePath(QStringLiteral("autostart.desktop"));
    int cycles = 0;
    services.sleeper = [&cycles](std::chrono::milliseconds pause) -> QCoro::Task<void> {
        cycles += pause == AppEnvironment::cyclePause;
        return realSleeper()(pause);
    };
    std::unique_ptr<SyncthingEngine> engine = anna.makeEngine();
    auto env = std::make_unique<AppEnvironment>(*engine, std::move(services));
    awaitTask(env->bootstrap());
    require(env->connectedPeerHosts().size() == 1, "Bert asked over the LAN");
    int teamReads = 0;
    env->setStepObserver([&teamReads](QString step) { teamReads += step == QLatin1String("syncCluster"); });
    env->startPolling();
    defaults.setBoolean(MainWindow::didCompleteSetupKey, true);
    AppSignals appSignals;
    MainWindow mainWindow(*env, appSignals, ViewFactories::standard());
    mainWindow.resize(900, 900);
    int stateChanges = 0;
    QObject::connect(env.get(), &AppEnvironment::stateChanged, [&stateChanges] { ++stateChanges; });
    SignalTally tally;
    tally.watch(env.get(), QString());
    tally.watch(&env->engineState(), QStringLiteral("engine."));
    tally.watch(&env->folders(), QStringLiteral("folders."));
    tally.watch(&env->devices(), QStringLiteral("devices."));
    tally.watch(&env->projects(), QStringLiteral("projects."));
    tally.watch(&env->events(), QStringLiteral("events."));
    tally.watch(&env->eta(), QStringLiteral("eta."));
    tally.watch(&env->peerDiag(), QStringLiteral("peerDiag."));
    runFor(1.0);
    const auto viewCounts = [&](const std::function<Window()> &run) {
        const int cycles0 = cycles, changes0 = stateChanges, window0 = mainWindow.refreshCount();
        const int bar0 = mainWindow.statusBar()->refreshCount();
        tally.counts.clear();
        const Window measured = run();
        ViewCounts counts{cycles - cycles0, stateChanges - changes0, mainWindow.refreshCount() - window0,
                          mainWindow.statusBar()->refreshCount() - bar0, tally.counts};
        return std::make_pair(measured, counts);
    };
    const int teamReadsBefore = teamReads;
    const auto [hidden, hiddenViews] = viewCounts([&] { return measure(minutes, anna, &lanRequests); });
    report("With the application, idle, window hidden", hidden);
    std::printf("  team record read %.1f times/min\n", (teamReads - teamReadsBefore) / hidden.cost.minutes);
    reportViews(hiddenViews);
    mainWindow.show();
    runFor(0.1);
    const auto [shown, shownViews] = viewCounts([&] { return measure(minutes, anna, &lanRequests); });
    report("With the application, idle, window shown", shown);
    reportViews(shownViews);
    std::printf("  window shown adds %+.3f CPU points\n", shown.cost.appCpuPercent - hidden.cost.appCpuPercent);
    env->stopLoops();
    runFor(0.1);
    bertServer.kill();
    bertServer.waitForFinished();
    return 0;
}

#include "app_idle_loop.moc"
