#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "engine/syncthing/process/SyncthingSweep.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QScopeGuard>
#include <QSysInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

namespace tw {
namespace {

// Records the arguments and standard input of "generate", then runs the real program.
const char *recordingWrapper = R"(#!/bin/sh
dir=$(dirname "$0")
if [ "$1" = generate ]; then
  printf '%s\n' "$@" > "$dir/generate-args"
  cat > "$dir/generate-stdin"
  exec /usr/bin/syncthing "$@" < "$dir/generate-stdin"
fi
exec /usr/bin/syncthing "$@"
)";

// One real Syncthing through its whole life, since each launch costs seconds.
TEST(SyncthingEngineLifecycleIntegrationTest, AHardenedInstanceFromGenerateToStop)
{
    QTemporaryDir bin;
    const QString wrapper = bin.filePath("syncthing");
    SyncthingInstance::writeFile(wrapper, recordingWrapper);
    ASSERT_TRUE(QFile::setPermissions(wrapper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    SyncthingInstance::Settings settings;
    settings.candidates = {wrapper};
    SyncthingInstance instance(settings);
    const auto engine = instance.makeEngine();
    awaitTask(engine->start());

    // Everything that could leave loopback is off, and nothing is shared yet.
    const QJsonObject options = instance.get("/rest/config/options").json().object();
    EXPECT_EQ(options.value("listenAddresses").toArray(), QJsonArray{instance.listenAddress()});
    for (const char *name : {"globalAnnounceEnabled", "localAnnounceEnabled", "relaysEnabled", "natEnabled",
                             "crashReportingEnabled", "startBrowser"})
        EXPECT_EQ(options.value(name), QJsonValue(false)) << name;
    EXPECT_EQ(options.value("urAccepted"), QJsonValue(-1));
    EXPECT_EQ(options.value("autoUpgradeIntervalH"), QJsonValue(0));
    EXPECT_TRUE(instance.get("/rest/config/folders").json().array().isEmpty());

    // Without a GUI user any local program could drive Syncthing through the
    // page's CSRF token. The password that went over standard input is the
    // one Syncthing holds, and no command line shows it.
    const QString password = QString::fromUtf8(SyncthingInstance::readFile(bin.filePath("generate-stdin")));
    ASSERT_GE(password.size(), 24);
    for (pid_t pid : SyncthingSweep::ownProcesses())
        EXPECT_FALSE(SyncthingSweep::commandLine(pid).join(' ').contains(password)) << pid;
    const QString arguments = QString::fromUtf8(SyncthingInstance::readFile(bin.filePath("generate-args")));
    const QString user = arguments.section("--gui-user=", 1).section('\n', 0, 0);
    const auto login = [&](const QString &tried) {
        const QJsonObject body{{"username", user}, {"password", tried}};
        return instance.request("POST", "/rest/noauth/auth/password", QJsonDocument(body).toJson(), {}).status;
    };
    EXPECT_EQ(login(password), 204);
    EXPECT_EQ(login(password + "x"), 403);

    const QString id = awaitTask(engine->localDeviceID());
    EXPECT_EQ(id, instance.deviceID());
    EXPECT_EQ(awaitTask(engine->status()).localDeviceID, id);

    awaitTask(engine->setLocalDeviceName("Studio Mac"));
    EXPECT_EQ(awaitTask(engine->localDeviceName()), "Studio Mac");
    awaitTask(engine->setLocalDeviceName(QString()));
    const QString host = QSysInfo::machineHostName();
    EXPECT_EQ(awaitTask(engine->localDeviceName()), host.isEmpty() ? "Mac" : host);

    // A second copy on the same home is refused at once and sweeps nothing
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

    // A teammate's share accepted under the stock ID "default" survives the
    // reset and the start that follows it.
    const QString folderPath = instance.root() + "/default-share";
    QDir().mkpath(folderPath);
    const QJsonObject folder{{"id", "default"}, {"path", folderPath}};
    ASSERT_TRUE(instance.put("/rest/config/folders/default", QJsonDocument(folder).toJson()).ok());
    awaitTask(engine->resetDatabase());
    EXPECT_NE(instance.pid(), pid);
    EXPECT_TRUE(instance.get("/rest/config/folders/default").ok());

    // Syncthing runs as a monitor and its child. A child whose monitor was
    // SIGKILLed outlives it, and the next start sweeps it away.
    const pid_t monitor = pid_t(instance.pid());
    const QList<pid_t> both = SyncthingSweep::processesServing(instance.home());
    ASSERT_EQ(both.size(), 2);
    const pid_t child = both.at(0) == monitor ? both.at(1) : both.at(0);
    ASSERT_EQ(::kill(monitor, SIGKILL), 0);
    ASSERT_TRUE(waitUntil([&] { return !instance.isRunning(); }));
    ASSERT_FALSE(SyncthingSweep::commandLine(child).isEmpty()) << "the child no longer outlives its monitor";
    awaitTask(engine->start());
    EXPECT_TRUE(SyncthingSweep::commandLine(child).isEmpty());

    // The exit sweep ends every process of the default home; the monitor
    // takes about a second to exit after SIGTERM.
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", instance.root().toUtf8());
    SyncthingProcess::killDaemonsForDefaultHome();
    saved.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", saved);
    EXPECT_TRUE(waitUntil([&] { return SyncthingSweep::processesServing(instance.home()).isEmpty(); }, 20000));
    awaitTask(engine->stop());
    EXPECT_FALSE(awaitTask(engine->status()).localDeviceID);
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
TEST(SyncthingEngineLifecycleIntegrationTest, AKilledApplicationLeavesNoSyncthingOfItsHome)
{
    QTemporaryDir root;
    QProcessEnvironment environment = SyncthingInstance::isolatedEnvironment(root.path());
    environment.insert("TIDEWELL_LOOPBACK_ONLY", "1");
    const QString home = root.path() + "/user/.local/share/TidewellSync/syncthing";
    const auto sweep = qScopeGuard([&] { SyncthingSweep::terminateBlocking(home); });
    QProcess first, second, third;
    ASSERT_TRUE(startApplication(first, environment));
    EXPECT_TRUE(SyncthingInstance::readFile(home + "/config.xml").contains("<listenAddress>tcp://127.0.0.1:"));
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
