#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "engine/syncthing/process/SyncthingSweep.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

namespace tw {
namespace {

// One real Syncthing, since each launch costs seconds.
TEST(SyncthingEngineLifecycleIntegrationTest, AHardenedInstanceKeepsASecondCopyOut)
{
    SyncthingInstance instance;
    instance.start();

    // Everything that could leave loopback is off, and nothing is shared yet.
    const QJsonObject options = instance.get("/rest/config/options").json().object();
    EXPECT_EQ(options.value("listenAddresses").toArray().size(), 1);
    EXPECT_TRUE(options.value("listenAddresses")[0].toString().startsWith("tcp://127.0.0.1:"));
    for (const char *name : {"globalAnnounceEnabled", "localAnnounceEnabled", "relaysEnabled", "natEnabled",
                             "crashReportingEnabled", "startBrowser"})
        EXPECT_EQ(options.value(name), QJsonValue(false)) << name;
    EXPECT_EQ(options.value("urAccepted"), QJsonValue(-1));
    EXPECT_EQ(options.value("autoUpgradeIntervalH"), QJsonValue(0));
    EXPECT_TRUE(instance.get("/rest/config/folders").json().array().isEmpty());
    // Without a GUI user any local program could drive Syncthing through the
    // page's CSRF token.
    EXPECT_TRUE(instance.get("/rest/config/gui").json().object().value("user").toString().startsWith("tidewell-"));

    // A second copy on the same root is refused at once and sweeps nothing
    // away, not even for a reset, which would sweep before deleting the database.
    SyncthingProcess::Options secondOptions;
    secondOptions.loopbackOnly = true;
    secondOptions.environment = instance.environment();
    SyncthingEngine second(std::make_shared<SyncthingProcess>(AppPaths(instance.root() + "/TidewellSync"),
                                                              SyncthingProcess::defaultCandidates(), secondOptions),
                           [](std::chrono::milliseconds) -> QCoro::Task<void> {
                               ADD_FAILURE() << "a refused start was tried again";
                               co_return;
                           });
    const qint64 pid = instance.pid();
    for (const auto refused : {&SyncthingEngine::start, &SyncthingEngine::resetDatabase}) {
        const auto error = failureOf((second.*refused)());
        ASSERT_TRUE(error);
        EXPECT_EQ(error->errorDescription(), "TidewellMesh is already running for this user.");
    }
    EXPECT_EQ(instance.pid(), pid);
    EXPECT_TRUE(instance.get("/rest/system/ping").ok());

    // Syncthing runs as a monitor and its child. A child whose monitor was
    // SIGKILLed outlives it, and the next start sweeps it away.
    const QList<pid_t> both = SyncthingSweep::processesServing(instance.home());
    ASSERT_EQ(both.size(), 2);
    const pid_t child = both.at(0) == pid ? both.at(1) : both.at(0);
    ASSERT_EQ(::kill(pid_t(pid), SIGKILL), 0);
    ASSERT_TRUE(waitUntil([&] { return !instance.isRunning(); }));
    ASSERT_FALSE(SyncthingSweep::commandLine(child).isEmpty()) << "the child no longer outlives its monitor";
    instance.start();
    EXPECT_TRUE(SyncthingSweep::commandLine(child).isEmpty());
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
// parent-death signal ends its Syncthing. A second copy meanwhile only hands
// "show" over, and a later one takes over the lock the dead copy left.
TEST(SyncthingEngineLifecycleIntegrationTest, AKilledApplicationLeavesNoSyncthingOfItsHome)
{
    QTemporaryDir root;
    QProcessEnvironment environment = SyncthingInstance::isolatedEnvironment(root.path());
    environment.insert("TIDEWELL_LOOPBACK_ONLY", "1");
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    const QString home = root.path() + "/user/.local/share/TidewellSync/syncthing";
    const auto sweep = qScopeGuard([&] { SyncthingSweep::terminateBlocking(home); });
    QProcess first, second, third;
    ASSERT_TRUE(startApplication(first, environment));
    EXPECT_TRUE(SyncthingInstance::readFile(home + "/config.xml").contains("<listenAddress>tcp://127.0.0.1:"));
    const QList<pid_t> serving = SyncthingSweep::processesServing(home);
    EXPECT_FALSE(startApplication(second, environment));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(second.readAllStandardError(), "");
    EXPECT_EQ(SyncthingSweep::processesServing(home), serving);

    first.kill();
    EXPECT_TRUE(waitUntil([&] { return SyncthingSweep::processesServing(home).isEmpty(); }, 10000));
    EXPECT_TRUE(startApplication(third, environment));
}

} // namespace
} // namespace tw
