#include "cluster/InviteCodec.h"
#include "engine/syncthing/process/SyncthingSweep.h"
#include "projects/Project.h"
#include "utilities/InstanceLock.h"

#include "PrivateBus.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

namespace tw {
namespace {

// The application on an isolated home and a bus of its own, loopback only,
// drawing offscreen, its LAN server off so that runs never share a port.
struct Home
{
    Home()
    {
        environment = SyncthingInstance::isolatedEnvironment(root.path());
        environment.insert("TIDEWELL_LOOPBACK_ONLY", "1");
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
        SyncthingInstance::writeFile(root.path() + "/user/.config/TidewellSync/defaults.json",
                                     R"({"lanDiagnostics": false})");
    }
    ~Home() { SyncthingSweep::terminateBlocking(engineHome()); }

    QString dataRoot() const { return root.path() + "/user/.local/share/TidewellSync"; }
    QString engineHome() const { return dataRoot() + "/syncthing"; }

    // True once its engine runs.
    bool start(QProcess &application, const QStringList &arguments = {}) const
    {
        application.setProcessEnvironment(environment);
        application.start(QStringLiteral(TIDEWELL_APP_PATH), arguments);
        QByteArray output;
        const auto running = [&] { return (output += application.readAllStandardOutput()).contains("is running"); };
        return waitUntil([&] { return running() || application.state() == QProcess::NotRunning; }, 60000)
            && running();
    }

    QTemporaryDir root;
    PrivateBus bus;
    QProcessEnvironment environment;
};

TEST(ApplicationIntegrationTest, ASecondLaunchWithALinkHandsItOverAndStartsNothing)
{
    Home home;
    ASSERT_FALSE(home.bus.address().isEmpty());
    QProcess first;
    ASSERT_TRUE(home.start(first));
    const QList<pid_t> serving = SyncthingSweep::processesServing(home.engineHome());
    ASSERT_FALSE(serving.isEmpty());

    const Invite invite{"AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG-HHHHHHH", "Ada's Mac", "Plans",
                        std::nullopt};
    QProcess second;
    second.setProcessEnvironment(home.environment);
    second.start(QStringLiteral(TIDEWELL_APP_PATH), {InviteCodec::url(invite)->toString(QUrl::FullyEncoded)});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().constData();
    EXPECT_EQ(SyncthingSweep::processesServing(home.engineHome()), serving);
    first.terminate();
    EXPECT_TRUE(first.waitForFinished(30000));
}

TEST(ApplicationIntegrationTest, EachEndingSignalLeavesNoProcessOfTheHome)
{
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        Home home;
        QProcess application;
        ASSERT_TRUE(home.start(application)) << number;
        ASSERT_FALSE(SyncthingSweep::processesServing(home.engineHome()).isEmpty());
        ASSERT_EQ(::kill(pid_t(application.processId()), number), 0);
        EXPECT_TRUE(application.waitForFinished(30000)) << number;
        EXPECT_EQ(application.exitStatus(), QProcess::NormalExit) << number;
        EXPECT_EQ(application.exitCode(), 0) << number;
        EXPECT_EQ(SyncthingSweep::processesServing(home.engineHome()), QList<pid_t>()) << number;
    }
}

// A sync folder on a network mount that stopped answering: its look-ups
// never come back, and threads of the application wait in them. Quitting
// still ends the process soon, with Syncthing stopped and the lock let go.
TEST(ApplicationIntegrationTest, AQuitEndsWhileLookUpsHangOnADeadMount)
{
    Home home;
    const QString mount = home.root.filePath("mount");
    ASSERT_TRUE(QDir().mkpath(mount + "/footage"));
    const Project sync{.id = "S1", .name = "Film", .folders = {{.id = "F1", .label = "Footage", .localPath = mount + "/footage"}}};
    SyncthingInstance::writeFile(home.dataRoot() + "/projects.json", Project::listToFile({sync}));
    home.environment.insert("LD_PRELOAD", TIDEWELL_HELD_LOOKUPS_PATH);
    home.environment.insert("HELD_LOOKUPS_BELOW", mount);
    QProcess application;
    application.setProcessEnvironment(home.environment);
    application.start(QStringLiteral(TIDEWELL_APP_PATH));
    ASSERT_TRUE(waitUntil([&] {
        return QFile::exists(mount + ".held") && !SyncthingSweep::processesServing(home.engineHome()).isEmpty();
    }, 60000));

    ASSERT_EQ(::kill(pid_t(application.processId()), SIGTERM), 0);
    EXPECT_TRUE(application.waitForFinished(60000));
    EXPECT_EQ(application.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(application.exitCode(), 0);
    EXPECT_EQ(SyncthingSweep::processesServing(home.engineHome()), QList<pid_t>());
    EXPECT_FALSE(QFile::exists(home.dataRoot() + '/' + InstanceLock::fileName));
}

} // namespace
} // namespace tw
