#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "AwaitTask.h"

#include "engine/SyncEngineError.h"
#include "engine/syncthing/process/SyncthingProcess.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <qcoro/qcorotimer.h>

#include <csignal>

using namespace std::chrono_literals;

namespace tw {
namespace {

// A stand-in for the Syncthing program: "generate" records its arguments and
// standard input and writes a home with a stock configuration; "serve"
// records its arguments and environment, writes to both outputs and sleeps.
const char *fakeProgram = R"(#!/bin/sh
dir=$(dirname "$0")
case "$1" in
generate)
  printf '%s\n' "$@" > "$dir/generate-args"
  cat > "$dir/generate-stdin"
  if [ -n "$FAKE_GENERATE_FAIL" ]; then printf "$FAKE_GENERATE_FAIL" >&2; exit 3; fi
  mkdir -p "$3"
  cp "$dir/stock-config.xml" "$3/config.xml"
  echo cert > "$3/cert.pem"
  echo key > "$3/key.pem"
  ;;
serve)
  printf '%s\n' "$@" > "$dir/serve-args"
  env > "$dir/serve-env"
  echo "serve says hello"
  echo "serve complains" >&2
  if [ -n "$FAKE_IGNORE_TERM" ]; then trap '' TERM; while :; do sleep 0.05; done; fi
  exec sleep 30
  ;;
esac
)";

const QByteArray stockConfig = R"(<configuration version="37">
    <gui enabled="true"><address>127.0.0.1:8384</address></gui>
    <options><listenAddress>default</listenAddress><natEnabled>true</natEnabled></options>
</configuration>
)";

void writeFile(const QString &path, const QByteArray &content, QFile::Permissions permissions = {})
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(content);
    file.close();
    if (permissions) {
        ASSERT_TRUE(file.setPermissions(permissions));
    }
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList readLines(const QString &path)
{
    return QString::fromUtf8(readFile(path)).split('\n', Qt::SkipEmptyParts);
}

// Waits for a file a child writes shortly after launch.
bool waitForFile(const QString &path)
{
    for (int i = 0; i < 100 && !QFile::exists(path); ++i)
        awaitTask(QCoro::sleepFor(20ms));
    awaitTask(QCoro::sleepFor(50ms)); // let the writer finish
    return QFile::exists(path);
}

class SyncthingProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QDir().mkpath(binDir());
        writeFile(fake(), fakeProgram, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        writeFile(binDir() + "/stock-config.xml", stockConfig);
        m_environment = SyncthingInstance::isolatedEnvironment(m_dir.path());
    }

    QString binDir() const { return m_dir.path() + "/bin"; }
    QString fake() const { return binDir() + "/syncthing"; }
    AppPaths paths() const { return AppPaths(m_dir.path() + "/TidewellSync"); }
    QString home() const { return paths().engineHome(); }

    std::unique_ptr<SyncthingProcess> make(QStringList candidates, bool loopbackOnly = true)
    {
        SyncthingProcess::Options options;
        options.loopbackOnly = loopbackOnly;
        options.environment = m_environment;
        options.stopGrace = 300ms;
        options.sleeper = [](std::chrono::milliseconds) -> QCoro::Task<void> { co_await QCoro::sleepFor(10ms); };
        return std::make_unique<SyncthingProcess>(paths(), std::move(candidates), options);
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;
};

std::optional<SyncEngineError> startError(SyncthingProcess &process)
{
    try {
        awaitTask(process.startIfNeeded());
    } catch (const SyncEngineError &error) {
        return error;
    }
    return std::nullopt;
}

TEST_F(SyncthingProcessTest, MissingProgramFailsBeforeAnythingIsWritten)
{
    writeFile(m_dir.path() + "/not-executable", "#!/bin/sh\n", QFile::ReadOwner | QFile::WriteOwner);
    auto process = make({m_dir.path() + "/missing/syncthing", m_dir.path() + "/not-executable", m_dir.path()});
    const auto error = startError(*process);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), SyncEngineError::Kind::BinaryNotFound);
    EXPECT_EQ(error->errorDescription(), "Sync backend not found. Place the 'syncthing' binary beside the application, "
                                         "or install Syncthing 1.29 or later.");
    EXPECT_FALSE(QFileInfo::exists(paths().root()));
    EXPECT_FALSE(process->isRunning());
}

// Standard error is the text when it is UTF-8, and nothing otherwise.
TEST_F(SyncthingProcessTest, FailingGenerateReportsItsExitStatusAndStandardError)
{
    const std::vector<std::pair<const char *, QString>> cases{
        {"bad home: permission denied\\nsecond line",
         "syncthing generate failed (exit 3): bad home: permission denied\nsecond line"},
        {"caf\\351", "syncthing generate failed (exit 3): "},
    };
    for (const auto &[standardError, expected] : cases) {
        m_environment.insert("FAKE_GENERATE_FAIL", standardError);
        auto process = make({fake()});
        const auto error = startError(*process);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), SyncEngineError::Kind::Backend);
        EXPECT_EQ(error->errorDescription(), expected);
        EXPECT_FALSE(process->isRunning());
        EXPECT_FALSE(QFile::exists(binDir() + "/serve-args"));
    }
}

// Other local users can read command lines, so the password goes over standard input.
TEST_F(SyncthingProcessTest, GenerateOnlyForAMissingOrPartialIdentityWithTheGuiPasswordOnStandardInput)
{
    auto process = make({fake()});
    awaitTask(process->startIfNeeded());
    const QStringList arguments = readLines(binDir() + "/generate-args");
    const QByteArray password = readFile(binDir() + "/generate-stdin");
    ASSERT_EQ(arguments.size(), 6);
    EXPECT_EQ(arguments.mid(0, 4), (QStringList{"generate", "--home", home(), "--no-default-folder"}));
    EXPECT_TRUE(arguments.at(4).startsWith("--gui-user="));
    EXPECT_EQ(arguments.at(5), "--gui-password=-");
    awaitTask(process->stop());

    QFile::remove(binDir() + "/generate-args");
    awaitTask(process->startIfNeeded());
    EXPECT_FALSE(QFile::exists(binDir() + "/generate-args"));
    awaitTask(process->stop());
    QFile::remove(home() + "/key.pem");
    awaitTask(process->startIfNeeded());
    EXPECT_TRUE(QFile::exists(binDir() + "/generate-args"));
    EXPECT_NE(readFile(binDir() + "/generate-stdin"), password);
    awaitTask(process->stop());
}

TEST_F(SyncthingProcessTest, LaunchesServeWithEndpointEnvironmentAndAFreshLog)
{
    QDir().mkpath(home());
    writeFile(home() + "/tidewell-syncthing.log", "left over from an earlier launch\n");
    m_environment.insert("STGUIAPIKEY", "INHERITED-KEY");
    m_environment.insert("STGUIADDRESS", "http://192.0.2.1:1");
    m_environment.insert("all_proxy", "socks5://192.0.2.1:1080");
    m_environment.insert("HTTPS_PROXY", "http://192.0.2.1:3128");
    // The first executable candidate wins; the later one would exit at once.
    const QString later = m_dir.path() + "/later";
    writeFile(later, "#!/bin/sh\nexit 9\n", QFile::ReadOwner | QFile::ExeOwner);
    auto process = make({m_dir.path() + "/missing", fake(), later});
    const auto endpoint = awaitTask(process->startIfNeeded());
    ASSERT_TRUE(waitForFile(binDir() + "/serve-env"));

    EXPECT_EQ(readLines(binDir() + "/serve-args"), (QStringList{"serve", "--home", home(), "--no-browser", "--no-restart"}));
    const QStringList environment = readLines(binDir() + "/serve-env");
    EXPECT_TRUE(environment.contains("STGUIAPIKEY=" + endpoint.apiKey));
    EXPECT_TRUE(environment.contains("STGUIADDRESS=" + endpoint.baseURL.toString()));
    EXPECT_TRUE(environment.contains("STNOUPGRADE=1"));
    EXPECT_FALSE(environment.join('\n').contains("INHERITED-KEY"));
    EXPECT_FALSE(environment.join('\n').contains("192.0.2.1"));
    EXPECT_TRUE(QRegularExpression("^http://127\\.0\\.0\\.1:[1-9]\\d*$").match(endpoint.baseURL.toString()).hasMatch());

    // Both outputs go to the log, which each launch empties first.
    const QByteArray log = readFile(home() + "/tidewell-syncthing.log");
    EXPECT_FALSE(log.contains("left over"));
    EXPECT_TRUE(log.contains("serve says hello"));
    EXPECT_TRUE(log.contains("serve complains"));
    awaitTask(process->stop());
}

// Without loopback-only, a user's Syncthing keeps its own settings.
TEST_F(SyncthingProcessTest, WithoutLoopbackOnlyTheConfigurationStaysAsGenerated)
{
    auto process = make({fake()}, false);
    awaitTask(process->startIfNeeded());
    ASSERT_TRUE(waitForFile(binDir() + "/serve-env"));
    EXPECT_EQ(readFile(home() + "/config.xml"), stockConfig);
    EXPECT_FALSE(readLines(binDir() + "/serve-env").contains("STNOUPGRADE=1"));
    awaitTask(process->stop());
}

TEST_F(SyncthingProcessTest, AnUnopenableLogDoesNotStopTheLaunch)
{
    QDir().mkpath(home() + "/tidewell-syncthing.log");
    auto process = make({fake()});
    awaitTask(process->startIfNeeded());
    EXPECT_TRUE(waitForFile(binDir() + "/serve-args"));
    EXPECT_TRUE(process->isRunning());
    awaitTask(process->stop());
}

// The child ignores SIGTERM: old and new instances must never share the home.
TEST_F(SyncthingProcessTest, ResetKillsTheChildAndKeepsConfigurationAndKeysOnly)
{
    m_environment.insert("FAKE_IGNORE_TERM", "1");
    auto process = make({fake()});
    awaitTask(process->startIfNeeded());
    ASSERT_TRUE(waitForFile(binDir() + "/serve-args"));
    const pid_t pid = pid_t(process->processId());
    QDir().mkpath(home() + "/index-v0.14.0.db/sub");
    writeFile(home() + "/index-v0.14.0.db/sub/000001.log", "data");
    writeFile(home() + "/https-cert.pem", "c");
    writeFile(home() + "/https-key.pem", "k");
    writeFile(home() + "/.hidden", "h");
    // A link to a folder outside the home: removed, its target untouched.
    QDir().mkpath(m_dir.path() + "/outside");
    writeFile(m_dir.path() + "/outside/precious", "p");
    ASSERT_TRUE(QFile::link(m_dir.path() + "/outside", home() + "/link"));
    const QByteArray cert = readFile(home() + "/cert.pem");

    awaitTask(process->resetDatabase());
    EXPECT_NE(::kill(pid, 0), 0);
    EXPECT_FALSE(process->endpoint());
    QStringList left = QDir(home()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    left.sort();
    EXPECT_EQ(left, (QStringList{"cert.pem", "config.xml", "https-cert.pem", "https-key.pem", "key.pem"}));
    EXPECT_EQ(readFile(home() + "/cert.pem"), cert);
    EXPECT_TRUE(QFile::exists(m_dir.path() + "/outside/precious"));
}

TEST(SyncthingProcessPortTest, FreePortIsBindableOnTheAskedLoopbackHost)
{
    for (const QString &host : {QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2")}) {
        const quint16 port = SyncthingProcess::freePort(host);
        EXPECT_NE(port, SyncthingProcess::fallbackPort);
        QTcpServer server;
        EXPECT_TRUE(server.listen(QHostAddress(host), port)) << host.toStdString() << ":" << port;
    }
    EXPECT_EQ(SyncthingProcess::freePort("not an address"), SyncthingProcess::fallbackPort);
}

TEST(SyncthingProcessOptionsTest, LoopbackOnlyComesFromTheEnvironment)
{
    const QByteArray saved = qgetenv("TIDEWELL_LOOPBACK_ONLY");
    for (const auto &[value, expected] : {std::pair("1", true), std::pair("0", false), std::pair("yes", false)}) {
        qputenv("TIDEWELL_LOOPBACK_ONLY", value);
        EXPECT_EQ(SyncthingProcess::optionsFromEnvironment().loopbackOnly, expected) << value;
    }
    qunsetenv("TIDEWELL_LOOPBACK_ONLY");
    EXPECT_FALSE(SyncthingProcess::optionsFromEnvironment().loopbackOnly);
    if (!saved.isNull())
        qputenv("TIDEWELL_LOOPBACK_ONLY", saved);
}

} // namespace
} // namespace tw
