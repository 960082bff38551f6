#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "engine/syncthing/process/SyncthingSweep.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSysInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

QString readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// One real Syncthing through its whole life, since each launch costs seconds.
TEST(SyncthingEngineLifecycleIntegrationTest, AHardenedInstanceFromGenerateToStop)
{
    QTemporaryDir bin;
    const QString wrapper = bin.filePath("syncthing");
    QFile file(wrapper);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(recordingWrapper);
    file.close();
    ASSERT_TRUE(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    SyncthingInstance::Settings settings;
    settings.candidates = {wrapper};
    SyncthingInstance instance(settings);
    const auto engine = instance.makeEngine();
    awaitTask(engine->start());
    const SyncthingProcess::Endpoint endpoint = *instance.process().endpoint();

    // Everything that could leave loopback is off, and nothing is shared yet.
    const QJsonObject options = instance.get("/rest/config/options").json().object();
    EXPECT_EQ(options.value("listenAddresses").toArray(), QJsonArray{instance.listenAddress()});
    for (const char *name : {"globalAnnounceEnabled", "localAnnounceEnabled", "relaysEnabled", "natEnabled",
                             "crashReportingEnabled", "startBrowser"})
        EXPECT_EQ(options.value(name), QJsonValue(false)) << name;
    EXPECT_EQ(options.value("urAccepted"), QJsonValue(-1));
    EXPECT_EQ(options.value("autoUpgradeIntervalH"), QJsonValue(0));
    EXPECT_TRUE(instance.get("/rest/config/folders").json().array().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(instance.environment().value("HOME") + "/Sync"));

    // Without a GUI user any local program could drive Syncthing through the
    // page's CSRF token. The password that went over standard input is the
    // one Syncthing holds, and no command line shows it.
    const QString password = readFile(bin.filePath("generate-stdin"));
    ASSERT_GE(password.size(), 24);
    for (pid_t pid : SyncthingSweep::ownProcesses())
        EXPECT_FALSE(SyncthingSweep::commandLine(pid).join(' ').contains(password)) << pid;
    const QString user = readFile(bin.filePath("generate-args")).section("--gui-user=", 1).section('\n', 0, 0);
    const auto login = [&](const QString &tried) {
        const QJsonObject body{{"username", user}, {"password", tried}};
        return instance.request("POST", "/rest/noauth/auth/password", QJsonDocument(body).toJson(), {}).status;
    };
    EXPECT_EQ(login(password), 204);
    EXPECT_EQ(login(password + "x"), 403);

    EXPECT_FALSE(awaitTask(engine->status()).localDeviceID);
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
    EXPECT_EQ(awaitTask(engine->localDeviceID()), id);
    EXPECT_TRUE(instance.get("/rest/config/folders/default").ok());

    // Monitor and child both go.
    awaitTask(engine->stop());
    const EngineStatus status = awaitTask(engine->status());
    EXPECT_FALSE(status.isRunning);
    EXPECT_FALSE(status.localDeviceID);
    EXPECT_THROW(awaitTask(engine->localDeviceName()), SyncEngineError);
    EXPECT_TRUE(SyncthingSweep::processesServing(instance.home()).isEmpty());
    EXPECT_FALSE(instance.request("GET", "/rest/system/ping", {}, endpoint.apiKey).ok());
}

} // namespace
} // namespace tw
