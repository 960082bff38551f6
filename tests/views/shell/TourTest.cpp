#include "platform/StatusNotifierHostWatch.h"

#include "FakeStatusNotifierWatcher.h"
#include "PrivateBus.h"
#include "WaitUntil.h"

#include <QDBusConnection>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace tw {
namespace {

// The sizes the tour runs at, each its own Xvfb's screen: the window's
// minimum, and a common laptop's screen.
const QStringList kSizes = {QStringLiteral("760x780"), QStringLiteral("1366x768")};

// The tour runs in a process of its own per size, as a desktop draws it (the
// xcb platform on an Xvfb this test starts), with a tray host this test plays
// on a bus of its own and every user directory a temporary one. The sizes run
// side by side.
TEST(TourTest, EveryScreenOfTheRunningApplication)
{
    for (const char *tool : {"Xvfb", "dbus-daemon"})
        ASSERT_FALSE(QStandardPaths::findExecutable(tool).isEmpty()) << tool << " is missing: run scripts/setup-deps";
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    PrivateBus bus;
    std::vector<std::unique_ptr<QProcess>> displays, tours;
    const auto cleanUp = qScopeGuard([&] {
        for (auto &process : tours)
            stopProcess(*process);
        for (auto &process : displays)
            stopProcess(*process);
    });
    ASSERT_FALSE(bus.address().isEmpty());

    QDBusConnection session = QDBusConnection::connectToBus(bus.address(), "tour-test");
    const auto disconnect = qScopeGuard([] { QDBusConnection::disconnectFromBus("tour-test"); });
    ASSERT_TRUE(session.isConnected());
    FakeStatusNotifierWatcher watcher;
    ASSERT_TRUE(session.registerObject(StatusNotifierHostWatch::watcherPath, &watcher,
                                       QDBusConnection::ExportAllContents));
    ASSERT_TRUE(session.registerService(StatusNotifierHostWatch::watcherService));

    QElapsedTimer wall;
    wall.start();
    for (const QString &size : kSizes) {
        displays.push_back(std::make_unique<QProcess>());
        const QString displayNumber = startAndReadLine(
            *displays.back(), "Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", size + "x24"});
        ASSERT_FALSE(displayNumber.isEmpty());

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "WAYLAND_DISPLAY"})
            environment.remove(name);
        // The system's XDG_DATA_DIRS stay: without them the MIME database is empty.
        for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
            const QString path = home.filePath(size + '/' + QString::fromLatin1(name).toLower());
            ASSERT_TRUE(QDir().mkpath(path));
            environment.insert(name, path);
        }
        const QString runtime = home.filePath(size + "/runtime");
        ASSERT_TRUE(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment.insert("XDG_RUNTIME_DIR", runtime);
        environment.insert("TMPDIR", home.filePath(size));
        environment.insert("DISPLAY", ":" + displayNumber);
        environment.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("TIDEWELL_LOOPBACK_ONLY", "1");
        environment.insert("TIDEWELL_TOUR_SIZE", size);
        // A common desktop's 96 dots per inch, not the Xvfb's 75.
        environment.insert("QT_FONT_DPI", "96");
        tours.push_back(std::make_unique<QProcess>());
        QProcess &tour = *tours.back();
        tour.setProcessEnvironment(environment);
        tour.setProcessChannelMode(QProcess::MergedChannels);
        tour.start(TIDEWELL_TOUR_PATH, QStringList());
        ASSERT_TRUE(tour.waitForStarted());
    }
    // The watcher answers on this thread: the loop runs while the tours do.
    const bool ended = waitUntil([&] {
        return std::all_of(tours.cbegin(), tours.cend(),
                           [](const auto &tour) { return tour->state() == QProcess::NotRunning; });
    }, 240'000);
    for (qsizetype i = 0; i < kSizes.size(); ++i) {
        QProcess &tour = *tours[size_t(i)];
        const QByteArray said = tour.readAll();
        const QString prefix = "tour-" + kSizes[i];
        ASSERT_TRUE(ended) << "the tours did not end:\n" << said.constData();
        EXPECT_EQ(tour.exitStatus(), QProcess::NormalExit) << said.constData();
        EXPECT_EQ(tour.exitCode(), 0) << said.constData();
        EXPECT_FALSE(said.contains("FAIL")) << said.constData();
        // The path in its order, to the tray's menu, with the screens again
        // in the dark appearance.
        for (const char *step : {"-01-overview", "-welcome-sheet", "-receiving-long-name", "-folder-settings", "-folder-removal", "-invite-sheet", "-mac-menu",
                                 "-incoming-page", "-placing-sheet", "-new-sync-sheet", "-node-setup-guide", "-join-sheet",
                                 "-node-confirm-sheet", "-dark-welcome-sheet", "-dark-feedback-sheet",
                                 "-dark-approval-prompt", "-dark-folder-archive",
                                 "-dark-settings-team", "-dark-overview-empty", "-incoming-empty", "-tray-menu",
                                 "-quit", "-rename-sheet", "-remove-sync-confirm", "-unusable-invite",
                                 "-apply-ignores-confirm", "-rebuild-confirm", "-archive-with-copies",
                                 "-exclusions-with-items", "-dark-rename-sheet", "-dark-remove-sync-confirm",
                                 "-dark-unusable-invite", "-unreadable-invite", "-dark-unreadable-invite",
                                 "-dark-apply-ignores-confirm", "-dark-rebuild-confirm",
                                 "-dark-archive-with-copies", "-dark-exclusions-with-items",
                                 "-archive-empty-confirm", "-archive-free-confirm", "-archive-restore-confirm",
                                 "-exclusions-excluded-row", "-mac-inspector-menu", "-overview-remove-confirm",
                                 "-dark-archive-empty-confirm", "-dark-archive-free-confirm",
                                 "-dark-archive-restore-confirm", "-dark-exclusions-excluded-row",
                                 "-dark-mac-inspector-menu", "-dark-overview-remove-confirm",
                                 "-focus-marks", "-dark-focus-marks", "-focus-after-sheet",
                                 "-focus-after-question", "-focus-after-panel", "-dark-focus-after-sheet",
                                 "-dark-focus-after-question", "-dark-focus-after-panel"})
            EXPECT_TRUE(said.contains(step)) << step << "\n" << said.constData();
        EXPECT_TRUE(said.contains((prefix + "-01-overview").toUtf8())) << said.constData();
        std::printf("%s\n", said.constData());
    }
    EXPECT_EQ(watcher.items().size(), 2) << "each tour's tray item registers with the session's watcher";
    std::printf("tour wall time: %lld ms\n", static_cast<long long>(wall.elapsed()));
}

} // namespace
} // namespace tw
