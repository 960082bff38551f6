// What the sweep asks Syncthing about a folder of 5,000 directories to find
// the directory times it must put back: one read per directory (the file
// record) against one read of the folder's directory tree. Wall time, CPU
// time of the main thread, the longest stall of the main thread (the largest
// gap between ticks of a 2 ms timer, less the interval) and the requests
// Syncthing received (from its own API trace).

#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "BenchSupport.h"
#include "StallMeter.h"
#include "SyncthingInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>

namespace {

using namespace tw;
using namespace tw::bench;

constexpr int kTop = 50;
constexpr int kPerTop = 99;  // 50 + 50 * 99 = 5,000 directories
const QString kFolder = QStringLiteral("tdw-bench-sweep");

QStringList makeTree(const QString &root)
{
    QStringList relative;
    for (int top = 0; top < kTop; ++top) {
        relative.append(QStringLiteral("t%1").arg(top));
        for (int sub = 0; sub < kPerTop; ++sub) {
            relative.append(QStringLiteral("t%1/s%2").arg(top).arg(sub));
            require(QDir().mkpath(root + QLatin1Char('/') + relative.last()), "make a directory");
        }
    }
    return relative;
}

void report(const char *what, const SyncthingInstance &instance, qint64 offset, const QElapsedTimer &clock,
            double cpuMs, double stallMs, int found)
{
    int requests = 0;
    for (const auto &[request, traced] : tracedRequests(logPath(instance), offset))
        requests += traced.count;
    std::printf("  %-26s %8.0f ms in all, main thread %7.0f ms CPU, longest stall %6.1f ms, %5d requests, "
                "%d times\n",
                what, double(clock.nsecsElapsed()) / 1e6, cpuMs, stallMs, requests, found);
}

QCoro::Task<int> eachDirectory(SyncthingEngine *engine, QStringList paths)
{
    int found = 0;
    for (const QString &path : paths) {
        const std::optional<qint64> modified = co_await engine->directoryModified(kFolder, path);
        found += modified ? 1 : 0;
    }
    co_return found;
}

QCoro::Task<int> wholeTree(SyncthingEngine *engine)
{
    const QHash<QString, qint64> times = co_await engine->directoryTimes(kFolder);
    co_return int(times.size());
}

void measure(const char *what, SyncthingInstance &instance, QCoro::Task<int> read)
{
    const qint64 offset = QFileInfo(logPath(instance)).size();
    QElapsedTimer clock;
    clock.start();
    StallMeter meter(clock, [] { return true; });
    meter.start();
    const double cpu = threadCpuMs();
    const int found = awaitTask(std::move(read));
    const double cpuMs = threadCpuMs() - cpu;
    report(what, instance, offset, clock, cpuMs, meter.stop(), found);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    SyncthingInstance::Settings settings;
    settings.extraEnvironment.insert(QStringLiteral("STTRACE"), QStringLiteral("api"));
    SyncthingInstance instance(settings);
    instance.start();
    const QStringList paths = makeTree(instance.root() + QStringLiteral("/folders/") + kFolder);
    instance.putFolder(kFolder);
    require(instance.waitUntilIndexed(kFolder, int(paths.size())), "index the tree");
    auto engine = instance.makeEngine();
    awaitTask(engine->start());
    std::printf("Directory times of a folder of %d directories\n", int(paths.size()));
    measure("one read per directory", instance, eachDirectory(engine.get(), paths));
    measure("one read of the tree", instance, wholeTree(engine.get()));
    return 0;
}
