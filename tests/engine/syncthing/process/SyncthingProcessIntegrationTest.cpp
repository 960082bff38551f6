#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "AwaitTask.h"
#include "WaitUntil.h"

#include "engine/syncthing/process/SyncthingProcess.h"
#include "engine/syncthing/process/SyncthingSweep.h"

#include <QFile>
#include <QJsonObject>
#include <QNetworkCookie>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <qcoro/qcorotimer.h>

#include <csignal>

using namespace std::chrono_literals;

namespace tw {
namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Polls until no process serves the home; the monitor takes about a second
// to exit after SIGTERM.
bool noProcessOf(const QString &home)
{
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (!SyncthingSweep::processesServing(home).isEmpty()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        awaitTask(QCoro::sleepFor(50ms));
    }
    return true;
}

// Monitor and child both up.
bool waitForBoth(const QString &home)
{
    for (int i = 0; i < 100 && SyncthingSweep::processesServing(home).size() < 2; ++i)
        awaitTask(QCoro::sleepFor(20ms));
    return SyncthingSweep::processesServing(home).size() == 2;
}

bool alive(pid_t pid)
{
    return !SyncthingSweep::commandLine(pid).isEmpty();
}

TEST(SyncthingProcessIntegrationTest, StartAnswersPingASecondStartReturnsTheSameEndpointAndStopLeavesNothing)
{
    SyncthingInstance instance;
    instance.start();
    const auto first = instance.process().endpoint();
    ASSERT_TRUE(first);
    const qint64 pid = instance.pid();
    EXPECT_EQ(awaitTask(instance.process().startIfNeeded()), *first);
    EXPECT_EQ(instance.pid(), pid);
    const auto ping = instance.get("/rest/system/ping");
    EXPECT_TRUE(ping.ok()) << ping.status << " " << ping.error.toStdString() << " " << ping.body.toStdString();
    // Monitor and child, nothing more.
    EXPECT_EQ(SyncthingSweep::processesServing(instance.home()).size(), 2);

    awaitTask(instance.process().stop());
    EXPECT_FALSE(instance.process().endpoint());
    EXPECT_TRUE(SyncthingSweep::processesServing(instance.home()).isEmpty());
    EXPECT_FALSE(instance.request("GET", "/rest/system/ping", {}, first->apiKey).ok());
}

TEST(SyncthingProcessIntegrationTest, AnOrphanedChildOfAKilledMonitorIsSweptByTheNextStart)
{
    SyncthingInstance instance;
    instance.start();
    const pid_t monitor = pid_t(instance.pid());
    const QList<pid_t> processes = SyncthingSweep::processesServing(instance.home());
    ASSERT_EQ(processes.size(), 2);
    const pid_t child = processes.at(0) == monitor ? processes.at(1) : processes.at(0);

    ASSERT_EQ(::kill(monitor, SIGKILL), 0);
    for (int i = 0; i < 100 && instance.isRunning(); ++i)
        awaitTask(QCoro::sleepFor(20ms));
    ASSERT_FALSE(instance.isRunning());
    awaitTask(QCoro::sleepFor(300ms));
    ASSERT_TRUE(alive(child)) << "the child no longer outlives its monitor; this test proves nothing";

    instance.start();
    EXPECT_FALSE(alive(child));
    EXPECT_TRUE(instance.get("/rest/system/ping").ok());
    EXPECT_EQ(SyncthingSweep::processesServing(instance.home()).size(), 2);
}

TEST(SyncthingProcessIntegrationTest, TheGuiRefusesRequestsWithoutCredentialsWhileTheApiKeyWorks)
{
    SyncthingInstance instance;
    instance.start();
    EXPECT_EQ(instance.request("GET", "/rest/system/status", {}, {}).status, 403);
    EXPECT_EQ(instance.request("GET", "/rest/system/status", {}, "WRONG-KEY").status, 403);
    EXPECT_EQ(instance.get("/rest/system/status").status, 200);

    // What a local program without the key could do if the GUI had no user:
    // fetch the page for a CSRF token and call the REST interface with it.
    const auto page = instance.request("GET", "/", {}, {});
    ASSERT_EQ(page.status, 200);
    std::optional<std::pair<QByteArray, QByteArray>> token;
    for (const auto &[name, value] : page.headers) {
        if (name.compare("Set-Cookie", Qt::CaseInsensitive) != 0)
            continue;
        for (const QNetworkCookie &cookie : QNetworkCookie::parseCookies(value)) {
            if (cookie.name().startsWith("CSRF-Token-"))
                token = std::make_pair("X-" + cookie.name(), cookie.value());
        }
    }
    ASSERT_TRUE(token) << "the page set no CSRF cookie";
    EXPECT_EQ(instance.request("GET", "/rest/system/status", {}, {}, {*token}).status, 403);
}

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

TEST(SyncthingProcessIntegrationTest, TheGuiPasswordNeverAppearsInAnyCommandLine)
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
    instance.start();

    const QString password = QString::fromUtf8(readFile(bin.filePath("generate-stdin")));
    ASSERT_GE(password.size(), 24);
    for (pid_t pid : SyncthingSweep::ownProcesses())
        EXPECT_FALSE(SyncthingSweep::commandLine(pid).join(' ').contains(password)) << pid;

    // The password that went over standard input is the one Syncthing holds.
    QString user;
    for (const QString &argument : QString::fromUtf8(readFile(bin.filePath("generate-args"))).split('\n')) {
        if (argument.startsWith("--gui-user="))
            user = argument.mid(11);
    }
    const auto login = [&](const QString &tried) {
        const QJsonObject body{{"username", user}, {"password", tried}};
        return instance.request("POST", "/rest/noauth/auth/password", QJsonDocument(body).toJson(), {}).status;
    };
    EXPECT_EQ(login(password), 204);
    EXPECT_EQ(login(password + "x"), 403);
}

// The exit sweep ends every process of the default home; destroying a running
// supervisor must not SIGKILL the monitor (Qt's QProcess destructor would)
// and orphan its child.
TEST(SyncthingProcessIntegrationTest, TheExitSweepAndDestructionLeaveNoProcess)
{
    QTemporaryDir data;
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    const QString home = data.path() + "/TidewellSync/syncthing";
    {
        SyncthingProcess::Options options;
        options.loopbackOnly = true;
        options.environment = SyncthingInstance::isolatedEnvironment(data.path());
        SyncthingProcess process(AppPaths::standard(), SyncthingProcess::defaultCandidates(), options);
        awaitTask(process.startIfNeeded());
        ASSERT_EQ(process.homePath(), home);
        ASSERT_TRUE(waitForBoth(home));
        SyncthingProcess::killDaemonsForDefaultHome();
        EXPECT_TRUE(noProcessOf(home));
        for (int i = 0; i < 100 && process.isRunning(); ++i)
            awaitTask(QCoro::sleepFor(20ms));
        awaitTask(process.startIfNeeded());
        ASSERT_TRUE(waitForBoth(home));
    }
    EXPECT_TRUE(noProcessOf(home));
    if (saved.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", saved);
}

// Ends whatever a failed test left running, before its folder goes.
struct HomeSweep
{
    QString home;
    ~HomeSweep() { SyncthingSweep::terminateBlocking(home); }
};

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
