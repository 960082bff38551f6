// What the whole application costs while nothing changes: the environment
// bootstrapped and polling every 2 s against a real Syncthing holding one
// folder per sync, each shared with 5 other Macs, none of them connected
// (with --bert one of them, Bert, is connected and answers LAN status
// requests from a process of its own, so that its work is not counted as the
// application's). Team propagation is on. Reported: the Syncthing requests
// per minute by endpoint (from Syncthing's own API trace), the application's
// CPU and RSS, and Syncthing's CPU alone and with the application; then what
// one mount-table change that concerns no sync costs. With --new the syncs
// are new: no engine folder exists yet, and the start-up reconcile makes
// them all; its requests and the peak RSS are reported.
//
//   TIDEWELL_LOOPBACK_ONLY=1 app_idle_loop [minutes] [alone-minutes] [syncs]
//                                          [--new] [--bert]

#include "app/AppEnvironment.h"
#include "cluster/NasNodeController.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "lan/DiagServer.h"
#include "platform/MountEventSource.h"
#include "projects/Project.h"
#include "projects/ProjectController.h"
#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "BenchSupport.h"
#include "MemoryKeychain.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QEventLoop>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

using namespace tw;
using namespace tw::bench;

constexpr int kFilesPerFolder = 5;
constexpr int kMadeUpDevices = 4;

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
QList<Project> syncs(SyncthingInstance &anna, const QStringList &peers, int count, bool made)
{
    QList<Project> projects;
    for (int i = 0; i < count; ++i) {
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
        if (made)
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

double peakRssMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

void printRequests(const std::map<QString, Traced> &requests)
{
    int total = 0;
    for (const auto &[what, entry] : requests) {
        std::printf("  %-44s %6d requests\n", qPrintable(what), entry.count);
        total += entry.count;
    }
    std::printf("  total %d requests\n", total);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    requireLoopbackOnly();
    QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--serve-lan"))
        return serveLan(args[2], quint16(args[3].toUInt()));
    const bool fresh = args.removeAll(QStringLiteral("--new")) > 0;
    const bool withBert = args.removeAll(QStringLiteral("--bert")) > 0;
    const double minutes = args.size() > 1 ? args[1].toDouble() : 10.0;
    const double aloneMinutes = args.size() > 2 ? args[2].toDouble() : 2.0;
    const int folders = args.size() > 3 ? args[3].toInt() : 50;

    SyncthingInstance::Settings settings;
    settings.host = QStringLiteral("127.0.0.8");
    settings.name = QStringLiteral("Anna");
    settings.extraEnvironment.insert(QStringLiteral("STTRACE"), QStringLiteral("api"));
    SyncthingInstance anna(settings);
    SyncthingInstance bert(QStringLiteral("127.0.0.9"), QStringLiteral("Bert"));
    anna.start();
    QStringList peers = addPausedDevices(anna, withBert ? kMadeUpDevices : kMadeUpDevices + 1, 'P');
    for (const QString &peer : peers)
        setPaused(anna, peer, false);
    if (withBert) {
        bert.start();
        anna.pairWith(bert);
        peers.append(bert.deviceID());
    }
    for (int i = 0; i < folders; ++i)
        for (int f = 0; f < kFilesPerFolder; ++f)
            SyncthingInstance::writeFile(anna.root() + QStringLiteral("/folders/tdw-%1/file-%2.txt")
                                                           .arg(i, 8, 16, QLatin1Char('0'))
                                                           .arg(f),
                                         QByteArray(300 + f, 'x'));
    if (!fresh)
        addFolders(anna, folders, peers);
    if (withBert) {
        bert.putFolder(QStringLiteral("tdw-00000000"), {anna.deviceID()});
        require(anna.waitUntilConnected(bert.deviceID(), std::chrono::seconds(60)), "Bert connected");
    }

    // Bert's own LAN status server, on the port this Mac asks.
    const quint16 lanPort = freePort(QHostAddress(withBert ? bert.host() : anna.host()));
    int lanRequests = 0;
    QProcess bertServer;
    if (withBert) {
        QObject::connect(&bertServer, &QProcess::readyReadStandardOutput, [&] {
            while (bertServer.canReadLine())
                lanRequests += bertServer.readLine().startsWith("status");
        });
        bertServer.start(app.applicationFilePath(), {"--serve-lan", bert.host(), QString::number(lanPort)});
        require(waitUntil([&] { return bertServer.state() == QProcess::Running; }, 10000), "Bert's LAN server");
    }
    runFor(0.05);
    std::printf("Idle cost of the whole application: %d syncs of one folder of %d files, each shared with %d "
                "Macs (%s), team propagation on%s\n",
                folders, kFilesPerFolder, kMadeUpDevices + 1, withBert ? "one connected" : "none connected",
                fresh ? ", the engine folders made by the first start" : "");
    runFor(0.5);
    // A window of no time measures nothing: every rate would divide by ~0.
    if (aloneMinutes > 0)
        report("Syncthing alone", measure(aloneMinutes, anna, &lanRequests));

    QTemporaryDir appDir;
    SyncthingInstance::writeFile(appDir.filePath(QStringLiteral("projects.json")),
                                 Project::listToFile(syncs(anna, peers, folders, !fresh)));
    UserDefaults defaults(appDir.filePath(QStringLiteral("defaults.json")));
    defaults.setBoolean(QStringLiteral("clusterSyncEnabled"), true);
    MemoryKeychain keychain;
    keychain.items.insert(NasNodeController::clusterSecretAccount, QStringLiteral("bench-team-key"));
    FeedbackService feedback(QString(), AppPaths(appDir.path()));
    MountEventSource mounts;
    AppEnvironment::Services services{AppPaths(appDir.path())};
    services.defaults = &defaults;
    services.keychain = &keychain;
    services.feedback = &feedback;
    services.lan = {QHostAddress::LocalHost, lanPort};
    services.autostartEntry = appDir.filePath(QStringLiteral("autostart.desktop"));
    services.mountEvents = &mounts;
    std::unique_ptr<SyncthingEngine> engine = anna.makeEngine();
    auto env = std::make_unique<AppEnvironment>(*engine, std::move(services));
    const qint64 startOffset = QFileInfo(logPath(anna)).size();
    QElapsedTimer startClock;
    startClock.start();
    awaitTask(env->bootstrap());
    const double startSeconds = startClock.nsecsElapsed() / 1e9;
    std::printf("\nStart-up (%.1f s): peak RSS %.1f MB, RSS %.1f MB\n", startSeconds, peakRssMegabytes(),
                rssMegabytes());
    printRequests(tracedRequests(logPath(anna), startOffset));
    std::printf("  %s\n", qPrintable(env->projects().lastReconcileSummary().value_or(QStringLiteral("no pass"))));
    if (withBert)
        require(env->connectedPeerHosts().size() == 1, "Bert asked over the LAN");
    int teamReads = 0;
    env->setStepObserver([&teamReads](QString step) { teamReads += step == QLatin1String("syncCluster"); });
    env->startPolling();
    runFor(1.0);
    std::printf("RSS after the first minute %.1f MB\n", rssMegabytes());
    // A container or snap mounting: the table changed, no sync concerned.
    // Away from the sweeps (every 2 min from the start of polling); the
    // window may still catch an events poll.
    // Half-way between two idle-pace reads of the connections (every 30 s).
    runFor(0.25);
    const qint64 mountOffset = QFileInfo(logPath(anna)).size();
    emit mounts.mountsChanged();
    runFor(0.05);
    std::printf("\nOne mount-table change of no sync's concern (3 s, the event polls and idle-pace reads "
                "that fall in it included)\n");
    printRequests(tracedRequests(logPath(anna), mountOffset));

    const int teamReadsBefore = teamReads;
    const Window window = measure(minutes, anna, &lanRequests);
    report("With the application, idle", window);
    std::printf("  team record read %.1f times/min\n", (teamReads - teamReadsBefore) / window.cost.minutes);

    env->stopLoops();
    runFor(0.1);
    if (withBert) {
        bertServer.kill();
        bertServer.waitForFinished();
    }
    return 0;
}
