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

// A stand-in for the Syncthing program: "generate" writes a home with a
// minimal configuration; "serve" records its environment, then its run, and
// sleeps. An ignored SIGTERM stays ignored across the exec.
const char *fakeProgram = R"(#!/bin/sh
dir=$(dirname "$0")
case "$1" in
generate)
  cat > /dev/null
  mkdir -p "$3"
  printf '%s' "${FAKE_CONFIG:-<configuration><options/></configuration>}" > "$3/config.xml"
  echo cert > "$3/cert.pem"
  echo key > "$3/key.pem"
  ;;
serve)
  if [ -n "$FAKE_IGNORE_TERM" ]; then trap '' TERM; fi
  if [ -n "$FAKE_SERVE_EXIT" ]; then exit 3; fi
  env > "$dir/serve-env"
  echo run >> "$dir/runs"
  exec sleep 30
  ;;
esac
)";

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

    QString fake() const { return m_dir.filePath("syncthing"); }
    AppPaths paths() const { return AppPaths(m_dir.filePath("TidewellSync")); }
    QString home() const { return paths().engineHome(); }
    QByteArray record(const char *name) const { return SyncthingInstance::readFile(m_dir.filePath(name)); }
    // The record's content, not the file: the shell creates it before it writes.
    bool serving() const { return waitUntil([this] { return QFileInfo(m_dir.filePath("runs")).size() > 0; }, 20000); }

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

// Proxies could lie beyond loopback. The child ignores SIGTERM: old and new
// instances must never share the home, so the reset kills it.
TEST_F(SyncthingProcessTest, LaunchesWithoutProxiesAndResetKillsItKeepingConfigurationAndKeysOnly)
{
    m_environment.insert("all_proxy", "socks5://192.0.2.1:1080");
    m_environment.insert("HTTPS_PROXY", "http://192.0.2.1:3128");
    m_environment.insert("FAKE_IGNORE_TERM", "1");
    auto process = make({fake()});
    awaitTask(process->startIfNeeded());
    ASSERT_TRUE(serving());
    EXPECT_TRUE(record("serve-env").contains("STNOUPGRADE=1"));
    EXPECT_FALSE(record("serve-env").contains("192.0.2.1"));

    const pid_t pid = pid_t(process->processId());
    SyncthingInstance::writeFile(home() + "/index-v0.14.0.db/000001.log", "data");
    SyncthingInstance::writeFile(home() + "/https-key.pem", "data");
    // A link to a folder outside the home: removed, its target untouched.
    SyncthingInstance::writeFile(m_dir.filePath("outside/precious"), "p");
    ASSERT_TRUE(QFile::link(m_dir.filePath("outside"), home() + "/link"));
    awaitTask(process->resetDatabase());
    EXPECT_NE(::kill(pid, 0), 0);
    const QStringList left = QDir(home()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    EXPECT_EQ(left, (QStringList{"cert.pem", "config.xml", "https-key.pem", "key.pem"}));
    EXPECT_TRUE(QFile::exists(m_dir.filePath("outside/precious")));
}

// Without loopback-only, a user's Syncthing keeps its own settings.
TEST_F(SyncthingProcessTest, HardensOnlyInLoopbackOnlyMode)
{
    auto process = make({fake()}, false);
    awaitTask(process->startIfNeeded());
    ASSERT_TRUE(serving());
    EXPECT_FALSE(SyncthingInstance::readFile(home() + "/config.xml").contains("listenAddress"));
    EXPECT_FALSE(record("serve-env").contains("STNOUPGRADE"));
}

// Each start that fails before Syncthing could answer is tried twice, 0.8 s
// apart, and says why; a dead child ends its attempt at the first probe that
// finds it gone, never at the probe limit. Nothing is ever served.
TEST_F(SyncthingEngineStartTest, AFailingStartIsTriedTwiceAndSaysWhy)
{
    const std::vector<std::tuple<QStringList, const char *, const char *, QString>> cases{
        {{fake()}, "FAKE_CONFIG", "<html><options/></html>",
         "Could not restrict Syncthing to loopback: config.xml has no configuration element"},
        {{fake()}, "FAKE_SERVE_EXIT", "1", "Syncthing started but is not responding."},
        // Refused before anything is written.
        {{m_dir.filePath("missing/syncthing"), m_dir.path()}, "FAKE_SERVE_EXIT", "",
         "Sync backend not found. Place the 'syncthing' binary beside the application, "
         "or install Syncthing 1.29 or later."},
    };
    for (const auto &[candidates, variable, value, expected] : cases) {
        QDir(paths().root()).removeRecursively();
        m_waits.clear();
        m_environment.insert(variable, value);
        auto engine = makeEngine(candidates);
        m_environment.remove(variable);
        EXPECT_TRUE(failureOf(engine->start()));
        EXPECT_EQ(awaitTask(engine->status()).lastError, expected);
        EXPECT_EQ(m_waits.count(800ms), 1);
        EXPECT_LE(m_waits.size(), 3);
    }
    EXPECT_FALSE(QFile::exists(paths().root()));
    EXPECT_FALSE(QFile::exists(m_dir.filePath("runs")));
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
    EXPECT_EQ(record("runs"), "run\n"); // never launched again after the stop
    EXPECT_FALSE(awaitTask(engine->status()).lastError);
}

} // namespace
} // namespace tw
