#include "views/shell/AppShell.h"

#include "app/AppSignals.h"
#include "app/InstanceChannel.h"
#include "cluster/InviteCodec.h"
#include "utilities/InstanceLock.h"
#include "views/kit/PanelTexts.h"
#include "views/shell/MenuBarContent.h"
#include "views/shell/ShellWindow.h"
#include "views/shell/WindowController.h"

#include "QtPrinters.h"
#include "WaitUntil.h"
#include "WindowLookup.h"
#include "../support/ShellRig.h"

#include <QApplication>
#include <QDialog>
#include <QLayout>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>
#include <QtConcurrent>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tw {
namespace {

const Invite invite{QStringLiteral("AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG-HHHHHHH"),
                    QStringLiteral("Ada's Mac"), QStringLiteral("Plans"), std::nullopt};

// What a copy started with XDG_DATA_HOME=<root>/data sees, loopback only.
QProcessEnvironment copyEnvironment(const QString &base)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *place : {"home", "config", "data", "run"})
        QDir().mkpath(base + '/' + place);
    QFile::setPermissions(base + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    environment.insert("HOME", base + "/home");
    environment.insert("XDG_CONFIG_HOME", base + "/config");
    environment.insert("XDG_DATA_HOME", base + "/data");
    environment.insert("XDG_RUNTIME_DIR", base + "/run");
    // What a copy that is killed leaves behind goes with the test's directory.
    environment.insert("TMPDIR", base);
    environment.insert("TIDEWELL_LOOPBACK_ONLY", "1");
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    return environment;
}

struct Finished { int exitCode = -1; QByteArray standardError; };

// Runs a copy of the application while this event loop answers for the
// first, where there is one.
Finished runCopy(const QProcessEnvironment &environment, const QStringList &arguments)
{
    QProcess copy;
    copy.setProcessEnvironment(environment);
    copy.start(QStringLiteral(TIDEWELL_APP_PATH), arguments);
    if (!waitUntil([&] { return copy.state() == QProcess::NotRunning; }, 10000)) {
        copy.kill();
        copy.waitForFinished();
        return {};
    }
    return {copy.exitCode(), copy.readAllStandardError()};
}

// Sends raw bytes from another thread and answers what came back before the
// listener closed the connection.
QByteArray exchange(const QString &path, const QByteArray &bytes, bool finishLine)
{
    QFuture<QByteArray> answer = QtConcurrent::run([path, bytes, finishLine] {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (!socket.waitForConnected(2000))
            return QByteArrayLiteral("not connected");
        socket.write(finishLine ? bytes + '\n' : bytes);
        QByteArray received;
        while (socket.waitForReadyRead(3000))
            received += socket.readAll();
        return received + socket.readAll();
    });
    waitUntil([&] { return answer.isFinished(); }, 10000);
    return answer.result();
}

TEST(AppShellTest, ASecondCopyHandsItsLinkOrShowToTheWindow)
{
    ShellRig rig;
    InstanceLock lock{AppPaths(rig.root())};
    ASSERT_TRUE(lock.acquire());
    const QProcessEnvironment environment = copyEnvironment(rig.dir.path());
    const QString socket = InstanceChannel::socketPath(AppPaths(rig.root()), rig.dir.filePath("run"));
    // A crashed copy's socket file is in the way only until the holder listens.
    {
        QFile leftover(socket);
        ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(rig.shell->listen(socket));
    struct stat status = {};
    ASSERT_EQ(::stat(socket.toLocal8Bit().constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 077, 0u) << "the socket lets others in";

    ShellWindow &window = rig.shell->window();
    ASSERT_FALSE(window.isVisible());
    const Finished linked = runCopy(environment, {InviteCodec::url(invite)->toString(QUrl::FullyEncoded)});
    EXPECT_EQ(linked.exitCode, 0) << linked.standardError.constData();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(rig.env().pendingInvite(), invite);

    window.hide();
    const Finished shown = runCopy(environment, {});
    EXPECT_EQ(shown.exitCode, 0) << shown.standardError.constData();
    EXPECT_TRUE(window.isVisible());

    // Input the listener does not take is dropped unanswered.
    window.hide();
    rig.env().setPendingInvite(std::nullopt);
    const QByteArray link = InviteCodec::url(invite)->toString(QUrl::FullyEncoded).toUtf8();
    const struct { const char *name; QByteArray bytes; bool finished; } refused[] = {
        {"longer than 64 KiB", link + "&pad=" + QByteArray(InstanceChannel::maxLineBytes, 'a'), true},
        {"not UTF-8", link + "&name=\xff\xfe", true},
        {"never finished", link, false},
    };
    for (const auto &row : refused) {
        EXPECT_EQ(exchange(socket, row.bytes, row.finished), QByteArray()) << row.name;
        EXPECT_FALSE(window.isVisible()) << row.name;
        EXPECT_FALSE(rig.env().pendingInvite()) << row.name;
    }
    EXPECT_EQ(exchange(socket, "show", true), InstanceChannel::answer);
}

// A copy that quits takes no more links (it would drop them): one started
// meanwhile finds nobody listening and waits to start in its place. Taken
// and let go alike where the socket's path is longer than an address holds.
TEST(AppShellTest, AQuittingCopyStopsListening)
{
    for (const QString &directory : {QString(), QStringLiteral("/") + QString(120, 'd')}) {
        ShellRig rig;
        ASSERT_TRUE(QDir().mkpath(rig.dir.path() + directory));
        const QString socket = rig.dir.path() + directory + QStringLiteral("/channel");
        ASSERT_TRUE(rig.shell->listen(socket)) << socket.size() << ' ' << rig.shell->listenFailure().toStdString();
        EXPECT_TRUE(QFileInfo(socket).exists()) << socket.size();
        QFuture<InstanceChannel::Delivery> shown = QtConcurrent::run(
            [socket] { return InstanceChannel::deliver(socket, InstanceChannel::showRequest); });
        waitUntil([&] { return shown.isFinished(); }, 10000);
        EXPECT_EQ(shown.result(), InstanceChannel::Delivery::Taken) << socket.size();
        rig.shell->quit();
        EXPECT_FALSE(QFile::exists(socket)) << socket.size();
        EXPECT_EQ(InstanceChannel::deliver(socket, InstanceChannel::showRequest, std::chrono::milliseconds(100)),
                  InstanceChannel::Delivery::NotListening)
            << socket.size();
    }
}

// Without a display, so that only the line tells it.
TEST(AppShellTest, ASilentHolderLeavesTheSecondCopyAlreadyRunning)
{
    QTemporaryDir base;
    QProcessEnvironment environment = copyEnvironment(base.path());
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(name);
    const AppPaths paths(base.filePath("data/TidewellSync"));
    InstanceLock lock(paths);
    ASSERT_TRUE(lock.acquire());
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(InstanceChannel::socketPath(paths, base.filePath("run"))));

    const Finished second = runCopy(environment, {InviteCodec::url(invite)->toString()});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_EQ(second.standardError, (InstanceLock::alreadyRunning + '\n').toUtf8());
}

// Qt would abort with lines of its own; the user gets one line and exit 1.
TEST(AppShellTest, WithoutADisplayTheApplicationSaysSoInOneLine)
{
    const struct
    {
        const char *name;
        const char *display;
    } rows[] = {{"none named", nullptr}, {"one that is not there", ":4093"}};
    for (const auto &row : rows) {
        QTemporaryDir base;
        QProcessEnvironment environment = copyEnvironment(base.path());
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            environment.remove(name);
        if (row.display)
            environment.insert("DISPLAY", row.display);
        const Finished run = runCopy(environment, {});
        EXPECT_EQ(run.exitCode, 1) << row.name;
        EXPECT_EQ(run.standardError, "TidewellMesh needs a graphical session, and no display was found.\n")
            << row.name;
    }
}

// An opened invitation that names no Mac, or cannot be read at all, is not
// silently dropped: the note says which.
TEST(AppShellTest, AnInviteLinkWithoutADeviceSaysItCannotBeUsed)
{
    const Invite nobody{QString(), QStringLiteral("Ada's Mac"), QStringLiteral("Plans"), std::nullopt};
    const struct { QString link; QString said; } rows[] = {
        {InviteCodec::url(nobody)->toString(QUrl::FullyEncoded), texts::unusableInvite},
        {QStringLiteral("tidewellsync://join?d=zzz"), texts::unreadableInvite},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.link.toStdString());
        ShellRig rig;
        rig.shell->open(row.link);
        EXPECT_FALSE(rig.env().pendingInvite());
        auto *note = rig.shell->window().findChild<QMessageBox *>(QStringLiteral("unusableInvite"));
        ASSERT_TRUE(note);
        EXPECT_TRUE(note->isVisible());
        EXPECT_EQ(note->text(), row.said);
        rig.shell->open(InviteCodec::url(invite)->toString(QUrl::FullyEncoded));
        EXPECT_EQ(rig.env().pendingInvite(), invite);
    }
}

TEST(AppShellTest, ClosingHidesToATrayOrMinimisesAskedAtEachClose)
{
    ShellRig rig;
    ShellWindow &window = rig.shell->window();
    QWidget *content = window.centralWidget();
    rig.shell->windowController().show();
    ASSERT_TRUE(window.isVisible());
    QAction *closeWindow = menuAction(rig.shell->window(), QStringLiteral("Close Window"));
    ASSERT_TRUE(closeWindow);

    const struct { bool tray; bool byMenu; } closes[] = {{true, false}, {false, false}, {true, true}, {false, true}};
    for (const auto &close : closes) {
        rig.trayAvailable = close.tray;
        if (close.byMenu)
            closeWindow->trigger();
        else
            window.close();
        EXPECT_EQ(window.isVisible(), !close.tray) << close.tray;
        EXPECT_EQ(window.isMinimized(), !close.tray) << close.tray;
        rig.shell->trayMenu().openAction()->trigger();
        EXPECT_TRUE(window.isVisible());
        EXPECT_FALSE(window.isMinimized());
        EXPECT_EQ(window.centralWidget(), content);
    }
    EXPECT_TRUE(rig.exits.isEmpty());
}

// A window manager drops the maximised state of a window it no longer shows,
// whether the close hid it to the tray or minimised it.
TEST(AppShellTest, AMaximisedWindowComesBackMaximised)
{
    for (const bool tray : {true, false}) {
        SCOPED_TRACE(tray ? "hidden to the tray" : "minimised");
        ShellRig rig;
        ShellWindow &window = rig.shell->window();
        window.showMaximized();
        ASSERT_TRUE(window.isMaximized());
        rig.trayAvailable = tray;
        window.close();
        ASSERT_EQ(window.isVisible(), !tray);
        window.setWindowState(tray ? Qt::WindowNoState : Qt::WindowMinimized);
        rig.shell->open(InstanceChannel::showRequest);
        EXPECT_TRUE(window.isVisible());
        EXPECT_FALSE(window.isMinimized());
        EXPECT_TRUE(window.isMaximized());

        window.showNormal();
        window.close();
        rig.shell->trayMenu().openAction()->trigger();
        EXPECT_FALSE(window.isMaximized()) << "a normal window stays normal";
    }
}

// Menu bar, toolbar, banner and status bar are inside the minimum: the
// pages scroll within what is left.
TEST(AppShellTest, TheWholeWindowFitsItsMinimum)
{
    ShellRig rig;
    ShellWindow &window = rig.shell->window();
    window.show();
    const QSize content = window.layout()->totalMinimumSize();
    EXPECT_LE(content.width(), ShellWindow::minimumWindowSize.width());
    EXPECT_LE(content.height(), ShellWindow::minimumWindowSize.height());
}

TEST(AppShellTest, TheMinimumSizeFitsASmallerScreen)
{
    const struct { QSize available; QMargins frame; QSize minimum; } rows[] = {
        {{1920, 1050}, {}, {760, 780}},
        {{1366, 740}, {}, {760, 740}},
        {{1366, 740}, {1, 28, 1, 1}, {760, 711}},
        {{700, 600}, {}, {700, 600}},
        {{0, 0}, {}, {760, 780}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(ShellWindow::minimumSizeFor(row.available, row.frame), row.minimum) << row.available.width();
}

TEST(AppShellTest, MenusHoldSettingsCloseQuitAndFeedbackOnly)
{
    ShellRig rig;
    QStringList seen;
    for (QAction *menu : rig.shell->window().menuBar()->actions()) {
        seen << menu->text() + ':';
        for (QAction *action : menu->menu()->actions())
            if (!action->isSeparator())
                seen << action->text() + ' ' + action->shortcut().toString(QKeySequence::PortableText);
    }
    EXPECT_EQ(seen, QStringList({"File:", "Settings\u2026 Ctrl+,", "Close Window Ctrl+W", "Quit TidewellMesh Ctrl+Q",
                                 "Help:", "Send Feedback\u2026 Ctrl+?"}));

    int feedbackSheets = 0;
    QObject::connect(&rig.shell->appSignals(), &AppSignals::showFeedbackSheet, [&] { ++feedbackSheets; });
    menuAction(rig.shell->window(), "Send Feedback\u2026")->trigger();
    EXPECT_EQ(feedbackSheets, 1);

    menuAction(rig.shell->window(), "Settings\u2026")->trigger();
    EXPECT_TRUE(rig.shell->settingsWindow().isVisible());
    // The default build keeps reports here: the menu offers nothing, and a
    // disabled action's shortcut is inert.
    ShellRig local(true, true, QString());
    QObject::connect(&local.shell->appSignals(), &AppSignals::showFeedbackSheet, [&] { ++feedbackSheets; });
    QAction *disabled = menuAction(local.shell->window(), "Send Feedback\u2026");
    EXPECT_FALSE(disabled->isEnabled());
    disabled->trigger();
    EXPECT_EQ(feedbackSheets, 1);
    EXPECT_EQ(rig.shell->settingsWindow().size(), AppShell::settingsSize);
}

TEST(AppShellTest, SettingsOpenCentredOverTheMainWindowAndStayWhereMoved)
{
    ShellRig rig;
    QWidget &window = rig.shell->window();
    window.setGeometry(0, 0, 800, 600);
    rig.shell->windowController().show();
    QWidget &settings = rig.shell->settingsWindow();
    menuAction(rig.shell->window(), "Settings\u2026")->trigger();
    ASSERT_TRUE(settings.isVisible());
    // Within a few pixels: the window's frame is known only once shown.
    EXPECT_LE((settings.frameGeometry().center() - window.frameGeometry().center()).manhattanLength(), 8);

    // Moved by the user, it stays there while open.
    settings.move(settings.pos() + QPoint(30, 20));
    const QPoint moved = settings.pos();
    menuAction(rig.shell->window(), "Settings\u2026")->trigger();
    EXPECT_EQ(settings.pos(), moved);
    // A sheet over the settings comes forward with the keys at a second launch;
    // one over the window keeps them when the window beside it is clicked.
    QDialog guide(&settings), sheet(&window);
    for (QDialog *modal : {&guide, &sheet})
        modal->setWindowModality(Qt::WindowModal);
    guide.open();
    rig.shell->windowController().show();
    EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &guide; }));
    guide.reject();
    sheet.open();
    window.activateWindow();
    EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &sheet; }));
}

// Esc and Ctrl+W close the settings window, wherever the focus is in it.
TEST(AppShellTest, EscapeAndCtrlWCloseTheSettings)
{
    ShellRig rig;
    QWidget &settings = rig.shell->settingsWindow();
    for (const QKeyCombination keys : {QKeyCombination(Qt::Key_Escape), Qt::CTRL | Qt::Key_W}) {
        SCOPED_TRACE(QKeySequence(keys).toString().toStdString());
        menuAction(rig.shell->window(), "Settings\u2026")->trigger();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&settings));
        QWidget *focus = settings.focusWidget() ? settings.focusWidget() : &settings;
        QTest::keyClick(focus, keys.key(), keys.keyboardModifiers());
        EXPECT_FALSE(settings.isVisible());
    }
}

TEST(AppShellTest, QuitStopsTheEngineOnceAndStartsNothingAfter)
{
    // Stopped: the quit still ends the process.
    {
        ShellRig rig;
        rig.engine.state.running = false;
        rig.shell->windowController().show();
        ASSERT_TRUE(waitUntil([&] { return rig.startedCalls == 1; }));
        rig.shell->trayMenu().quitAction()->trigger();
        ASSERT_TRUE(waitUntil([&] { return !rig.exits.isEmpty(); }));
        EXPECT_EQ(rig.exits, QList<int>{0});
        EXPECT_EQ(rig.engine.callCount("stop"), 1);
    }
    // Quit while start-up waits for Syncthing to start: once it has, nothing
    // of start-up's second half runs, and no loop starts.
    {
        ShellRig rig;
        QStringList steps;
        rig.env().setStepObserver([&steps](QString step) { steps << step; });
        rig.engine.hold("start");
        rig.shell->windowController().show();
        ASSERT_TRUE(waitUntil([&] { return rig.engine.waiting("start") == 1; }));
        menuAction(rig.shell->window(), "Quit TidewellMesh")->trigger();
        rig.shell->quit();  // a second signal, say: ignored
        ASSERT_TRUE(waitUntil([&] { return !rig.exits.isEmpty(); }));
        rig.engine.release("start");
        ASSERT_TRUE(waitUntil([&] { return steps.contains("setNotificationBaselines"); }));
        EXPECT_EQ(rig.exits, QList<int>{0});
        EXPECT_EQ(rig.engine.callCount("stop"), 1);
        EXPECT_EQ(rig.pauses, 0) << "a loop started";
        EXPECT_EQ(rig.startedCalls, 0);
        EXPECT_FALSE(steps.contains("onEngineUp"));
        EXPECT_FALSE(steps.contains("applyDiagServer"));
        EXPECT_EQ(rig.engine.callCount("events"), 0);
    }
}

// The real end of the event loop, with a visible window and no tray: a quit
// that asked the windows to close would be cancelled by the minimise.
TEST(AppShellTest, TheRealQuitPathEndsTheLoopPastAVisibleWindow)
{
    ShellRig rig(false);
    rig.shell->windowController().show();
    ASSERT_TRUE(rig.shell->window().isVisible());
    QTimer::singleShot(0, rig.shell.get(), &AppShell::quit);
    // Only there so that a failure ends the test instead of hanging it.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(20000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(rig.aboutToQuitCalls, 1);
}

} // namespace
} // namespace tw
