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

namespace tw {
namespace {

// The tour runs in a process of its own, as a desktop draws it (the xcb
// platform on an Xvfb this test starts), with a tray host this test plays on
// a bus of its own and every user directory a temporary one.
TEST(TourTest, EveryScreenOfTheRunningApplication)
{
    for (const char *tool : {"Xvfb", "dbus-daemon"})
        ASSERT_FALSE(QStandardPaths::findExecutable(tool).isEmpty()) << tool << " is missing: run scripts/setup-deps";
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    PrivateBus bus;
    QProcess display, tour;
    const auto cleanUp = qScopeGuard([&] {
        for (QProcess *process : {&tour, &display})
            stopProcess(*process);
    });
    const QString displayNumber =
        startAndReadLine(display, "Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1440x1000x24"});
    ASSERT_FALSE(displayNumber.isEmpty());
    ASSERT_FALSE(bus.address().isEmpty());

    QDBusConnection session = QDBusConnection::connectToBus(bus.address(), "tour-test");
    const auto disconnect = qScopeGuard([] { QDBusConnection::disconnectFromBus("tour-test"); });
    ASSERT_TRUE(session.isConnected());
    FakeStatusNotifierWatcher watcher;
    ASSERT_TRUE(session.registerObject(StatusNotifierHostWatch::watcherPath, &watcher,
                                       QDBusConnection::ExportAllContents));
    ASSERT_TRUE(session.registerService(StatusNotifierHostWatch::watcherService));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "WAYLAND_DISPLAY"})
        environment.remove(name);
    // The system's XDG_DATA_DIRS stay: without them the MIME database is empty.
    for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
        const QString path = home.filePath(QString::fromLatin1(name).toLower());
        ASSERT_TRUE(QDir().mkpath(path));
        environment.insert(name, path);
    }
    const QString runtime = home.filePath("runtime");
    ASSERT_TRUE(QDir().mkpath(runtime));
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    environment.insert("XDG_RUNTIME_DIR", runtime);
    environment.insert("TMPDIR", home.path());
    environment.insert("DISPLAY", ":" + displayNumber);
    environment.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.insert("TIDEWELL_LOOPBACK_ONLY", "1");
    tour.setProcessEnvironment(environment);
    tour.setProcessChannelMode(QProcess::MergedChannels);

    QElapsedTimer wall;
    wall.start();
    tour.start(TIDEWELL_TOUR_PATH, QStringList());
    ASSERT_TRUE(tour.waitForStarted());
    // The watcher answers on this thread: the loop runs while the tour does.
    const bool ended = waitUntil([&] { return tour.state() == QProcess::NotRunning; }, 50'000);
    const QByteArray said = tour.readAll();
    ASSERT_TRUE(ended) << "the tour did not end:\n" << said.constData();
    EXPECT_EQ(tour.exitStatus(), QProcess::NormalExit) << said.constData();
    EXPECT_EQ(tour.exitCode(), 0) << said.constData();
    EXPECT_FALSE(said.contains("FAIL")) << said.constData();
    // The path in its order, to the tray's menu.
    for (const char *step : {"tour-01-overview", "tour-04-mac-menu", "tour-08-incoming-page", "tour-11-new-sync-sheet",
                             "-tray-menu", "-quit"})
        EXPECT_TRUE(said.contains(step)) << step << "\n" << said.constData();
    EXPECT_EQ(watcher.items().size(), 1) << "the tray item registers with the session's watcher";
    std::printf("%s\ntour wall time: %lld ms\n", said.constData(), static_cast<long long>(wall.elapsed()));
}

} // namespace
} // namespace tw
