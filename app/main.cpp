#include "engine/PlatformError.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "utilities/AppPaths.h"
#include "utilities/InstanceLock.h"

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

QCoro::Task<void> run(tw::SyncthingEngine *engine)
{
    QTextStream out(stdout);
    try {
        co_await engine->start();
        const QString id = co_await engine->localDeviceID();
        out << "Syncthing is running for this device (" << id.left(7) << "…). Press Ctrl-C to stop.\n";
    } catch (const std::exception &error) {
        out << "The sync engine could not start: " << tw::describeError(error) << '\n';
        QCoreApplication::exit(1);
    }
    out.flush();
}

QCoro::Task<void> shutDown(tw::SyncthingEngine *engine)
{
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
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&engine, &notifier] {
        notifier.setEnabled(false);
        shutDown(&engine);
    });
    run(&engine);
    return app.exec();
}
