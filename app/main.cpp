#include "app/AppEnvironment.h"
#include "app/AppPreferences.h"
#include "app/InstanceChannel.h"
#include "app/SecondLaunch.h"
#include "controllers/EngineController.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "platform/DesktopEntry.h"
#include "platform/FreedesktopNotifier.h"
#include "platform/SecretServiceKeychain.h"
#include "platform/TerminationSignals.h"
#include "services/FeedbackService.h"
#include "utilities/AppPaths.h"
#include "utilities/ExitDeadline.h"
#include "utilities/InstanceLock.h"
#include "utilities/UserDefaults.h"
#include "views/shell/AppShell.h"
#include "views/shell/WidgetAppearance.h"

#include <QApplication>
#include <QMessageBox>
#include <QTextStream>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <unistd.h>

namespace {

const QString noDisplay = QStringLiteral("TidewellMesh needs a graphical session, and no display was found.");

// The lock is held: hand the link (or "show") to the copy that holds it, or
// take its place once a copy that is quitting has gone. No display is needed
// for that.
tw::SecondLaunch::Outcome resolveHeldLock(int argc, char **argv, const tw::AppPaths &paths, tw::InstanceLock &lock)
{
    QCoreApplication app(argc, argv);
    const QString request = tw::InstanceChannel::requestFor(QCoreApplication::arguments());
    const QString socket = tw::InstanceChannel::socketPath(paths);
    return tw::SecondLaunch::resolve(lock, [&socket, &request] { return tw::InstanceChannel::deliver(socket, request); });
}

bool displayNamed()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith(QLatin1String("xcb"))
        && !platform.startsWith(QLatin1String("wayland")))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// A display that is named but cannot be reached makes Qt abort while the
// QApplication is made, after a few lines of its own: those are held back
// and the user gets one line and exit code 1 instead.
QtMessageHandler desktopHandler = nullptr;
QList<std::pair<QtMsgType, QString>> heldMessages;

void holdMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        QTextStream(stderr) << noDisplay << '\n';
        ::_exit(1);
    }
    heldMessages.append({type, message});
}

void releaseMessages()
{
    qInstallMessageHandler(desktopHandler);
    for (const auto &[type, message] : std::as_const(heldMessages)) {
        if (desktopHandler)
            desktopHandler(type, QMessageLogContext(), message);
        else
            QTextStream(stderr) << message << '\n';
    }
    heldMessages.clear();
}

// A copy that neither handed its request over nor started says why: on
// standard error and, where there is a display, in a window, since a copy
// opened from the desktop has no terminal.
int tellUnstarted(int argc, char **argv, const QString &text)
{
    QTextStream(stderr) << text << '\n';
    if (!displayNamed())
        return 1;
    desktopHandler = qInstallMessageHandler(holdMessage);
    QApplication app(argc, argv);
    releaseMessages();
    QMessageBox::information(nullptr, QStringLiteral("TidewellMesh"), text);
    return 1;
}

void printEngineState(const tw::AppEnvironment &environment)
{
    QTextStream out(stdout);
    if (environment.engineState().status().isRunning)
        out << "Syncthing is running. Press Ctrl-C to stop.\n";
    else
        out << "Syncthing is not running yet: "
            << environment.engineState().lastErrorMessage().value_or(QStringLiteral("no reason given")) << '\n';
    out.flush();
}

} // namespace

int main(int argc, char **argv)
{
    // Claimed before anything is built: a second copy must neither sweep nor
    // launch; it only passes its link on.
    const tw::AppPaths paths = tw::AppPaths::standard();
    auto lock = std::make_shared<tw::InstanceLock>(paths);
    if (!lock->acquire()) {
        if (!lock->isHeldElsewhere()) {
            QTextStream(stderr) << lock->failure() << '\n';
            return 1;
        }
        const tw::SecondLaunch::Outcome outcome = resolveHeldLock(argc, argv, paths, *lock);
        if (outcome == tw::SecondLaunch::Outcome::Handed)
            return 0;
        if (outcome != tw::SecondLaunch::Outcome::TakeOver)
            return tellUnstarted(argc, argv, tw::SecondLaunch::message(outcome));
    }
    // Made before everything whose end it bounds, so that it goes after
    // them; when that end does not come it lets go of the lock itself.
    tw::ExitDeadline ending([lock](int code) {
        lock->release();
        tw::ExitDeadline::endNow(code);
    });
    if (!displayNamed()) {
        QTextStream(stderr) << noDisplay << '\n';
        return 1;
    }
    desktopHandler = qInstallMessageHandler(holdMessage);
    QApplication app(argc, argv);
    releaseMessages();
    QApplication::setApplicationName(QStringLiteral("TidewellMesh"));
    QApplication::setDesktopFileName(QStringLiteral("tidewellmesh"));
    if (QCoreApplication::applicationFilePath().startsWith(QStringLiteral(TIDEWELL_BUILD_DIR "/")))
        tw::DesktopEntry::registerBuildTreeCopy(tw::DesktopEntry::userEntryPath(),
                                                QCoreApplication::applicationFilePath());
    tw::TerminationSignals terminationSignals;
    // Most of the pool's work waits on disks (walks, deletes, look-ups),
    // some of them slow or vanished mounts: a few such waits must not hold up
    // the decoding and sorting that share the pool on a two-core machine.
    QThreadPool::globalInstance()->setMaxThreadCount(std::max(QThread::idealThreadCount(), 8));

    tw::SyncthingProcess::Options options = tw::SyncthingProcess::optionsFromEnvironment();
    options.instanceLock = lock;
    tw::SyncthingEngine engine(
        std::make_shared<tw::SyncthingProcess>(paths, tw::SyncthingProcess::defaultCandidates(), options),
        tw::realSleeper());
    tw::UserDefaults defaults(tw::UserDefaults::standardFilePath());
    tw::SecretServiceKeychain keychain;
    tw::FreedesktopNotifier desktopNotifications;
    tw::AppEnvironment::Services services(paths);
    services.defaults = &defaults;
    services.keychain = &keychain;
    services.feedback = &tw::FeedbackService::shared();
    services.notifier = &desktopNotifications;
    services.lan = tw::AppEnvironment::LanSetting::forThisRun();

    tw::AppShell *running = nullptr;
    tw::AppShell::Injectables injectables;
    injectables.started = [&running] { printEngineState(running->environment()); };
    // Declared after the engine, so it goes first: it must never outlive it.
    tw::AppShell shell(engine, std::move(services), std::move(injectables));
    running = &shell;
    shell.environment().preferences().setAppearanceHook(tw::applyWidgetAppearance);
    const QString socket = tw::InstanceChannel::socketPath(paths);
    if (!shell.listen(socket)) {
        QTextStream(stderr) << "Links opened elsewhere will not reach this copy: its local socket " << socket
                            << " cannot be opened (" << shell.listenFailure() << ").\n";
        // A later copy would otherwise wait for this one to quit; told, it
        // says at once that this one runs. Once this one quits, a later copy
        // waits for its end and starts in its place, as always.
        lock->setUnreachable(true);
        QObject::connect(&shell, &tw::AppShell::quitStarted, [lock] { lock->setUnreachable(false); });
    }
    QObject::connect(&terminationSignals, &tw::TerminationSignals::received, &shell, &tw::AppShell::quit);
    shell.open(tw::InstanceChannel::requestFor(QCoreApplication::arguments()));
    const int code = app.exec();
    // The quit path has stopped Syncthing. The walks, deletes and probes
    // still under way finish while the shell and the engine they were
    // started for are still there; Qt would wait for them only once those
    // are gone. The icon probes' own pool is stopped as the application
    // object goes. A look-up stuck on a vanished mount is left behind.
    ending.arm(code);
    QThreadPool::globalInstance()->waitForDone();
    return code;
}
