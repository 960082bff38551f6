// The archive tree of a folder's flat list of archived copies: building it
// from 10,000 and 50,000 records (three copies per file, folders up to eight
// deep under one top folder) and the restore mapping of that top folder,
// each the median of seven runs.

#include "controllers/ArchiveNode.h"

#include "BenchSupport.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>

namespace {

using namespace tw;

constexpr int kCopiesPerFile = 3;
constexpr int kMaxDepth = 8;
constexpr int kRuns = 7;

// A fixed seed: every run times the same archive.
QList<ArchivedVersion> makeArchive(int records)
{
    QRandomGenerator random(2024);
    QList<ArchivedVersion> archive;
    archive.reserve(records);
    for (int file = 0; archive.size() < records; ++file) {
        QString path = QStringLiteral("Projects");
        const int depth = int(random.bounded(kMaxDepth));
        for (int level = 0; level < depth; ++level)
            path += QStringLiteral("/Folder %1").arg(random.bounded(6));
        path += QStringLiteral("/IMG_%1.jpg").arg(file);
        for (int copy = 0; copy < kCopiesPerFile && archive.size() < records; ++copy) {
            const QString time = QStringLiteral("2024-%1-%2T%3:00:00Z")
                                     .arg(1 + random.bounded(12), 2, 10, QLatin1Char('0'))
                                     .arg(1 + random.bounded(28), 2, 10, QLatin1Char('0'))
                                     .arg(random.bounded(24), 2, 10, QLatin1Char('0'));
            archive.append({path, time, qint64(random.bounded(1, 50'000'000))});
        }
    }
    // The engine lists copies in no order of ours.
    std::shuffle(archive.begin(), archive.end(), std::mt19937(7));
    return archive;
}

// `reset` drops the previous run's result outside the timing: freeing a tree
// is the caller's cost when it replaces one, not the build's.
double medianMs(const std::function<void()> &work, const std::function<void()> &reset)
{
    QList<double> times;
    for (int run = 0; run < kRuns; ++run) {
        reset();
        QElapsedTimer timer;
        timer.start();
        work();
        times.append(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[kRuns / 2];
}

void measure(int records)
{
    const QList<ArchivedVersion> archive = makeArchive(records);
    QList<ArchiveNodePtr> tree;
    const double buildMs = medianMs([&] { tree = buildArchiveTree(archive); }, [&] { tree.clear(); });
    bench::require(tree.size() == 1, "one top folder");
    QMap<QString, QString> mapping;
    const double mappingMs =
        medianMs([&] { mapping = restoreMapping(*tree.first()); }, [&] { mapping.clear(); });
    std::printf("%6d records, %6lld files: buildArchiveTree %7.2f ms, restoreMapping of the top folder %6.2f ms\n",
                records, qlonglong(mapping.size()), buildMs, mappingMs);
}

} // namespace

int main()
{
    for (const int records : {10'000, 50'000})
        measure(records);
    return 0;
}
