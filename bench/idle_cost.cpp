// What the live state costs while nothing changes: the engine, folder and
// device controllers driven every 2 s as the polling loop drives them, with
// the event poller running, against a real Syncthing holding N folders of 20
// small files, each shared with 5 devices of which none is connected.
// Reported per window: the application's CPU and RSS, Syncthing's CPU with
// and without the application, and the requests per minute by endpoint (from
// Syncthing's own API trace). "part" polls as the controllers did before
// following events; "events" follows them. In "events" mode it then connects
// a peer, changes a file on it, and reports how soon the folder's status and
// the peer's completion reach the controllers and what was read meanwhile.
//
//   idle_cost <part|events> <folders> <minutes> [alone-minutes]

#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/EventController.h"
#include "controllers/FolderController.h"
#include "controllers/LiveStateFeed.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "BenchSupport.h"
#include "MadeUpDeviceID.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <qcoro/qcorotimer.h>

#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace tw;
using namespace tw::bench;

constexpr int kFilesPerFolder = 20;
constexpr int kMadeUpDevices = 4;  // plus Bert, paused until the peer step


double cpuSecondsOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    // Fields after the command name, which may hold spaces: utime and stime
    // are the 12th and 13th of them.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}


struct Controllers
{
    SyncEngine *engine;
    EngineController *engineState;
    FolderController *folders;
    DeviceController *devices;
};

// The controllers' part of one polling cycle, in the polling loop's order.
QCoro::Task<void> cycle(Controllers c)
{
    c.engineState->setStatus(co_await c.engine->status());
    co_await c.engineState->sampleThroughput();
    const BandwidthSchedule switchedOff;
    co_await c.engineState->applyBandwidthSchedule(switchedOff, QDateTime::currentDateTimeUtc());
    co_await c.folders->syncFolderList();
    co_await c.devices->refresh();
    co_await c.devices->refreshConnections();
}

// Sleeps 2 s before each pass, as the polling loop does, until stopped.
QCoro::Task<void> pollingLoop(Controllers c, const bool *running)
{
    while (*running) {
        QTimer timer;
        timer.setSingleShot(true);
        timer.start(2000);
        co_await timer;
        if (*running)
            co_await cycle(c);
    }
}


CostWindow measure(double minutes, qint64 syncthingPid, const QString &logPath)
{
    return measureCost(minutes, [syncthingPid] { return cpuSecondsOf(syncthingPid); }, logPath);
}

void report(const char *title, const CostWindow &window)
{
    std::printf("  total %.1f requests/min\n", printCost(title, window));
}

void addFilesAndFolders(SyncthingInstance &anna, int folders, const QStringList &peers)
{
    for (int i = 0; i < folders; ++i) {
        const QString path = anna.root() + QStringLiteral("/folders/tdw-%1").arg(i, 8, 16, QLatin1Char('0'));
        for (int f = 0; f < kFilesPerFolder; ++f)
            SyncthingInstance::writeFile(path + QStringLiteral("/file-%1.txt").arg(f), QByteArray(200 + f, 'x'));
    }
    addFolders(anna, folders, peers);
}


bool allIdle(SyncthingInstance &anna, int folders)
{
    for (int i = 0; i < folders; ++i) {
        const auto status =
            anna.get(QStringLiteral("/rest/db/status?folder=tdw-%1").arg(i, 8, 16, QLatin1Char('0'))).json().object();
        if (status.value("state").toString() != QLatin1String("idle")
            || status.value("localFiles").toInt() != kFilesPerFolder)
            return false;
    }
    return true;
}


// Connects Bert, changes a file in the first folder on his side, and times
// the controllers' view of Anna's folder status and Bert's completion.
void peerChange(SyncthingInstance &anna, SyncthingInstance &bert, Controllers c, EventController &events)
{
    const QString folder = QStringLiteral("tdw-00000000");
    setPaused(anna, bert.deviceID(), false);
    require(anna.waitUntilConnected(bert.deviceID(), std::chrono::seconds(60)), "Bert connected");
    require(waitUntil([&] { return events.completion().value(folder).value(bert.deviceID()) == 100.0; }, 60000),
            "Bert complete");
    const qint64 before = c.folders->status(folder).globalBytes;
    const QString logPath = tw::bench::logPath(anna);
    const qint64 offset = QFileInfo(logPath).size();
    QElapsedTimer timer;
    timer.start();
    SyncthingInstance::writeFile(bert.root() + QStringLiteral("/folders/") + folder + QStringLiteral("/changed.txt"),
                                 QByteArray(5000, 'y'));
    bert.request("POST", QStringLiteral("/rest/db/scan?folder=") + folder, {}, bert.apiKey());
    double statusMs = -1;
    double completionMs = -1;
    require(waitUntil([&] {
        const FolderStatus status = c.folders->status(folder);
        if (statusMs < 0 && status.globalBytes == before + 5000 && status.needBytes == 0
            && status.state == FolderState::Idle)
            statusMs = timer.nsecsElapsed() / 1e6;
        if (completionMs < 0 && statusMs >= 0 && events.completion().value(folder).value(bert.deviceID()) == 100.0)
            completionMs = timer.nsecsElapsed() / 1e6;
        return statusMs >= 0 && completionMs >= 0;
    }, 60000), "change seen");
    const auto traced = tracedRequests(logPath, offset);
    std::printf("\nA file changed on a connected peer\n");
    std::printf("  from the scan request: folder status shown after %.0f ms, Bert's completion after %.0f ms\n",
                statusMs, completionMs);
    for (const auto &[what, entry] : traced)
        std::printf("  %-36s %4d requests meanwhile\n", qPrintable(what), entry.count);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: idle_cost <part|events> <folders> <minutes> [alone-minutes]\n");
        return 2;
    }
    const bool followsEvents = args[1] == QLatin1String("events");
    const int folderCount = args[2].toInt();
    const double minutes = args[3].toDouble();
    const double aloneMinutes = args.size() > 4 ? args[4].toDouble() : 1.0;

    SyncthingInstance::Settings settings;
    settings.host = QStringLiteral("127.0.0.6");
    settings.name = QStringLiteral("Anna");
    settings.extraEnvironment.insert(QStringLiteral("STTRACE"), QStringLiteral("api"));
    SyncthingInstance anna(settings);
    SyncthingInstance bert(QStringLiteral("127.0.0.7"), QStringLiteral("Bert"));
    anna.start();
    bert.start();
    anna.pairWith(bert);
    QStringList peers = addPausedDevices(anna, kMadeUpDevices, 'D');
    peers.append(bert.deviceID());
    setPaused(anna, bert.deviceID(), true);
    addFilesAndFolders(anna, folderCount, peers);
    bert.putFolder(QStringLiteral("tdw-00000000"), {anna.deviceID()});
    require(waitUntil([&] { return allIdle(anna, folderCount); }, 300000), "folders scanned");

    const QString logPath = tw::bench::logPath(anna);
    std::printf("Idle cost, %s: %d folders x %d files, each shared with %d devices, none connected\n",
                followsEvents ? "following events" : "polling as before", folderCount, kFilesPerFolder,
                kMadeUpDevices + 1);
    report("Syncthing alone", measure(aloneMinutes, anna.pid(), logPath));

    auto engine = anna.startedEngine();
    // Before, every ask read the connections afresh.
    if (!followsEvents)
        engine->setConnectionsReuse(std::chrono::milliseconds(0));
    QTemporaryDir defaultsDir;
    UserDefaults defaults(defaultsDir.filePath(QStringLiteral("defaults.json")));
    EngineController engineState(*engine, defaults);
    FolderController folders(*engine);
    DeviceController devices(*engine);
    EventController events(*engine);
    std::unique_ptr<LiveStateFeed> feed;
    if (followsEvents)
        feed = std::make_unique<LiveStateFeed>(*engine, events, folders, devices);
    awaitTask(engineState.loadNetwork());
    const Controllers controllers{engine.get(), &engineState, &folders, &devices};
    events.start();
    awaitTask(cycle(controllers));
    bool running = true;
    pollingLoop(controllers, &running);
    runFor(0.5);  // settling: the first full reads and the events they bring
    const CostWindow window = measure(minutes, anna.pid(), logPath);
    report("With the application", window);
    std::printf("  controllers show %lld folders with a status\n", static_cast<long long>(folders.statuses().size()));

    if (followsEvents)
        peerChange(anna, bert, controllers, events);
    running = false;
    runFor(0.05);
    events.stop();
    return folders.statuses().size() == folderCount ? 0 : 1;
}
