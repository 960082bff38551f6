#include "AwaitTask.h"
#include "SyncthingInstance.h"
#include "engine/syncthing/SyncthingEngine.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QSysInfo>
#include <gtest/gtest.h>

namespace tw {
namespace {

class SyncthingEngineLifecycleIntegrationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        instance.start();
        engine = instance.makeEngine();
        awaitTask(engine->start());
    }

    QString ownNameOnInstance()
    {
        const auto response = instance.get(QStringLiteral("/rest/config/devices/") + instance.deviceID());
        return response.json().object().value(QStringLiteral("name")).toString();
    }

    SyncthingInstance instance;
    std::unique_ptr<SyncthingEngine> engine;
};

TEST_F(SyncthingEngineLifecycleIntegrationTest, StatusReportsTheIdOnlyOnceItWasRead)
{
    EngineStatus status = awaitTask(engine->status());
    EXPECT_TRUE(status.isRunning);
    EXPECT_FALSE(status.localDeviceID);
    EXPECT_FALSE(status.lastError);

    EXPECT_EQ(awaitTask(engine->localDeviceID()), instance.deviceID());
    status = awaitTask(engine->status());
    EXPECT_EQ(status.localDeviceID, instance.deviceID());
}

TEST_F(SyncthingEngineLifecycleIntegrationTest, SecondStartKeepsTheRunningChild)
{
    const qint64 pid = instance.pid();
    awaitTask(engine->start());
    EXPECT_EQ(instance.pid(), pid);
    EXPECT_FALSE(awaitTask(engine->localDeviceID()).isEmpty());
}

TEST_F(SyncthingEngineLifecycleIntegrationTest, RenamesThisDeviceIncludingToTheEmptyName)
{
    awaitTask(engine->setLocalDeviceName(QStringLiteral("Studio Mac")));
    EXPECT_EQ(ownNameOnInstance(), QStringLiteral("Studio Mac"));
    EXPECT_EQ(awaitTask(engine->localDeviceName()), QStringLiteral("Studio Mac"));

    awaitTask(engine->setLocalDeviceName(QString()));
    EXPECT_EQ(ownNameOnInstance(), QString());
    const QString host = QSysInfo::machineHostName();
    EXPECT_EQ(awaitTask(engine->localDeviceName()), host.isEmpty() ? QStringLiteral("Mac") : host);
}

TEST_F(SyncthingEngineLifecycleIntegrationTest, StopClearsTheCachedIdAndRefusesRequests)
{
    awaitTask(engine->localDeviceID());
    awaitTask(engine->stop());
    const EngineStatus status = awaitTask(engine->status());
    EXPECT_FALSE(status.isRunning);
    EXPECT_FALSE(status.localDeviceID);
    EXPECT_THROW(awaitTask(engine->localDeviceName()), SyncEngineError);
}

TEST_F(SyncthingEngineLifecycleIntegrationTest, ResetKeepsTheIdentityAndRebuildsTheDatabase)
{
    const QString id = awaitTask(engine->localDeviceID());
    const QString folderPath = instance.root() + QStringLiteral("/shared");
    QDir().mkpath(folderPath);
    QJsonObject folder{{QStringLiteral("id"), QStringLiteral("kept")}, {QStringLiteral("path"), folderPath}};
    ASSERT_TRUE(instance.put(QStringLiteral("/rest/config/folders/kept"), QJsonDocument(folder).toJson()).ok());

    awaitTask(engine->resetDatabase());

    EXPECT_TRUE(awaitTask(engine->status()).isRunning);
    EXPECT_EQ(awaitTask(engine->localDeviceID()), id);
    const QStringList left = QDir(instance.home()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    EXPECT_TRUE(left.contains(QStringLiteral("config.xml")));
    EXPECT_TRUE(left.contains(QStringLiteral("cert.pem")));
    // The configuration survives the reset, and the new child serves it.
    const auto folders = instance.get(QStringLiteral("/rest/config/folders")).json().array();
    ASSERT_EQ(folders.size(), 1);
    EXPECT_EQ(folders.at(0).toObject().value(QStringLiteral("id")).toString(), QStringLiteral("kept"));
}

TEST_F(SyncthingEngineLifecycleIntegrationTest, NoFolderIsDeletedAtStart)
{
    // A teammate's share accepted under the stock ID "default" survives restarts.
    const QString folderPath = instance.root() + QStringLiteral("/default-share");
    QDir().mkpath(folderPath);
    QJsonObject folder{{QStringLiteral("id"), QStringLiteral("default")}, {QStringLiteral("path"), folderPath}};
    ASSERT_TRUE(instance.put(QStringLiteral("/rest/config/folders/default"), QJsonDocument(folder).toJson()).ok());
    awaitTask(engine->start());
    EXPECT_TRUE(instance.get(QStringLiteral("/rest/config/folders/default")).ok());
}

// A second copy on the same home is refused at once and sweeps nothing away,
// not even for a reset, which would sweep before deleting the database.
TEST_F(SyncthingEngineLifecycleIntegrationTest, ASecondEngineOnTheSameRootIsRefusedAndTouchesNothing)
{
    SyncthingProcess::Options options;
    options.loopbackOnly = true;
    options.environment = instance.environment();
    SyncthingEngine second(std::make_shared<SyncthingProcess>(AppPaths(instance.root() + "/TidewellSync"),
                                                              SyncthingProcess::defaultCandidates(), options),
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
    EXPECT_TRUE(instance.get(QStringLiteral("/rest/system/ping")).ok());
}

} // namespace
} // namespace tw
