// One polling cycle's refreshes of the engine, folder and device controllers,
// in the polling loop's order, against a real Syncthing that holds 50 folders
// each shared with 5 devices: the wall time of each step and the requests
// Syncthing receives (counted from its own API trace in its log). Measured
// once with one of the 5 devices connected and once with none, so that the
// part growing with folders x connected peers (the cluster needs) stands out
// from the rest.

#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "BenchSupport.h"
#include "MadeUpDeviceID.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

using namespace tw;
using namespace tw::bench;

constexpr int kFolders = 50;
constexpr int kMadeUpDevices = 4;  // plus one real, connectable peer
constexpr int kCycles = 10;


struct Controllers
{
    SyncEngine *engine;
    EngineController *engineState;
    FolderController *folders;
    DeviceController *devices;
};

struct StepTimes
{
    double engineMs = 0;   // status, throughput, bandwidth schedule
    double foldersMs = 0;  // folder list, statuses, errors, cluster needs, transfers
    double devicesMs = 0;  // devices, this device's ID, connections twice
};

// The controllers' part of one polling cycle, in the polling loop's order.
QCoro::Task<StepTimes> cycle(Controllers c)
{
    StepTimes times;
    QElapsedTimer timer;
    timer.start();
    c.engineState->setStatus(co_await c.engine->status());
    co_await c.engineState->sampleThroughput();
    // A named schedule: GCC 12 destroys a braced temporary passed to a
    // coroutine twice.
    const BandwidthSchedule switchedOff;
    co_await c.engineState->applyBandwidthSchedule(switchedOff, QDateTime::currentDateTimeUtc());
    times.engineMs = timer.nsecsElapsed() / 1e6;
    timer.restart();
    co_await c.folders->syncFolderList();
    times.foldersMs = timer.nsecsElapsed() / 1e6;
    timer.restart();
    co_await c.devices->refresh();
    co_await c.devices->refreshConnections();
    times.devicesMs = timer.nsecsElapsed() / 1e6;
    co_return times;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// What a request's count grows with.
QString growth(const QString &what)
{
    if (what.endsWith(QLatin1String("/rest/db/completion")))
        return QStringLiteral("folders x connected peers");
    if (what.endsWith(QLatin1String("/rest/db/status")))
        return QStringLiteral("folders");
    if (what.endsWith(QLatin1String("/rest/db/need")))
        return QStringLiteral("syncing folders");
    return QStringLiteral("fixed");
}

int measure(const char *title, Controllers controllers, const QString &logPath)
{
    for (int i = 0; i < 2; ++i)
        awaitTask(cycle(controllers));  // warm-up
    QThread::msleep(300);
    const qint64 offset = QFileInfo(logPath).size();
    QList<double> engineMs, foldersMs, devicesMs, totalMs;
    for (int i = 0; i < kCycles; ++i) {
        const StepTimes times = awaitTask(cycle(controllers));
        engineMs.append(times.engineMs);
        foldersMs.append(times.foldersMs);
        devicesMs.append(times.devicesMs);
        totalMs.append(times.engineMs + times.foldersMs + times.devicesMs);
    }
    QThread::msleep(500);
    const auto traced = tracedRequests(logPath, offset);

    std::printf("\n%s\n", title);
    std::printf("  wall time per cycle (median of %d): engine %.1f ms, folders %.1f ms, devices %.1f ms, total %.1f ms\n",
                kCycles, median(engineMs), median(foldersMs), median(devicesMs), median(totalMs));
    std::map<QString, double> byGrowth;
    std::map<QString, double> serverByGrowth;
    double requests = 0;
    for (const auto &[what, entry] : traced) {
        const double perCycle = double(entry.count) / kCycles;
        std::printf("  %-34s %6.1f requests/cycle, %6.2f ms/cycle in Syncthing  [%s]\n", qPrintable(what), perCycle,
                    entry.serverMs / kCycles, qPrintable(growth(what)));
        byGrowth[growth(what)] += perCycle;
        serverByGrowth[growth(what)] += entry.serverMs / kCycles;
        requests += perCycle;
    }
    for (const auto &[kind, count] : byGrowth)
        std::printf("  grows with %-26s %6.1f requests/cycle, %6.2f ms/cycle in Syncthing\n", qPrintable(kind), count,
                    serverByGrowth[kind]);
    std::printf("  total: %.1f requests/cycle\n", requests);
    return int(requests + 0.5);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    SyncthingInstance::Settings settings;
    settings.host = QStringLiteral("127.0.0.4");
    settings.name = QStringLiteral("Anna");
    // Syncthing logs every API request it serves.
    settings.extraEnvironment.insert(QStringLiteral("STTRACE"), QStringLiteral("api"));
    SyncthingInstance anna(settings);
    SyncthingInstance bert(QStringLiteral("127.0.0.5"), QStringLiteral("Bert"));
    anna.start();
    bert.start();
    anna.pairWith(bert);
    QStringList peers = addPausedDevices(anna, kMadeUpDevices, 'D');
    peers.prepend(bert.deviceID());
    addFolders(anna, kFolders, peers);
    require(anna.waitUntilConnected(bert.deviceID()), "Bert connected");

    // Interim: an engine on the instance's running supervisor, which outlives it.
    auto engine = std::make_unique<SyncthingEngine>(
        std::shared_ptr<SyncthingProcess>(&anna.process(), [](SyncthingProcess *) {}), realSleeper());
    awaitTask(engine->start());
    QTemporaryDir defaultsDir;
    UserDefaults defaults(defaultsDir.filePath(QStringLiteral("defaults.json")));
    EngineController engineState(*engine, defaults);
    FolderController folders(*engine);
    DeviceController devices(*engine);
    awaitTask(engineState.loadNetwork());
    const Controllers controllers{engine.get(), &engineState, &folders, &devices};
    const QString logPath = tw::bench::logPath(anna);

    std::printf("Polling cycle of the engine, folder and device controllers: %d folders, each shared with %d devices\n",
                kFolders, kMadeUpDevices + 1);
    const int connected = measure("1 of 5 devices connected", controllers, logPath);
    const bool shown = folders.folders().size() == kFolders
        && devices.connection(bert.deviceID()).value_or(DeviceConnection{}).connected;

    awaitTask(engine->setDevicePaused(bert.deviceID(), true));
    require(waitUntil([&] {
        awaitTask(devices.refreshConnections());
        return !devices.connection(bert.deviceID()).value_or(DeviceConnection{}).connected;
    }, 30000), "Bert disconnected");
    const int alone = measure("0 of 5 devices connected", controllers, logPath);

    std::printf("\n  difference: %d requests/cycle for %d folders x 1 connected peer\n", connected - alone, kFolders);
    std::printf("  controllers showed %lld folders and Bert connected: %s\n",
                static_cast<long long>(folders.folders().size()), shown ? "yes" : "no");
    engine.reset();
    return shown ? 0 : 1;
}
