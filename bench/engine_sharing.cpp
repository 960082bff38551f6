// Sharing one folder with 20 devices, one after another, on a Syncthing that
// holds 200 folders: the time each share takes and the requests Syncthing
// receives for it (counted from its own API trace in its log).

#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "BenchSupport.h"
#include "MadeUpDeviceID.h"
#include "SyncthingInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

using namespace tw;
using namespace tw::bench;

constexpr int kFolders = 200;
constexpr int kDevices = 20;


} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    SyncthingInstance::Settings settings;
    // Syncthing logs every API request it serves.
    settings.extraEnvironment.insert(QStringLiteral("STTRACE"), QStringLiteral("api"));
    SyncthingInstance instance(settings);
    instance.start();
    addFolders(instance, kFolders);
    const QStringList devices = addPausedDevices(instance, kDevices);
    const QString target = QStringLiteral("tdw-%1").arg(kFolders / 2, 8, 16, QLatin1Char('0'));
    const qint64 folderListBytes = instance.get(QStringLiteral("/rest/config/folders")).body.size();

    auto engine = instance.makeEngine();
    awaitTask(engine->start());
    awaitTask(engine->localDeviceID());

    QThread::msleep(500);
    const qint64 offset = QFileInfo(logPath(instance)).size();
    QList<double> times;
    QElapsedTimer total;
    total.start();
    for (const QString &device : devices) {
        QElapsedTimer one;
        one.start();
        awaitTask(engine->shareFolder(target, device));
        times.append(one.nsecsElapsed() / 1e6);
    }
    const double totalMs = total.nsecsElapsed() / 1e6;
    QThread::msleep(500);
    const auto traced = tracedRequests(logPath(instance), offset);

    qsizetype shared = 0;
    for (const SyncFolder &folder : awaitTask(engine->folders())) {
        if (folder.id == target)
            shared = folder.sharedDeviceIDs.size();
    }
    std::sort(times.begin(), times.end());
    std::printf("Sharing one folder with %d devices on a Syncthing holding %d folders\n", kDevices, kFolders);
    std::printf("  folder list answer: %lld bytes\n", static_cast<long long>(folderListBytes));
    std::printf("  total: %.1f ms; per share: min %.1f, median %.1f, max %.1f ms\n", totalMs, times.first(),
                times.at(times.size() / 2), times.last());
    int requests = 0;
    for (const auto &[what, entry] : traced) {
        std::printf("  %-40s %d requests, %.1f ms in Syncthing\n", qPrintable(what), entry.count, entry.serverMs);
        requests += entry.count;
    }
    std::printf("  requests: %d (%.1f per share)\n", requests, double(requests) / kDevices);
    std::printf("  devices of the folder afterwards: %lld (expected %d)\n", static_cast<long long>(shared),
                kDevices + 1);
    return shared == kDevices + 1 ? 0 : 1;
}
