#include "platform/StatusNotifierHostWatch.h"

#include "FakeStatusNotifierWatcher.h"
#include "PrivateBus.h"
#include "QtPrinters.h"
#include "WaitUntil.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace tw {
namespace {

using FakeWatcher = FakeStatusNotifierWatcher;

QVariant itemProperty(QDBusConnection &bus, const QString &service, const char *name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(service, "/StatusNotifierItem",
                                                      "org.freedesktop.DBus.Properties", "Get");
    get << QStringLiteral("org.kde.StatusNotifierItem") << QString::fromLatin1(name);
    const QDBusReply<QDBusVariant> reply = bus.call(get);
    return reply.isValid() ? reply.value().variant() : QVariant();
}

TEST(StatusTrayTest, TheItemRegistersOnceAHostAppearsAndFollowsTheHealth)
{
    for (const char *tool : {"Xvfb", "dbus-daemon"})
        ASSERT_FALSE(QStandardPaths::findExecutable(tool).isEmpty()) << tool << " is missing: run scripts/setup-deps";
    QTemporaryDir dir;
    PrivateBus bus;
    QProcess display, child;
    const auto cleanUp = qScopeGuard([&] {
        for (QProcess *process : {&child, &display})
            stopProcess(*process);
    });
    const QString displayNumber =
        startAndReadLine(display, "Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x1024x24"});
    ASSERT_FALSE(displayNumber.isEmpty());
    const QString address = bus.address();
    ASSERT_FALSE(address.isEmpty());

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "WAYLAND_DISPLAY"})
        environment.remove(name);
    environment.insert("DISPLAY", ":" + displayNumber);
    environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.insert("TIDEWELL_LOOPBACK_ONLY", "1");
    environment.insert("XDG_RUNTIME_DIR", dir.path());
    // The child is killed: what it leaves behind goes with this directory.
    environment.insert("TMPDIR", dir.path());
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QByteArray said;
    const auto childSaid = [&](const QByteArray &line) {
        return waitUntil([&] {
            said += child.readAllStandardOutput();
            return said.contains(line + '\n');
        }, 15000);
    };
    child.start(TIDEWELL_TRAY_CHILD_PATH, QStringList());
    ASSERT_TRUE(childSaid("started")) << said.constData();

    // The host comes after the shell, as a panel does after an autostarted copy.
    QDBusConnection session = QDBusConnection::connectToBus(address, "tray-test");
    const auto disconnect = qScopeGuard([] { QDBusConnection::disconnectFromBus("tray-test"); });
    ASSERT_TRUE(session.isConnected());
    FakeWatcher watcher;
    ASSERT_TRUE(session.registerObject(StatusNotifierHostWatch::watcherPath, &watcher,
                                       QDBusConnection::ExportAllContents));
    ASSERT_TRUE(session.registerService(StatusNotifierHostWatch::watcherService));
    ASSERT_TRUE(waitUntil([&] { return !watcher.items().isEmpty(); }, 15000)) << "no item registered";
    const QString item = watcher.items().first();
    EXPECT_EQ(itemProperty(session, item, "IconName").toString(), "process-stop-symbolic");

    child.write("run\n");
    EXPECT_TRUE(waitUntil([&] { return itemProperty(session, item, "IconName") == "emblem-ok-symbolic"; }, 15000))
        << itemProperty(session, item, "IconName").toString().toStdString();

    said.clear();
    child.write("hide\n");
    ASSERT_TRUE(childSaid("hidden"));
    said.clear();
    session.call(QDBusMessage::createMethodCall(item, "/StatusNotifierItem", "org.kde.StatusNotifierItem", "Activate")
                 << 0 << 0);
    EXPECT_TRUE(childSaid("shown"));
    EXPECT_EQ(watcher.items().size(), 1);
}

// Maximised by the window manager at another program's request, and back
// from it to the size it had on a laptop's screen. Maximised, closed by its ×
// or by Ctrl+W, then shown by a second launch: maximised again, and a sheet
// open over it has the keyboard. Under openbox, which reports passing states
// of a window going to the task bar.
TEST(StatusTrayTest, AWindowMaximisedByTheWindowManagerComesBackMaximisedUnderItsSheet)
{
    for (const char *tool : {"Xvfb", "openbox", "wmctrl"})
        ASSERT_FALSE(QStandardPaths::findExecutable(tool).isEmpty()) << tool << " is missing: run scripts/setup-deps";
    QTemporaryDir dir;
    PrivateBus bus;
    QProcess display, manager, child;
    const auto cleanUp = qScopeGuard([&] {
        for (QProcess *process : {&child, &manager, &display})
            stopProcess(*process);
    });
    const QString screen =
        ":" + startAndReadLine(display, "Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1366x768x24"});
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto &[name, value] : {std::pair{"DISPLAY", screen}, {"DBUS_SESSION_BUS_ADDRESS", bus.address()},
                                      {"QT_QPA_PLATFORM", "xcb"}, {"TIDEWELL_LOOPBACK_ONLY", "1"},
                                      {"XDG_RUNTIME_DIR", dir.path()}, {"TMPDIR", dir.path()}, {"HOME", dir.path()}})
        environment.insert(name, value);
    for (QProcess *process : {&manager, &child})
        process->setProcessEnvironment(environment);
    // Told once openbox has taken the windows already there and listens for
    // new ones: a window mapped before may never be managed.
    manager.start("openbox", {"--startup", "echo managing"});
    QByteArray said;
    const auto childSaid = [&](const QByteArray &line) {
        return waitUntil([&] { return (said += child.readAllStandardOutput()).contains(line + '\n'); }, 60000);
    };
    // The child's answer, read until it is whole. The bounds are generous:
    // each wait ends on an answer, and a busy machine starts openbox slowly.
    const auto ask = [&](const char *question, const std::function<bool(const QByteArray &)> &whole) {
        said.clear();
        child.write(question);
        waitUntil([&] { return whole(said += child.readAllStandardOutput()); }, 60000);
    };
    // Shown and maximised, as the child answers.
    const auto maximised = [&] {
        ask("state\n", [](const QByteArray &reply) { return reply.contains("maximized\n") || reply.contains("normal\n"); });
        return said.contains("maximized\n");
    };
    // The window's size with its frame, and whether that fits the screen.
    const auto frameSize = [&] {
        ask("size\n", [](const QByteArray &reply) { return reply.contains("size ") && reply.endsWith('\n'); });
        return said.mid(said.indexOf("size ")).trimmed();
    };
    const auto wmctrl = [&](const QStringList &arguments) -> std::optional<QByteArray> {
        QProcess tool;
        tool.setProcessEnvironment(environment);
        tool.start("wmctrl", arguments);
        if (!tool.waitForFinished(60000) || tool.exitCode() != 0)
            return std::nullopt;
        return tool.readAllStandardOutput();
    };
    QByteArray managerSaid;
    ASSERT_TRUE(waitUntil([&] { return (managerSaid += manager.readAllStandardOutput()).contains("managing\n"); }, 60000))
        << manager.state() << " " << manager.exitCode() << " " << manager.readAllStandardError().constData();
    child.start(TIDEWELL_TRAY_CHILD_PATH, QStringList());
    ASSERT_TRUE(childSaid("started")) << said.constData();
    // Once openbox manages the window, it takes the request.
    QByteArray listed;
    ASSERT_TRUE(waitUntil([&] { return (listed = wmctrl({"-l"}).value_or("(no answer)")).contains("TidewellMesh"); }, 60000))
        << listed.constData() << manager.readAllStandardError().constData();
    // Openbox answers requests in turn: once a new number of desktops shows,
    // it has dealt with everything asked before.
    int desktops = 4;
    const auto openboxCaughtUp = [&] {
        desktops = desktops == 2 ? 3 : 2;
        return wmctrl({"-n", QString::number(desktops)})
               && waitUntil([&] { return wmctrl({"-d"}).value_or("").count('\n') == desktops; }, 60000);
    };
    // Shrunk to the screen once framed, and openbox has taken the shrinking
    // before it is asked to maximise: it gives back what it had last.
    QByteArray normalSize;
    ASSERT_TRUE(waitUntil([&] { return (normalSize = frameSize()).endsWith(" fits"); }, 60000)) << normalSize.constData();
    ASSERT_TRUE(openboxCaughtUp());
    // Asked again until it holds: openbox may still be settling in.
    const auto maximise = [&](bool on) {
        return waitUntil([&] {
            const char *change = on ? "add,maximized_vert,maximized_horz" : "remove,maximized_vert,maximized_horz";
            return wmctrl({"-r", "TidewellMesh", "-b", change}) && maximised() == on;
        }, 60000);
    };
    // Each time: which of the window's move and its maximised state comes
    // first is the machine's to choose.
    for (int time = 0; time < 6; ++time) {
        ASSERT_TRUE(maximise(true));
        ASSERT_TRUE(maximise(false));
        QByteArray restoredSize;
        ASSERT_TRUE(waitUntil([&] { return (restoredSize = frameSize()) == normalSize; }, 60000))
            << restoredSize.constData() << " after " << normalSize.constData();
    }
    ASSERT_TRUE(maximise(true));
    // Maximised once openbox has dealt with every request and the window has
    // taken its reports: a report read before them may still be on its way,
    // and a close that meets it finds a window it takes for minimised.
    const auto settledMaximised = [&] {
        return openboxCaughtUp() && waitUntil([&] { return maximised() && maximised(); }, 60000);
    };
    const std::vector<std::function<void()>> closes = {[&] { wmctrl({"-c", "TidewellMesh"}); },
                                                       [&] { child.write("close\n"); }};
    for (const auto &close : closes) {
        SCOPED_TRACE(&close == &closes.front() ? "closed by its ×" : "closed by Ctrl+W");
        ASSERT_TRUE(settledMaximised());
        said.clear();
        close();
        ASSERT_TRUE(childSaid("hidden"));
        child.write("show\n");
    }
    EXPECT_TRUE(settledMaximised());

    // With a sheet open, a second launch gives the keyboard to the sheet,
    // not to the window it blocks, once openbox has done as asked.
    const auto sheetActive = [&] {
        return openboxCaughtUp() && waitUntil([&] {
            ask("active\n", [](const QByteArray &reply) { return reply.contains('\n'); });
            return said.startsWith("sheet\n");
        }, 60000);
    };
    child.write("sheet\n");
    for (const char *away : {"hide\n", "close\n", "minimise\n", "window\n"}) {
        SCOPED_TRACE(away);
        child.write(QByteArray(away) + "show\n");
        EXPECT_TRUE(sheetActive());
    }
}

} // namespace
} // namespace tw

