// The archive panel with 10,000 archived copies, offscreen over the fake
// engine: the time from the listing's answer to the first paint of the tree,
// and the longest stall of the main thread meanwhile (the largest gap between
// ticks of a 2 ms timer, less the interval). Two shapes: copies in folders up
// to eight deep under one top folder, and copies of files all at the top.
// Seven runs each; the median and the worst.

#include "views/panels/ArchivePanel.h"

#include "BenchSupport.h"
#include "StallMeter.h"
#include "ViewEnvironment.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>

namespace {

using namespace tw;

constexpr int kRecords = 10'000;
constexpr int kCopiesPerFile = 3;
constexpr int kMaxDepth = 8;
constexpr int kRuns = 7;

QList<ArchivedVersion> makeArchive(bool nested)
{
    QRandomGenerator random(2024);
    QList<ArchivedVersion> archive;
    for (int file = 0; archive.size() < kRecords; ++file) {
        QString path;
        if (nested) {
            path = QStringLiteral("Projects");
            const int depth = int(random.bounded(kMaxDepth));
            for (int level = 0; level < depth; ++level)
                path += QStringLiteral("/Folder %1").arg(random.bounded(6));
            path += QLatin1Char('/');
        }
        path += QStringLiteral("IMG_%1.jpg").arg(file);
        for (int copy = 0; copy < kCopiesPerFile && archive.size() < kRecords; ++copy)
            archive.append({path, QStringLiteral("2024-05-%1T10:00:00Z").arg(copy + 1, 2, 10, QLatin1Char('0')),
                            qint64(random.bounded(1, 50'000'000))});
    }
    return archive;
}

// Notes when the viewport has painted: the zero timer posted at its paint
// event runs once that paint is done.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(const ArchivePanel &panel) : m_panel(panel) {}
    bool painted = false;
    qint64 paintedAtNs = 0;
    const QElapsedTimer *clock = nullptr;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_panel.isLoading() && !m_panel.roots().isEmpty() && !painted)
            QTimer::singleShot(0, this, [this] {
                painted = true;
                paintedAtNs = clock->nsecsElapsed();
            });
        return false;
    }

private:
    const ArchivePanel &m_panel;
};

struct Run
{
    double shownMs = 0;
    double stallMs = 0;
};

Run measureOnce(AppEnvironment &env, FakeSyncEngine &engine, const ProjectFolder &folder)
{
    QElapsedTimer clock;
    qint64 answeredNs = -1;
    engine.beforeAnswer = [&clock, &answeredNs](QString operation) -> QCoro::Task<void> {
        if (operation == QStringLiteral("archivedVersions"))
            answeredNs = clock.nsecsElapsed();
        co_return;
    };
    ArchivePanel panel(env, QStringLiteral("S"), folder);
    panel.resize(700, 500);
    PaintWatch watch(panel);
    watch.clock = &clock;
    panel.tree().viewport()->installEventFilter(&watch);

    bench::StallMeter stall(clock, [&] { return answeredNs >= 0 && !watch.painted; });
    clock.start();
    stall.start();
    panel.show();
    bench::require(waitUntil([&] { return watch.painted; }, 30000), "the tree is painted");
    const double stallMs = stall.stop();
    engine.beforeAnswer = nullptr;
    return {double(watch.paintedAtNs - answeredNs) / 1e6, stallMs};
}

void measure(AppEnvironment &env, FakeSyncEngine &engine, const ProjectFolder &folder, bool nested)
{
    engine.state.archives[*folder.syncthingFolderID] = makeArchive(nested);
    QList<Run> runs;
    for (int run = 0; run < kRuns; ++run)
        runs.append(measureOnce(env, engine, folder));
    const auto report = [&runs](double Run::*figure, const char *name) {
        QList<double> values;
        for (const Run &run : runs)
            values.append(run.*figure);
        bench::printMedianAndWorst(name, std::move(values), "ms");
    };
    std::printf("%d archived copies, %s:\n", kRecords, nested ? "folders up to 8 deep under one top folder"
                                                                : "files all at the top level");
    report(&Run::shownMs, "listing answered to tree painted");
    report(&Run::stallMs, "longest main-thread stall meanwhile");
}

} // namespace

int main(int argc, char **argv)
{
    bench::drawOffscreen();
    QApplication app(argc, argv);
    ViewEnvironment rig;
    bench::require(rig.dir.isValid(), "a temporary folder");
    rig.engine.state.running = true;
    const ProjectFolder folder{.id = QStringLiteral("F"), .localPath = rig.dir.filePath(QStringLiteral("Work")),
                               .syncthingFolderID = QStringLiteral("st")};
    for (const bool nested : {true, false})
        measure(*rig.env, rig.engine, folder, nested);
    rig.env->stopLoops();
    return 0;
}
