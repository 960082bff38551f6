// What the joining views cost on the main thread, on the fake engine
// (nothing leaves the process): one refresh of the incoming page with 100
// folder offers (from 20 syncs, some offered by several Macs) and 5 devices,
// and one refresh of an open invite sheet, each with nothing changed and
// right after one more offer arrived. Thread CPU time; median and worst of
// the runs. Also counts the rows and QR images made anew.
//
//   joining_views [runs]

#include "projects/ProjectController.h"
#include "controllers/DeviceController.h"
#include "views/joining/IncomingView.h"
#include "views/joining/InviteSheet.h"

#include "AwaitTask.h"
#include "BenchSupport.h"
#include "MadeUpDeviceID.h"
#include "ViewEnvironment.h"

#include <QApplication>
#include <QLabel>
#include <QSignalBlocker>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using namespace tw;
using namespace tw::bench;

constexpr int kOffers = 100;

PendingFolder offer(int i)
{
    const QString by = madeUpDeviceID(char('A' + i % 3));
    return {.folderID = QStringLiteral("st-%1").arg(i / 2),
            .label = QStringLiteral("Sync %1 \u2014 Folder %2").arg(i % 20).arg(i / 2),
            .offeredByDeviceID = by,
            .offeredByName = by.left(7)};
}

void report(const char *title, std::vector<double> spent)
{
    std::sort(spent.begin(), spent.end());
    std::printf("  %-48s median %.4f ms, max %.4f ms\n", title, spent[spent.size() / 2], spent.back());
}

// Times `refresh` once per run, each after `prepare` (not timed).
std::vector<double> timed(int runs, const std::function<void(int)> &prepare, const std::function<void()> &refresh)
{
    std::vector<double> spent;
    for (int i = 0; i < runs; ++i) {
        prepare(i);
        const double start = threadCpuMs();
        refresh();
        spent.push_back(threadCpuMs() - start);
    }
    return spent;
}

void benchJoining(int runs)
{
    ViewEnvironment rig;
    FakeSyncEngine &engine = rig.engine;
    engine.state.running = true;
    for (int i = 0; i < kOffers; ++i)
        engine.state.pendingFolders.append(offer(i));
    for (int i = 0; i < 5; ++i)
        engine.state.pendingDevices.append({madeUpDeviceID(char('K' + i)), QStringLiteral("Mac %1").arg(i), {}});
    awaitTask(rig.env->devices().refresh());
    awaitTask(rig.env->projects().refreshPending());
    const Project project = rig.env->projects().createProject(QStringLiteral("Film"), std::nullopt);

    IncomingView page(*rig.env);
    page.resize(600, 800);
    page.show();
    QCoreApplication::processEvents();
    InviteSheet sheet(*rig.env, project.id, nullptr, [] { return std::optional<QString>(); });
    sheet.show();
    QCoreApplication::processEvents();
    const auto rows = [&page] { return page.findChildren<QLabel *>(QStringLiteral("folderName")).size(); };
    const qsizetype rowsBefore = rows();
    const int qrBefore = sheet.qrRenders();

    std::printf("Joining views, %d offers, %d runs:\n", kOffers, runs);
    report("incoming page, nothing changed", timed(runs, [](int) {}, [&page] { page.refresh(); }));
    report("invite sheet, nothing changed", timed(runs, [](int) {}, [&sheet] { sheet.refresh(); }));
    require(rows() == rowsBefore && sheet.qrRenders() == qrBefore, "an unchanged refresh remakes nothing");

    int next = kOffers;
    // The views' own refresh on the change is held back, so the timed
    // refresh is the one that takes the new offer in.
    const auto arrive = [&](int) {
        engine.state.pendingFolders.append(offer(next++));
        const QSignalBlocker quiet(rig.env.get());
        awaitTask(rig.env->projects().refreshPending());
        QCoreApplication::processEvents();
    };
    report("incoming page, one offer arrived", timed(runs, arrive, [&page] { page.refresh(); }));
    require(rows() > rowsBefore, "the new offers show");
    report("invite sheet, one offer arrived", timed(runs, arrive, [&sheet] { sheet.refresh(); }));
    require(sheet.qrRenders() == qrBefore, "an offer remakes no QR image");
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    benchJoining(runs);
    return 0;
}
