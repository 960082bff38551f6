#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "AwaitTask.h"
#include "WaitUntil.h"

#include "engine/SyncEngineError.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "engine/syncthing/process/SyncthingProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <qcoro/qcorotimer.h>

#include <csignal>

using namespace std::chrono_literals;

namespace tw {
namespace {

// A stand-in for the Syncthing program: "generate" records its arguments and
// standard input and writes a home with a stock configuration; "serve"
// records each run, its arguments and environment, writes to both outputs and
// sleeps. The environment file appears last, whole, once the rest is written.
// An ignored SIGTERM stays ignored across the exec.
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
  if [ -n "$FAKE_IGNORE_TERM" ]; then trap '' TERM; fi
  if [ -n "$FAKE_SERVE_EXIT" ]; then exit 3; fi
  echo run >> "$dir/runs"
  printf '%s\n' "$@" > "$dir/serve-args"
  echo "serve says hello"
  echo "serve complains" >&2
  env > "$dir/env.part"
  mv "$dir/env.part" "$dir/serve-env"
  exec sleep 30
  ;;
esac
)";

const QByteArray stockConfig = R"(<configuration version="37">
    <gui enabled="true"><address>127.0.0.1:8384</address></gui>
    <options><listenAddress>default</listenAddress><natEnabled>true</natEnabled></options>
</configuration>
)";

void writeFile(const QString &path, const QByteArray &content, bool executable = false)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(content);
    if (executable) {
        ASSERT_TRUE(file.setPermissions(file.permissions() | QFile::ExeOwner));
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

// A supervisor, or an engine on one, that runs the stand-in program.
class SyncthingProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QDir().mkpath(binDir());
        writeFile(fake(), fakeProgram, true);
        writeFile(binDir() + "/stock-config.xml", stockConfig);
        m_environment = SyncthingInstance::isolatedEnvironment(m_dir.path());
    }

    QString binDir() const { return m_dir.path() + "/bin"; }
    QString fake() const { return binDir() + "/syncthing"; }
    AppPaths paths() const { return AppPaths(m_dir.path() + "/TidewellSync"); }
    QString home() const { return paths().engineHome(); }
    bool serving() const { return waitUntil([this] { return QFile::exists(binDir() + "/serve-env"); }, 20000); }

    std::shared_ptr<SyncthingProcess> make(QStringList candidates, bool loopbackOnly = true)
    {
        SyncthingProcess::Options options;
        options.loopbackOnly = loopbackOnly;
        options.environment = m_environment;
        options.stopGrace = 300ms;
        return std::make_shared<SyncthingProcess>(paths(), std::move(candidates), options);
    }

    // Each wait of the engine is recorded and lasts until the child has
    // ended, so what the engine sees after it does not depend on speed.
    std::unique_ptr<SyncthingEngine> makeEngine(QStringList candidates)
    {
        auto process = make(std::move(candidates));
        return std::make_unique<SyncthingEngine>(process, [this, process](std::chrono::milliseconds duration) {
            m_waits.append(duration);
            return untilEnded(process);
        });
    }

    static QCoro::Task<void> untilEnded(std::shared_ptr<SyncthingProcess> process)
    {
        QDeadlineTimer deadline(20s);
        while (process->isRunning() && !deadline.hasExpired())
            co_await QCoro::sleepFor(5ms);
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;
    QList<std::chrono::milliseconds> m_waits;
};

using SyncthingEngineStartTest = SyncthingProcessTest;

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
        const auto error = failureOf(make({fake()})->startIfNeeded());
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), SyncEngineError::Kind::Backend);
        EXPECT_EQ(error->errorDescription(), expected);
    }
}

// The GUI port is fresh on each launch and must not take the listen port the
// hardened configuration keeps.
TEST_F(SyncthingProcessTest, LaunchesServeOnLoopbackWithoutProxiesAndLogsBothOutputs)
{
    QDir().mkpath(home());
    writeFile(home() + "/tidewell-syncthing.log", "left over from an earlier launch\n");
    m_environment.insert("STGUIAPIKEY", "INHERITED-KEY");
    m_environment.insert("all_proxy", "socks5://192.0.2.1:1080");
    m_environment.insert("HTTPS_PROXY", "http://192.0.2.1:3128");
    // The first executable candidate wins; the later one would exit at once.
    const QString later = m_dir.path() + "/later";
    writeFile(later, "#!/bin/sh\nexit 9\n", true);
    auto process = make({m_dir.path() + "/missing", fake(), later});
    const auto endpoint = awaitTask(process->startIfNeeded());
    ASSERT_TRUE(serving());

    EXPECT_EQ(readLines(binDir() + "/serve-args"), (QStringList{"serve", "--home", home(), "--no-browser", "--no-restart"}));
    const QStringList environment = readLines(binDir() + "/serve-env");
    EXPECT_TRUE(environment.contains("STGUIAPIKEY=" + endpoint.apiKey));
    EXPECT_TRUE(environment.contains("STGUIADDRESS=" + endpoint.baseURL.toString()));
    EXPECT_TRUE(environment.contains("STNOUPGRADE=1"));
    EXPECT_FALSE(environment.join('\n').contains("192.0.2.1"));
    EXPECT_TRUE(QRegularExpression("^http://127\\.0\\.0\\.1:[1-9]\\d*$").match(endpoint.baseURL.toString()).hasMatch());
    const QString config = QString::fromUtf8(readFile(home() + "/config.xml"));
    const auto listen = QRegularExpression("tcp://127\\.0\\.0\\.1:(\\d+)<").match(config);
    ASSERT_TRUE(listen.hasMatch());
    EXPECT_NE(listen.captured(1).toInt(), endpoint.baseURL.port());

    // Both outputs go to the log, which each launch empties first.
    const QByteArray log = readFile(home() + "/tidewell-syncthing.log");
    EXPECT_FALSE(log.contains("left over"));
    EXPECT_TRUE(log.contains("serve says hello"));
    EXPECT_TRUE(log.contains("serve complains"));

    EXPECT_EQ(awaitTask(process->startIfNeeded()), endpoint);
    EXPECT_EQ(readLines(binDir() + "/runs").size(), 1);
}

// Without loopback-only, a user's Syncthing keeps its own settings.
TEST_F(SyncthingProcessTest, GeneratesAgainOnlyForAPartialIdentityAndHardensOnlyInLoopbackOnlyMode)
{
    auto process = make({fake()}, false);
    awaitTask(process->startIfNeeded());
    ASSERT_TRUE(serving());
    EXPECT_EQ(readFile(home() + "/config.xml"), stockConfig);
    EXPECT_FALSE(readLines(binDir() + "/serve-env").contains("STNOUPGRADE=1"));
    const QByteArray password = readFile(binDir() + "/generate-stdin");
    for (const bool partial : {false, true}) {
        awaitTask(process->stop());
        QFile::remove(binDir() + "/generate-args");
        if (partial)
            QFile::remove(home() + "/key.pem");
        awaitTask(process->startIfNeeded());
        EXPECT_EQ(QFile::exists(binDir() + "/generate-args"), partial);
    }
    EXPECT_NE(readFile(binDir() + "/generate-stdin"), password);
}

// The child ignores SIGTERM: old and new instances must never share the home.
TEST_F(SyncthingProcessTest, ResetKillsTheChildAndKeepsConfigurationAndKeysOnly)
{
    m_environment.insert("FAKE_IGNORE_TERM", "1");
    auto process = make({fake()});
    awaitTask(process->startIfNeeded());
    ASSERT_TRUE(serving());
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

    awaitTask(process->resetDatabase());
    EXPECT_NE(::kill(pid, 0), 0);
    EXPECT_FALSE(process->endpoint());
    QStringList left = QDir(home()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    left.sort();
    EXPECT_EQ(left, (QStringList{"cert.pem", "config.xml", "https-cert.pem", "https-key.pem", "key.pem"}));
    EXPECT_TRUE(QFile::exists(m_dir.path() + "/outside/precious"));
}

TEST(SyncthingProcessOptionsTest, LoopbackOnlyOnlyForTheValueOne)
{
    const QByteArray saved = qgetenv("TIDEWELL_LOOPBACK_ONLY");
    for (const auto &[value, expected] : {std::pair("1", true), std::pair("yes", false)}) {
        qputenv("TIDEWELL_LOOPBACK_ONLY", value);
        EXPECT_EQ(SyncthingProcess::optionsFromEnvironment().loopbackOnly, expected) << value;
    }
    saved.isNull() ? qunsetenv("TIDEWELL_LOOPBACK_ONLY") : qputenv("TIDEWELL_LOOPBACK_ONLY", saved);
}

// A missing program is refused before anything is written, and the second
// attempt is refused the same way.
TEST_F(SyncthingEngineStartTest, MissingProgramIsReportedAfterTwoAttempts)
{
    writeFile(m_dir.path() + "/not-executable", "#!/bin/sh\n");
    auto engine = makeEngine({m_dir.path() + "/missing/syncthing", m_dir.path() + "/not-executable", m_dir.path()});
    const auto error = failureOf(engine->start());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), SyncEngineError::Kind::BinaryNotFound);
    EXPECT_EQ(m_waits.size(), 1);
    EXPECT_EQ(awaitTask(engine->status()).lastError,
              "Sync backend not found. Place the 'syncthing' binary beside the application, "
              "or install Syncthing 1.29 or later.");
    EXPECT_FALSE(QFileInfo::exists(paths().root()));
}

TEST_F(SyncthingEngineStartTest, ChildThatDiesAtLaunchFailsTwiceAsNotResponding)
{
    m_environment.insert("FAKE_SERVE_EXIT", "1");
    auto engine = makeEngine({fake()});
    const auto error = failureOf(engine->start());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorDescription(), "Syncthing started but is not responding.");
    // A dead child ends its attempt at the first probe that finds it gone
    // (its exit may be noticed after that probe's wait), never at the probe
    // limit; the attempts are 0.8 s apart.
    EXPECT_EQ(m_waits.count(800ms), 1);
    EXPECT_LE(m_waits.size(), 3);
    const EngineStatus status = awaitTask(engine->status());
    EXPECT_FALSE(status.isRunning);
    EXPECT_EQ(status.lastError, "Syncthing started but is not responding.");
    EXPECT_EQ(failureOf(engine->localDeviceID()).value().kind(), SyncEngineError::Kind::NotRunning);
}

// The stand-in never answers, which keeps the start probing.
TEST_F(SyncthingEngineStartTest, AStopDuringTheStartIsNotUndoneByIt)
{
    auto engine = makeEngine({fake()});
    QCoro::Task<void> starting = engine->start();
    ASSERT_TRUE(serving());
    awaitTask(engine->stop());

    const std::optional<SyncEngineError> error = failureOf(std::move(starting));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), SyncEngineError::Kind::NotRunning);
    EXPECT_EQ(readLines(binDir() + "/runs"), QStringList{"run"}); // never launched again after the stop
    const EngineStatus status = awaitTask(engine->status());
    EXPECT_FALSE(status.isRunning);
    EXPECT_FALSE(status.lastError);
}

} // namespace
} // namespace tw
