#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "AwaitTask.h"

#include "engine/syncthing/SyncthingProcess.h"
#include "engine/syncthing/SyncthingSweep.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QNetworkCookie>
#include <QRegularExpression>
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
bool noProcessOf(const QString &home, std::chrono::milliseconds deadline = 10s)
{
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (!SyncthingSweep::processesServing(home).isEmpty()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        awaitTask(QCoro::sleepFor(50ms));
    }
    return true;
}

bool alive(pid_t pid)
{
    return !SyncthingSweep::commandLine(pid).isEmpty();
}

QStringList homeEntries(const QString &home)
{
    QStringList entries = QDir(home).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    entries.sort();
    return entries;
}

TEST(SyncthingProcessIntegrationTest, StartAnswersPingAndASecondStartReturnsTheSameEndpoint)
{
    SyncthingInstance instance;
    instance.start();
    const auto first = instance.process().endpoint();
    ASSERT_TRUE(first);
    EXPECT_TRUE(QRegularExpression("^http://127\\.0\\.0\\.1:\\d+$").match(first->baseURL.toString()).hasMatch());
    EXPECT_EQ(first->apiKey.size(), 36);
    const qint64 pid = instance.pid();

    const auto second = awaitTask(instance.process().startIfNeeded());
    EXPECT_EQ(second, *first);
    EXPECT_EQ(instance.process().endpoint(), first);
    EXPECT_EQ(instance.pid(), pid);
    const auto ping = instance.get("/rest/system/ping");
    EXPECT_TRUE(ping.ok()) << ping.status << " " << ping.error.toStdString() << " " << ping.body.toStdString();
    // Monitor and child, nothing more.
    EXPECT_EQ(SyncthingSweep::processesServing(instance.home()).size(), 2);
}

TEST(SyncthingProcessIntegrationTest, StopLeavesNoProcessOfTheHome)
{
    SyncthingInstance instance;
    instance.start();
    ASSERT_EQ(SyncthingSweep::processesServing(instance.home()).size(), 2);
    const auto endpoint = *instance.process().endpoint();

    awaitTask(instance.process().stop());
    EXPECT_FALSE(instance.process().isRunning());
    EXPECT_FALSE(instance.process().endpoint());
    EXPECT_TRUE(SyncthingSweep::processesServing(instance.home()).isEmpty());
    EXPECT_TRUE(noProcessOf(instance.home()));
    EXPECT_FALSE(instance.request("GET", "/rest/system/ping", {}, endpoint.apiKey).ok());
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

TEST(SyncthingProcessIntegrationTest, ResetKeepsIdentityAndRebuildsTheDatabase)
{
    SyncthingInstance instance;
    instance.start();
    const QString deviceID = instance.deviceID();
    const QByteArray cert = readFile(instance.home() + "/cert.pem");
    const QByteArray key = readFile(instance.home() + "/key.pem");
    ASSERT_GT(homeEntries(instance.home()).size(), 5);

    awaitTask(instance.process().resetDatabase());
    EXPECT_TRUE(SyncthingSweep::processesServing(instance.home()).isEmpty());
    const QStringList kept = SyncthingProcess::keptFiles;
    for (const QString &entry : homeEntries(instance.home()))
        EXPECT_TRUE(kept.contains(entry)) << entry.toStdString();
    EXPECT_FALSE(QFile::exists(instance.home() + "/tidewell-syncthing.log"));
    EXPECT_EQ(readFile(instance.home() + "/cert.pem"), cert);
    EXPECT_EQ(readFile(instance.home() + "/key.pem"), key);

    instance.start();
    EXPECT_EQ(instance.deviceID(), deviceID);
    EXPECT_GT(homeEntries(instance.home()).size(), 5);
}

TEST(SyncthingProcessIntegrationTest, TheGuiRefusesRequestsWithoutCredentialsWhileTheApiKeyWorks)
{
    SyncthingInstance instance;
    instance.start();
    const QByteArray config = readFile(instance.home() + "/config.xml");
    EXPECT_TRUE(QRegularExpression("<user>tidewell-\\S+</user>").match(QString::fromUtf8(config)).hasMatch());
    EXPECT_TRUE(config.contains("<password>$2"));

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
    const QStringList arguments = QString::fromUtf8(readFile(bin.filePath("generate-args"))).split('\n');
    EXPECT_FALSE(arguments.join(' ').contains(password));
    for (pid_t pid : SyncthingSweep::ownProcesses())
        EXPECT_FALSE(SyncthingSweep::commandLine(pid).join(' ').contains(password)) << pid;

    // The password that went over standard input is the one Syncthing holds.
    QString user;
    for (const QString &argument : arguments) {
        if (argument.startsWith("--gui-user="))
            user = argument.mid(11);
    }
    const QByteArray login = QJsonDocument(QJsonObject{{"username", user}, {"password", password}}).toJson();
    EXPECT_EQ(instance.request("POST", "/rest/noauth/auth/password", login, {}).status, 204);
    const QByteArray wrong = QJsonDocument(QJsonObject{{"username", user}, {"password", password + "x"}}).toJson();
    EXPECT_EQ(instance.request("POST", "/rest/noauth/auth/password", wrong, {}).status, 403);
}

TEST(SyncthingProcessIntegrationTest, EachLaunchTruncatesTheLog)
{
    SyncthingInstance instance;
    QDir().mkpath(instance.home());
    QFile stale(instance.home() + "/tidewell-syncthing.log");
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("STALE LINE FROM BEFORE\n");
    stale.close();

    instance.start();
    QByteArray log = readFile(instance.home() + "/tidewell-syncthing.log");
    EXPECT_FALSE(log.contains("STALE LINE"));
    EXPECT_TRUE(log.contains("My ID: " + instance.deviceID().toLatin1()));

    instance.stop();
    instance.start();
    log = readFile(instance.home() + "/tidewell-syncthing.log");
    EXPECT_EQ(log.count("My ID: "), 1);
}

TEST(SyncthingProcessIntegrationTest, AnInheritedGuiApiKeyIsReplaced)
{
    SyncthingInstance::Settings settings;
    settings.extraEnvironment.insert("STGUIAPIKEY", "INHERITED-KEY-0000");
    SyncthingInstance instance(settings);
    instance.start();

    const QByteArray environ = readFile(QStringLiteral("/proc/%1/environ").arg(instance.pid()));
    EXPECT_TRUE(environ.contains("STGUIAPIKEY=" + instance.apiKey().toLatin1() + '\0'));
    EXPECT_FALSE(environ.contains("INHERITED-KEY-0000"));
    EXPECT_EQ(instance.request("GET", "/rest/system/status", {}, "INHERITED-KEY-0000").status, 403);
    EXPECT_EQ(instance.get("/rest/system/status").status, 200);
}

TEST(SyncthingProcessIntegrationTest, DestroyingARunningSupervisorLeavesNoProcess)
{
    QTemporaryDir root;
    QString home;
    {
        SyncthingProcess::Options options;
        options.loopbackOnly = true;
        options.environment = SyncthingInstance::isolatedEnvironment(root.path());
        SyncthingProcess process(AppPaths(root.path() + "/TidewellSync"), SyncthingProcess::defaultCandidates(),
                                 options);
        awaitTask(process.startIfNeeded());
        home = process.homePath();
        for (int i = 0; i < 100 && SyncthingSweep::processesServing(home).size() < 2; ++i)
            awaitTask(QCoro::sleepFor(20ms));
        ASSERT_EQ(SyncthingSweep::processesServing(home).size(), 2);
    }
    EXPECT_TRUE(noProcessOf(home));
}

TEST(SyncthingProcessIntegrationTest, TheExitSweepEndsEveryProcessOfTheDefaultHome)
{
    QTemporaryDir data;
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    {
        SyncthingProcess::Options options;
        options.loopbackOnly = true;
        options.environment = SyncthingInstance::isolatedEnvironment(data.path());
        SyncthingProcess process(AppPaths::standard(), SyncthingProcess::defaultCandidates(), options);
        awaitTask(process.startIfNeeded());
        ASSERT_EQ(process.homePath(), data.path() + "/TidewellSync/syncthing");
        for (int i = 0; i < 100 && SyncthingSweep::processesServing(process.homePath()).size() < 2; ++i)
            awaitTask(QCoro::sleepFor(20ms));
        ASSERT_EQ(SyncthingSweep::processesServing(process.homePath()).size(), 2);

        SyncthingProcess::killDaemonsForDefaultHome();
        EXPECT_TRUE(noProcessOf(process.homePath()));
        awaitTask(process.stop());
    }
    if (saved.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", saved);
}

} // namespace
} // namespace tw
