#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "AwaitTask.h"
#include "WaitUntil.h"

#include "engine/syncthing/process/SyncthingProcess.h"
#include "engine/syncthing/process/SyncthingSweep.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

namespace tw {
namespace {

// Ends whatever a failed test left running, before its folder goes.
struct HomeSweep
{
    QString home;
    ~HomeSweep() { SyncthingSweep::terminateBlocking(home); }
};

// A child whose monitor was SIGKILLed outlives it, and the next start sweeps
// it away; the exit sweep ends every process of the default home. Syncthing
// runs as a monitor and its child; the monitor takes about a second to exit
// after SIGTERM.
TEST(SyncthingProcessIntegrationTest, TheStartAndExitSweepsLeaveNoOtherProcessOfTheHome)
{
    SyncthingInstance instance;
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", instance.root().toUtf8());
    ASSERT_EQ(AppPaths::standard().engineHome(), instance.home());
    instance.start();
    const pid_t monitor = pid_t(instance.pid());
    const QList<pid_t> both = SyncthingSweep::processesServing(instance.home());
    ASSERT_EQ(both.size(), 2);
    const pid_t child = both.at(0) == monitor ? both.at(1) : both.at(0);

    ASSERT_EQ(::kill(monitor, SIGKILL), 0);
    ASSERT_TRUE(waitUntil([&] { return !instance.isRunning(); }));
    ASSERT_FALSE(SyncthingSweep::commandLine(child).isEmpty()) << "the child no longer outlives its monitor";
    instance.start();
    EXPECT_TRUE(SyncthingSweep::commandLine(child).isEmpty());
    EXPECT_EQ(SyncthingSweep::processesServing(instance.home()).size(), 2);

    SyncthingProcess::killDaemonsForDefaultHome();
    EXPECT_TRUE(waitUntil([&] { return SyncthingSweep::processesServing(instance.home()).isEmpty(); }, 20000));
    saved.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", saved);
}

// The application on an isolated home, loopback only; true once its engine runs.
bool startApplication(QProcess &application, const QProcessEnvironment &environment)
{
    application.setProcessEnvironment(environment);
    application.start(QStringLiteral(TIDEWELL_APP_PATH), {});
    QByteArray output;
    const auto running = [&] { return (output += application.readAllStandardOutput()).contains("is running"); };
    return waitUntil([&] { return running() || application.state() == QProcess::NotRunning; }, 60000) && running();
}

// Killed outright, the application runs no code of its own: only the
// parent-death signal ends its Syncthing. A second copy meanwhile stays out,
// and a later one takes over the lock the dead copy left.
TEST(SyncthingProcessIntegrationTest, AKilledApplicationLeavesNoSyncthingOfItsHome)
{
    QTemporaryDir root;
    QProcessEnvironment environment = SyncthingInstance::isolatedEnvironment(root.path());
    environment.insert("TIDEWELL_LOOPBACK_ONLY", "1");
    const QString home = root.path() + "/user/.local/share/TidewellSync/syncthing";
    const HomeSweep sweep{home};
    QProcess first, second, third;
    ASSERT_TRUE(startApplication(first, environment));
    const QList<pid_t> serving = SyncthingSweep::processesServing(home);
    EXPECT_FALSE(startApplication(second, environment));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_EQ(second.readAllStandardError(), "TidewellMesh is already running for this user.\n");
    EXPECT_EQ(SyncthingSweep::processesServing(home), serving);

    first.kill();
    EXPECT_TRUE(waitUntil([&] { return SyncthingSweep::processesServing(home).isEmpty(); }, 10000));
    EXPECT_TRUE(startApplication(third, environment));
}

} // namespace
} // namespace tw
