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
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <qcoro/qcorotimer.h>

#include <csignal>

using namespace std::chrono_literals;

namespace tw {
namespace {

// A stand-in for the Syncthing program: "generate" records its standard input and writes a home with a minimal configuration; "serve"
// records each run, its arguments and environment, writes to both outputs and
// sleeps. The environment file appears last, whole, once the rest is written.
// An ignored SIGTERM stays ignored across the exec.
const char *fakeProgram = R"(#!/bin/sh
dir=$(dirname "$0")
case "$1" in
generate)
  cat > "$dir/generate-stdin"
  if [ -n "$FAKE_GENERATE_FAIL" ]; then printf "$FAKE_GENERATE_FAIL" >&2; exit 3; fi
  mkdir -p "$3"
  printf '%s' "${FAKE_CONFIG:-<configuration><options/></configuration>}" > "$3/config.xml"
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

QStringList readLines(const QString &path)
{
    return QString::fromUtf8(SyncthingInstance::readFile(path)).split('\n', Qt::SkipEmptyParts);
}

// A supervisor, or an engine on one, that runs the stand-in program.
class SyncthingProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        SyncthingInstance::writeFile(fake(), fakeProgram);
        ASSERT_TRUE(QFile::setPermissions(fake(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
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

// An inherited API key gives way to the fresh one; proxies could lie beyond
// loopback. The child ignores SIGTERM: old and new instances must never share
// the home, so the reset kills it.
TEST_F(SyncthingProcessTest, LaunchesServeWithoutProxiesAndResetKillsItKeepingConfigurationAndKeysOnly)
{
    SyncthingInstance::writeFile(home() + "/tidewell-syncthing.log", "left over from an earlier launch\n");
    m_environment.insert("STGUIAPIKEY", "INHERITED-KEY");
    m_environment.insert("all_proxy", "socks5://192.0.2.1:1080");
    m_environment.insert("HTTPS_PROXY", "http://192.0.2.1:3128");
    m_environment.insert("FAKE_IGNORE_TERM", "1");
    auto process = make({fake()});
    const auto endpoint = awaitTask(process->startIfNeeded());
    ASSERT_TRUE(serving());
    EXPECT_EQ(awaitTask(process->startIfNeeded()), endpoint);

    EXPECT_EQ(readLines(binDir() + "/serve-args"), (QStringList{"serve", "--home", home(), "--no-browser", "--no-restart"}));
    const QStringList environment = readLines(binDir() + "/serve-env");
    EXPECT_TRUE(environment.contains("STGUIAPIKEY=" + endpoint.apiKey));
    EXPECT_TRUE(environment.contains("STNOUPGRADE=1"));
    EXPECT_FALSE(environment.join('\n').contains("192.0.2.1"));
    // Both outputs go to the log, which each launch empties first.
    const QByteArray log = SyncthingInstance::readFile(home() + "/tidewell-syncthing.log");
    EXPECT_FALSE(log.contains("left over"));
    EXPECT_TRUE(log.contains("serve says hello"));
    EXPECT_TRUE(log.contains("serve complains"));

    const pid_t pid = pid_t(process->processId());
    for (const char *name : {"index-v0.14.0.db/000001.log", "https-cert.pem", "https-key.pem", ".hidden"})
        SyncthingInstance::writeFile(home() + "/" + name, "data");
    // A link to a folder outside the home: removed, its target untouched.
    SyncthingInstance::writeFile(m_dir.path() + "/outside/precious", "p");
    ASSERT_TRUE(QFile::link(m_dir.path() + "/outside", home() + "/link"));
    awaitTask(process->resetDatabase());
    EXPECT_NE(::kill(pid, 0), 0);
    const QStringList left =
        QDir(home()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    EXPECT_EQ(left, (QStringList{"cert.pem", "config.xml", "https-cert.pem", "https-key.pem", "key.pem"}));
    EXPECT_TRUE(QFile::exists(m_dir.path() + "/outside/precious"));
}

// Without loopback-only, a user's Syncthing keeps its own settings.
TEST_F(SyncthingProcessTest, GeneratesAgainOnlyForAPartialIdentityAndHardensOnlyInLoopbackOnlyMode)
{
    auto process = make({fake()}, false);
    awaitTask(process->startIfNeeded());
    ASSERT_TRUE(serving());
    EXPECT_FALSE(SyncthingInstance::readFile(home() + "/config.xml").contains("listenAddress"));
    EXPECT_FALSE(readLines(binDir() + "/serve-env").contains("STNOUPGRADE=1"));
    const QByteArray password = SyncthingInstance::readFile(binDir() + "/generate-stdin");
    for (const bool partial : {false, true}) {
        awaitTask(process->stop());
        QFile::remove(binDir() + "/generate-stdin");
        if (partial)
            QFile::remove(home() + "/key.pem");
        awaitTask(process->startIfNeeded());
        EXPECT_EQ(QFile::exists(binDir() + "/generate-stdin"), partial);
    }
    EXPECT_NE(SyncthingInstance::readFile(binDir() + "/generate-stdin"), password);
}

// Each start that fails before Syncthing could answer is tried twice, 0.8 s
// apart, and says why; a dead child ends its attempt at the first probe that
// finds it gone (its exit may be noticed after that probe's wait), never at
// the probe limit. Nothing is ever served.
TEST_F(SyncthingEngineStartTest, AFailingStartIsTriedTwiceAndSaysWhy)
{
    SyncthingInstance::writeFile(m_dir.path() + "/not-executable", "#!/bin/sh\n");
    const std::vector<std::tuple<QStringList, const char *, const char *, QString>> cases{
        {{fake()}, "FAKE_GENERATE_FAIL", "bad home\\nsecond line",
         "syncthing generate failed (exit 3): bad home\nsecond line"},
        {{fake()}, "FAKE_CONFIG", "<html><options/></html>",
         "Could not restrict Syncthing to loopback: config.xml has no configuration element"},
        {{fake()}, "FAKE_SERVE_EXIT", "1", "Syncthing started but is not responding."},
        // Refused before anything is written.
        {{m_dir.path() + "/missing/syncthing", m_dir.path() + "/not-executable", m_dir.path()}, "FAKE_SERVE_EXIT", "",
         "Sync backend not found. Place the 'syncthing' binary beside the application, "
         "or install Syncthing 1.29 or later."},
    };
    for (const auto &[candidates, variable, value, expected] : cases) {
        QDir(paths().root()).removeRecursively();
        m_waits.clear();
        m_environment.insert(variable, value);
        auto engine = makeEngine(candidates);
        m_environment.remove(variable);
        const auto error = failureOf(engine->start());
        ASSERT_TRUE(error);
        EXPECT_EQ(awaitTask(engine->status()).lastError, expected);
        EXPECT_EQ(m_waits.count(800ms), 1);
        EXPECT_LE(m_waits.size(), 3);
    }
    EXPECT_FALSE(QFileInfo::exists(paths().root()));
    EXPECT_FALSE(QFile::exists(binDir() + "/runs"));
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
