// The main thread's share of keeping directory times while a pull lands in
// 100,000 directories: batches of 200 events (each a file placed, found
// again by the scanner, and its directory pulled), as the event poller hands
// them on, with the passes they start running on their worker over a real
// tree. Per batch: the main thread's time to take it in; over the whole
// stretch: the longest stall of the main thread (the largest gap between
// ticks of a 2 ms timer, less the interval), and the passes' own time.

#include "controllers/DirectoryTimeKeeper.h"
#include "controllers/EventController.h"
#include "creationdates/FileDates.h"

#include "BenchSupport.h"
#include "FakeSyncEngine.h"
#include "StallMeter.h"
#include "WaitUntil.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <QFile>

#include <algorithm>
#include <atomic>
#include <thread>
#include <sys/xattr.h>
#include <cstdio>

namespace {

using namespace tw;
using namespace tw::bench;

constexpr int kDirectories = 100'000;
constexpr int kBatch = 200;
const QString kFolder = QStringLiteral("tdw-bench-news");

QString directory(int i)
{
    return QStringLiteral("t%1/d%2").arg(i / 1000).arg(i % 1000);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    QTemporaryDir records(qEnvironmentVariable("BENCH_RECORDS", QDir::tempPath()) + "/records-XXXXXX");
    // Each carries its maker's time, as a pulled directory does.
    for (int i = 0; i < kDirectories; ++i) {
        const QString path = root.filePath(directory(i));
        require(QDir().mkpath(path), "make a directory");
        QFile placed(path + QStringLiteral("/clip.mov"));
        require(placed.open(QIODevice::WriteOnly), "place a file");
        require(::setxattr(QFile::encodeName(path).constData(), FileDates::modifiedAttributeName, "1400000000", 10, 0)
                    == 0,
                "carry a time");
    }
    FakeSyncEngine engine;
    EventController events(engine);
    DirectoryTimeKeeper keeper(engine, events, records.path());
    keeper.setFolderLookup([&root](const QString &) {
        return std::optional(DirectoryTimeKeeper::Folder{.root = root.path()});
    });
    int passes = 0;
    QObject::connect(&keeper, &DirectoryTimeKeeper::passEnded, [&passes] { ++passes; });

    QElapsedTimer clock;
    clock.start();
    StallMeter stalls(clock, [] { return true; });
    stalls.start();
    qint64 worstBatchNs = 0, totalNs = 0;
    int batches = 0;
    for (int first = 0; first < kDirectories; first += kBatch) {
        // Placed now (after the files were made), found again just after.
        const qint64 atMs = QDateTime::currentMSecsSinceEpoch();
        QElapsedTimer batch;
        batch.start();
        for (int i = first; i < first + kBatch; ++i) {
            const QString file = directory(i) + QStringLiteral("/clip.mov");
            emit events.itemPulled(kFolder, file, false, false, atMs);
            emit events.localChangeFound(kFolder, file, false, false, atMs + 1);
            emit events.itemPulled(kFolder, directory(i), true, false, atMs);
        }
        const qint64 took = batch.nsecsElapsed();
        worstBatchNs = std::max(worstBatchNs, took);
        totalNs += took;
        ++batches;
        runEventLoopFor(5);
    }
    const double feedSeconds = clock.nsecsElapsed() / 1e9;
    const auto taken = [&root] {
        int count = 0;
        for (int i = 0; i < kDirectories; i += 997)
            count += QFileInfo(root.filePath(directory(i))).lastModified().toSecsSinceEpoch() == 1'400'000'000;
        return count;
    };
    const int sampled = (kDirectories + 996) / 997;
    // Looked at from a thread of its own: on the main thread, the bench's
    // own look-ups (on a disk busy with the passes) would stall the thread it
    // measures.
    std::atomic<bool> all = false, done = false;
    std::thread looker([&] {
        while (!done && !(all = taken() == sampled))
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    });
    waitUntil([&] { return all.load(); }, 600'000);
    done = true;
    looker.join();
    const double settledSeconds = clock.nsecsElapsed() / 1e9 - feedSeconds;
    const double stallMs = stalls.stop();
    std::printf("Directory news of %d directories in batches of %d events x 3\n", kDirectories, kBatch);
    std::printf("  main thread per batch: mean %.2f ms, worst %.2f ms (%d batches in %.1f s)\n",
                totalNs / 1e6 / batches, worstBatchNs / 1e6, batches, feedSeconds);
    std::printf("  longest main-thread stall while passes ran: %.1f ms; passes: %d, settled %.1f s later\n",
                stallMs, passes, settledSeconds);
    std::printf("  sampled directories given their time: %d of %d\n", taken(), sampled);
    require(all, "every directory is given its time");
    return 0;
}
