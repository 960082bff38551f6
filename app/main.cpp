#include "app/AppEnvironment.h"
#include "controllers/EngineController.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "lan/DiagServer.h"
#include "platform/FreedesktopNotifier.h"
#include "platform/SecretServiceKeychain.h"
#include "services/FeedbackService.h"
#include "utilities/AppPaths.h"
#include "utilities/InstanceLock.h"
#include "utilities/UserDefaults.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

QCoro::Task<void> run(tw::AppEnvironment *environment)
{
    co_await environment->bootstrap();
    QTextStream out(stdout);
    if (environment->engineState().status().isRunning)
        out << "Syncthing is running. Press Ctrl-C to stop.\n";
    else
        out << "Syncthing is not running yet: "
            << environment->engineState().lastErrorMessage().value_or(QStringLiteral("no reason given")) << '\n';
    out.flush();
    environment->startPolling();
}

// The loops end first and the LAN server closes, so nothing is still asking
// the engine while it stops.
QCoro::Task<void> shutDown(tw::AppEnvironment *environment, tw::SyncthingEngine *engine)
{
    environment->stopLoops();
    environment->diagServer().stop();
    co_await engine->stop();
    QCoreApplication::quit();
}

} // namespace

int main(int argc, char **argv)
{
    // Claimed before anything is built: a second copy must neither sweep nor
    // launch, and it exits, so nothing ever retries it.
    const tw::AppPaths paths = tw::AppPaths::standard();
    auto lock = std::make_shared<tw::InstanceLock>(paths);
    if (!lock->acquire()) {
        QTextStream(stderr) << lock->failure() << '\n';
        return 1;
    }

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("TidewellMesh"));

    // Ctrl-C and SIGTERM stop Syncthing cleanly before the process ends.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return 1;
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    std::signal(SIGINT, onTerminationSignal);
    std::signal(SIGTERM, onTerminationSignal);

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
    // Declared after the engine, so it goes first: it must never outlive it.
    tw::AppEnvironment environment(engine, std::move(services));
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&environment, &engine, &notifier] {
        notifier.setEnabled(false);
        shutDown(&environment, &engine);
    });
    run(&environment);
    return app.exec();
}
