// The archive panel with 10,000 archived copies, offscreen over the fake
// engine: the time from the listing's answer to the first paint of the tree,
// and the longest stall of the main thread meanwhile (the largest gap between
// ticks of a 2 ms timer, less the interval). Two shapes: copies in folders up
// to eight deep under one top folder, and copies of files all at the top.
// Seven runs each; the median and the worst.

#include "app/AppEnvironment.h"
#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"
#include "views/ArchivePanel.h"

#include "BenchSupport.h"
#include "FakeSyncEngine.h"
#include "MemoryKeychain.h"
#include "RecordingNotifier.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
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
constexpr int kTickMs = 2;

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

    qint64 lastTickNs = 0;
    qint64 longestGapNs = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(kTickMs);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (answeredNs >= 0 && !watch.painted)
            longestGapNs = std::max(longestGapNs, now - lastTickNs);
        lastTickNs = now;
    });
    clock.start();
    ticker.start();
    panel.show();
    bench::require(waitUntil([&] { return watch.painted; }, 30000), "the tree is painted");
    // The gap that spans the paint counts too.
    const qint64 now = clock.nsecsElapsed();
    longestGapNs = std::max(longestGapNs, now - lastTickNs);
    ticker.stop();
    engine.beforeAnswer = nullptr;
    return {double(watch.paintedAtNs - answeredNs) / 1e6, std::max(0.0, double(longestGapNs) / 1e6 - kTickMs)};
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
        std::sort(values.begin(), values.end());
        std::printf("  %-44s median %7.2f ms, worst %7.2f ms\n", name, values[kRuns / 2], values.last());
    };
    std::printf("%d archived copies, %s:\n", kRecords, nested ? "folders up to 8 deep under one top folder"
                                                                : "files all at the top level");
    report(&Run::shownMs, "listing answered to tree painted");
    report(&Run::stallMs, "longest main-thread stall meanwhile");
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    bench::require(dir.isValid(), "a temporary folder");
    UserDefaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    MemoryKeychain keychain;
    FeedbackService feedback(QString(), AppPaths(dir.path()));
    RecordingNotifier notifier;
    FakeSyncEngine engine;
    engine.state.running = true;
    AppEnvironment::Services services{AppPaths(dir.path())};
    services.defaults = &defaults;
    services.keychain = &keychain;
    services.feedback = &feedback;
    services.notifier = &notifier;
    services.lan = {QHostAddress::LocalHost, 0};
    AppEnvironment env(engine, std::move(services));
    const ProjectFolder folder{.id = QStringLiteral("F"), .localPath = dir.filePath(QStringLiteral("Work")),
                               .syncthingFolderID = QStringLiteral("st")};
    for (const bool nested : {true, false})
        measure(env, engine, folder, nested);
    env.stopLoops();
    return 0;
}
