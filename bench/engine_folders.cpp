// How long the engine takes to list the folders of a Syncthing holding 200
// folders, and how many requests a listing costs. The requests are counted on
// Syncthing's side, from its own API trace in its log.
//
// Usage: engine_folders [runs]   (default 50)

#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "BenchSupport.h"
#include "SyncthingInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <algorithm>
#include <cstdio>

using namespace tw;

namespace {

constexpr int kFolders = 200;

// Requests Syncthing has logged so far ("http: <METHOD> <path>: status ...").
int loggedRequests(const SyncthingInstance &instance)
{
    QFile log(tw::bench::logPath(instance));
    if (!log.open(QIODevice::ReadOnly))
        return -1;
    int count = 0;
    for (const QByteArray &line : log.readAll().split('\n')) {
        if (line.contains("http: ") && line.contains(": status "))
            ++count;
    }
    return count;
}

int settledRequestCount(const SyncthingInstance &instance)
{
    QThread::msleep(300); // the trace line follows the answer
    return loggedRequests(instance);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 50;

    SyncthingInstance::Settings settings;
    settings.name = QStringLiteral("bench");
    settings.extraEnvironment.insert(QStringLiteral("STTRACE"), QStringLiteral("api"));
    SyncthingInstance instance(settings);
    instance.start();

    tw::bench::addFolders(instance, kFolders);

    std::unique_ptr<SyncthingEngine> engine = instance.makeEngine();
    awaitTask(engine->start());

    const qsizetype first = awaitTask(engine->folders()).size();
    if (first != kFolders) {
        std::fprintf(stderr, "expected %d folders, the engine listed %lld\n", kFolders, qint64(first));
        return 1;
    }

    const int before = settledRequestCount(instance);
    QList<double> millis;
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        const QList<SyncFolder> folders = awaitTask(engine->folders());
        millis.append(double(timer.nsecsElapsed()) / 1e6);
        if (folders.size() != kFolders)
            return 1;
    }
    const int after = settledRequestCount(instance);
    std::sort(millis.begin(), millis.end());

    const SyncthingInstance::Response listing = instance.get(QStringLiteral("/rest/config/folders"));
    const QByteArray body = listing.body;
    std::printf("folders() on %d folders, %d runs\n", kFolders, runs);
    std::printf("  time per listing: min %.2f ms, median %.2f ms, p90 %.2f ms, max %.2f ms\n", millis.first(),
                millis[millis.size() / 2], millis[int(millis.size() * 0.9)], millis.last());
    if (before >= 0 && after >= 0)
        std::printf("  requests per listing: %.2f (%d requests logged by Syncthing for %d listings)\n",
                    double(after - before) / runs, after - before, runs);
    std::printf("  answer size: %lld bytes\n", qint64(body.size()));

    awaitTask(engine->stop());
    instance.stop();
    return 0;
}
