// What the feedback sheet costs: from "Send Feedback…" to the sheet painted;
// the main thread's share of turning the screenshot on for an 1100 × 800
// window (the grab), and the PNG encoding that runs off it; and the
// diagnostics summary of 50 syncs of 5 Macs each. Offscreen.
//
//   feedback_sheet

#include "app/AppEnvironment.h"
#include "app/texts/FeedbackDiagnostics.h"
#include "views/feedback/FeedbackSheet.h"

#include "BenchSupport.h"
#include "ViewEnvironment.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QLabel>
#include <QVBoxLayout>
#include <cstdio>

namespace {

using namespace tw;

template <typename F> double medianMs(int runs, F &&run)
{
    QList<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        times.append(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

HealthInputs fiftySyncs()
{
    HealthInputs in{.engineRunning = true, .localDeviceID = "ME"};
    for (int mac = 0; mac < 5; ++mac) {
        const QString id = QStringLiteral("MAC%1").arg(mac);
        SyncDevice device;
        device.id = id;
        in.devices.append(device);
        in.connections[id].connected = mac % 2 == 0;
    }
    for (int sync = 0; sync < 50; ++sync) {
        Project project{.id = QString::number(sync)};
        for (const SyncDevice &device : in.devices)
            project.members.append({.deviceID = device.id});
        for (int folder = 0; folder < 3; ++folder) {
            const QString id = QStringLiteral("f%1-%2").arg(sync).arg(folder);
            project.folders.append({.id = id, .localPath = "/data/" + id, .syncthingFolderID = id});
            in.engineFolders.append({.id = id, .path = "/data/" + id});
            in.folderStatuses.insert(id, {.id = id, .state = FolderState::Idle, .globalBytes = 100});
        }
        in.projects.append(project);
    }
    return in;
}

} // namespace

int main(int argc, char **argv)
{
    bench::drawOffscreen();
    QApplication app(argc, argv);
    ViewEnvironment rig;
    AppEnvironment &env = *rig.env;

    QWidget window;
    window.resize(1100, 800);
    auto *layout = new QVBoxLayout(&window);
    for (int i = 0; i < 30; ++i)
        layout->addWidget(new QLabel(QStringLiteral("Row %1 of a busy window").arg(i)));
    window.show();

    const double open = medianMs(20, [&] {
        FeedbackSheet sheet(env, FeedbackSheet::kOrigin, &window, nullptr);
        sheet.show();
        sheet.repaint();
        QCoreApplication::processEvents();
    });
    QImage image;
    const double grab = medianMs(20, [&] { image = window.grab().toImage(); });
    const double png = medianMs(10, [&] {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    });
    const HealthInputs in = fiftySyncs();
    const QDateTime now = QDateTime::currentDateTime();
    const double diagnostics = medianMs(200, [&] { (void)FeedbackDiagnostics::from(in, "Syncthing", now).text(); });

    std::printf("sheet shown and painted:          %.2f ms (median of 20)\n", open);
    std::printf("screenshot grab, main thread:     %.2f ms for %dx%d\n", grab, image.width(), image.height());
    std::printf("PNG encoding, off the main thread: %.2f ms\n", png);
    std::printf("diagnostics, 50 syncs x 5 Macs:   %.3f ms\n", diagnostics);
    return 0;
}
