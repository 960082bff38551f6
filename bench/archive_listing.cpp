// Reading a folder's archive listing (Syncthing's /rest/folder/versions, the
// read behind opening the archive panel and behind every restore) of 10,000
// and 50,000 archived copies from a fake server: the time until the list is
// in hand and the longest stall of the main thread meanwhile (the largest gap
// between ticks of a 2 ms timer, less the interval). Five runs each; the
// median and the worst.

#include "engine/syncthing/SyncthingEngine.h"
#include "engine/syncthing/process/SyncthingProcess.h"

#include "AwaitTask.h"
#include "BenchSupport.h"
#include "FakeHttpServer.h"
#include "StallMeter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using namespace tw;
using namespace tw::bench;

constexpr int kCopiesPerFile = 3;
constexpr int kMaxDepth = 8;
constexpr int kRuns = 5;

// Syncthing's answer: each file's path to its copies. A fixed seed.
QByteArray listing(int records)
{
    QRandomGenerator random(2024);
    QJsonObject files;
    int made = 0;
    for (int file = 0; made < records; ++file) {
        QString path = QStringLiteral("Projects");
        const int depth = int(random.bounded(kMaxDepth));
        for (int level = 0; level < depth; ++level)
            path += QStringLiteral("/Folder %1").arg(random.bounded(6));
        path += QStringLiteral("/IMG_%1.jpg").arg(file);
        QJsonArray copies;
        for (int copy = 0; copy < kCopiesPerFile && made < records; ++copy, ++made) {
            const QString time = QStringLiteral("2024-%1-%2T%3:00:00Z")
                                     .arg(1 + random.bounded(12), 2, 10, QLatin1Char('0'))
                                     .arg(1 + random.bounded(28), 2, 10, QLatin1Char('0'))
                                     .arg(random.bounded(24), 2, 10, QLatin1Char('0'));
            copies.append(QJsonObject{{QStringLiteral("versionTime"), time},
                                      {QStringLiteral("modTime"), time},
                                      {QStringLiteral("size"), qint64(random.bounded(1, 50'000'000))}});
        }
        files.insert(path, copies);
    }
    return QJsonDocument(files).toJson(QJsonDocument::Compact);
}

void measure(SyncthingEngine &engine, FakeHttpServer &server, int records)
{
    const QByteArray body = listing(records);
    server.setHandler([body](const FakeHttpServer::Request &) { return FakeHttpServer::Response::json(body); });
    QList<double> totals;
    QList<double> stalls;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer clock;
        clock.start();
        StallMeter meter(clock, [] { return true; });
        meter.start();
        const QList<ArchivedVersion> versions = awaitTask(engine.archivedVersions(QStringLiteral("f")));
        stalls.append(meter.stop());
        totals.append(double(clock.nsecsElapsed()) / 1e6);
        require(versions.size() == records, "every copy listed");
    }
    std::printf("%6d copies (%.1f MB):\n", records, double(body.size()) / 1e6);
    printMedianAndWorst("  listing in hand", totals, "ms");
    printMedianAndWorst("  longest stall of the main thread", stalls, "ms");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    FakeHttpServer server;
    require(server.listen(), "listen");
    SyncthingProcess::Options options;
    options.loopbackOnly = true;
    auto process = std::make_shared<SyncthingProcess>(AppPaths(dir.path()), QStringList{}, options);
    SyncthingEngine engine(std::move(process), [](std::chrono::milliseconds) -> QCoro::Task<void> { co_return; });
    engine.attachEndpoint(server.baseURL(), QStringLiteral("fake-api-key"));
    for (const int records : {10'000, 50'000})
        measure(engine, server, records);
    return 0;
}
