// The exclusion browser with a level of 10,000 entries, offscreen over the
// fake engine: the time from the listing's answer to the first paint of the
// list, and the longest stall of the main thread meanwhile (the largest gap
// between ticks of a 2 ms timer, less the interval); then one switch: the
// time from the click to the repaint of its row, the height of what was
// repainted and whether the level was rebuilt. Seven runs; the median and
// the worst.

#include "views/panels/OmitLevelModel.h"
#include "views/panels/OmitPanel.h"
#include "views/panels/OmitRowDelegate.h"

#include "BenchSupport.h"
#include "StallMeter.h"
#include "ViewEnvironment.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

using namespace tw;

constexpr int kEntries = 10'000;
constexpr int kRuns = 7;

QList<BrowseEntry> makeLevel()
{
    QRandomGenerator random(2024);
    static const QStringList stems{QStringLiteral("Take"), QStringLiteral("clip"), QStringLiteral("Ärger"),
                                   QStringLiteral("Render"), QStringLiteral("\U0001F3AC scene"),
                                   QStringLiteral("_draft")};
    QList<BrowseEntry> level;
    for (int i = 0; i < kEntries; ++i) {
        const bool directory = random.bounded(5) == 0;
        const QString name = stems[random.bounded(int(stems.size()))] +
                             QStringLiteral(" %1").arg(random.bounded(1'000'000)) +
                             (directory ? QString() : QStringLiteral(".mov"));
        level.append({name, directory});
    }
    return level;
}

// Notes the viewport's paints: the first once the level shows, and the
// first after a switch was clicked, with the height it covered.
class PaintWatch : public QObject
{
public:
    PaintWatch(const OmitPanel &panel, const QElapsedTimer &clock) : m_panel(panel), m_clock(clock) {}
    bool painted = false;
    qint64 paintedAtNs = 0;
    bool watchSwitch = false;
    bool switchPainted = false;
    qint64 switchPaintedAtNs = 0;
    int switchPaintHeight = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        if (!painted && !m_panel.isLoading() && m_panel.model().rowCount() > 0)
            QTimer::singleShot(0, this, [this] {
                painted = true;
                paintedAtNs = m_clock.nsecsElapsed();
            });
        if (watchSwitch && !switchPainted) {
            const int height = static_cast<QPaintEvent *>(event)->rect().height();
            QTimer::singleShot(0, this, [this, height] {
                switchPainted = true;
                switchPaintedAtNs = m_clock.nsecsElapsed();
                switchPaintHeight = height;
            });
            watchSwitch = false;
        }
        return false;
    }

private:
    const OmitPanel &m_panel;
    const QElapsedTimer &m_clock;
};

// What a mouse click sends the view.
void click(QWidget &widget, QPoint at)
{
    const QPointF global = widget.mapToGlobal(QPointF(at));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), global, Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(&widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), global, Qt::LeftButton, Qt::NoButton, {});
    QApplication::sendEvent(&widget, &release);
}

struct Run
{
    double shownMs = 0;
    double stallMs = 0;
    double switchMs = 0;
    int repaintedHeight = 0;
    int rowHeight = 0;
    int rebuilds = 0;
};

Run measureOnce(AppEnvironment &env, FakeSyncEngine &engine, const ProjectFolder &folder)
{
    QElapsedTimer clock;
    qint64 answeredNs = -1;
    engine.beforeAnswer = [&clock, &answeredNs](QString operation) -> QCoro::Task<void> {
        if (operation == QStringLiteral("browse"))
            answeredNs = clock.nsecsElapsed();
        co_return;
    };
    engine.state.ignores[*folder.syncthingFolderID] = {};
    OmitPanel panel(env, QStringLiteral("S"), folder);
    panel.resize(600, 500);
    PaintWatch watch(panel, clock);
    panel.list().viewport()->installEventFilter(&watch);

    bench::StallMeter stall(clock, [&] { return answeredNs >= 0 && !watch.painted; });
    clock.start();
    stall.start();
    panel.show();
    bench::require(waitUntil([&] { return watch.painted; }, 30000), "the level is painted");
    const double stallMs = stall.stop();
    engine.beforeAnswer = nullptr;

    Run run{double(watch.paintedAtNs - answeredNs) / 1e6, stallMs};
    int rebuilds = 0;
    QObject::connect(&panel.model(), &QAbstractItemModel::modelReset, [&rebuilds] { ++rebuilds; });
    QObject::connect(&panel.model(), &QAbstractItemModel::dataChanged, [&watch] { watch.watchSwitch = true; });
    // The first click also gives the list the focus, which repaints all of
    // it: the second switch is the one measured. Its click moves the current
    // row too, which repaints the row it leaves.
    qint64 clickedNs = 0;
    for (const int row : {1, 2}) {
        const QModelIndex index = panel.model().index(row);
        run.rowHeight = panel.list().visualRect(index).height();
        watch.switchPainted = false;
        clickedNs = clock.nsecsElapsed();
        click(*panel.list().viewport(), panel.rowDelegate().switchRect(index).center());
        bench::require(waitUntil([&] { return watch.switchPainted; }, 30000), "the switched row is painted");
    }
    run.switchMs = double(watch.switchPaintedAtNs - clickedNs) / 1e6;
    run.repaintedHeight = watch.switchPaintHeight;
    run.rebuilds = rebuilds;
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    bench::drawOffscreen();
    QApplication app(argc, argv);
    ViewEnvironment rig;
    bench::require(rig.dir.isValid(), "a temporary folder");
    FakeSyncEngine &engine = rig.engine;
    engine.state.running = true;
    SyncFolder listed;
    listed.id = QStringLiteral("st");
    listed.path = rig.dir.filePath(QStringLiteral("Work"));
    engine.state.folders = {listed};
    engine.state.browse[listed.id][QString()] = makeLevel();
    AppEnvironment &env = *rig.env;
    const ProjectFolder folder{.id = QStringLiteral("F"), .localPath = listed.path,
                               .syncthingFolderID = listed.id};

    QList<Run> runs;
    for (int run = 0; run < kRuns; ++run)
        runs.append(measureOnce(env, engine, folder));
    const auto report = [&runs](auto figure, const char *name, const char *unit) {
        QList<double> values;
        for (const Run &run : runs)
            values.append(double(run.*figure));
        bench::printMedianAndWorst(name, std::move(values), unit);
    };
    std::printf("a level of %d entries, one in five a directory:\n", kEntries);
    report(&Run::shownMs, "listing answered to list painted", "ms");
    report(&Run::stallMs, "longest main-thread stall meanwhile", "ms");
    report(&Run::switchMs, "switch clicked to its row repainted", "ms");
    report(&Run::repaintedHeight, "height repainted after the switch", "px");
    report(&Run::rowHeight, "height of one row", "px");
    report(&Run::rebuilds, "level rebuilt by the switch", "times");
    env.stopLoops();
    return 0;
}
