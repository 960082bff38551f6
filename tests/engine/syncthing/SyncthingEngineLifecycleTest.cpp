#include "AwaitTask.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"
#include "engine/syncthing/SyncthingEngine.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <qcoro/qcorotimer.h>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace tw {
namespace {

// An engine whose supervisor runs the given program on a prepared home, with
// every wait of the engine recorded. A wait lasts until the child has ended,
// so what the engine sees after it does not depend on the machine's speed.
class EngineWithProgram
{
public:
    explicit EngineWithProgram(const QByteArray &script)
    {
        const QString bin = m_dir.path() + QStringLiteral("/bin");
        QDir().mkpath(bin);
        m_program = bin + QStringLiteral("/syncthing");
        if (!script.isEmpty())
            write(m_program, script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const AppPaths paths(m_dir.path() + QStringLiteral("/TidewellSync"));
        QDir().mkpath(paths.engineHome());
        write(paths.engineHome() + QStringLiteral("/config.xml"),
              "<configuration version=\"37\"><gui enabled=\"true\"><address>127.0.0.1:8384</address></gui>"
              "<options><listenAddress>default</listenAddress></options></configuration>\n");
        write(paths.engineHome() + QStringLiteral("/cert.pem"), "cert\n");
        write(paths.engineHome() + QStringLiteral("/key.pem"), "key\n");

        SyncthingProcess::Options options;
        options.loopbackOnly = true;
        options.environment = SyncthingInstance::isolatedEnvironment(m_dir.path());
        options.sleeper = [](std::chrono::milliseconds) -> QCoro::Task<void> { co_return; };
        options.stopGrace = 500ms;
        auto process = std::make_shared<SyncthingProcess>(paths, QStringList{m_program}, options);
        m_engine = std::make_unique<SyncthingEngine>(process, [this](std::chrono::milliseconds duration) {
            m_waits.append(duration);
            return untilChildEnds(m_engine.get());
        });
    }
    ~EngineWithProgram() { awaitTask(m_engine->stop()); }

    SyncthingEngine &engine() { return *m_engine; }
    const QList<std::chrono::milliseconds> &waits() const { return m_waits; }
    const QString &program() const { return m_program; }

private:
    static QCoro::Task<void> untilChildEnds(SyncthingEngine *engine)
    {
        QDeadlineTimer deadline(20s);
        while (engine->process().isRunning() && !deadline.hasExpired())
            co_await QCoro::sleepFor(5ms);
    }

    static void write(const QString &path, const QByteArray &content, QFile::Permissions permissions = {})
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        if (permissions)
            file.setPermissions(permissions);
    }

    QTemporaryDir m_dir;
    QString m_program;
    QList<std::chrono::milliseconds> m_waits;
    std::unique_ptr<SyncthingEngine> m_engine;
};

SyncEngineError startError(SyncthingEngine &engine)
{
    try {
        awaitTask(engine.start());
    } catch (const SyncEngineError &error) {
        return error;
    }
    ADD_FAILURE() << "start() succeeded";
    return SyncEngineError::backend(QString());
}

TEST(SyncthingEngineLifecycleTest, ChildThatDiesAtLaunchFailsTwiceAsNotResponding)
{
    EngineWithProgram setup("#!/bin/sh\nexit 3\n");
    const SyncEngineError error = startError(setup.engine());
    EXPECT_EQ(error.kind(), SyncEngineError::Kind::Backend);
    EXPECT_EQ(error.errorDescription(), QStringLiteral("Syncthing started but is not responding."));
    // A dead child ends its attempt at the first probe that finds it gone
    // (its exit may be noticed after that probe's wait), never at the probe
    // limit; the attempts are 0.8 s apart.
    EXPECT_EQ(setup.waits().count(800ms), 1);
    EXPECT_LE(setup.waits().size(), 3);
    const EngineStatus status = awaitTask(setup.engine().status());
    EXPECT_FALSE(status.isRunning);
    EXPECT_EQ(status.lastError, QStringLiteral("Syncthing started but is not responding."));
    EXPECT_EQ(status.engineName, QStringLiteral("Syncthing"));
}

TEST(SyncthingEngineLifecycleTest, MissingProgramIsReportedAfterTwoAttempts)
{
    EngineWithProgram setup{QByteArray()};  // no program written
    const SyncEngineError error = startError(setup.engine());
    EXPECT_EQ(error.kind(), SyncEngineError::Kind::BinaryNotFound);
    EXPECT_EQ(setup.waits().size(), 1);
    const EngineStatus status = awaitTask(setup.engine().status());
    ASSERT_TRUE(status.lastError);
    EXPECT_TRUE(status.lastError->startsWith(QStringLiteral("Sync backend not found. ")));
}

TEST(SyncthingEngineLifecycleTest, OperationsNeedingTheInterfaceFailWhileStopped)
{
    EngineWithProgram setup("#!/bin/sh\nexit 3\n");
    SyncthingEngine &engine = setup.engine();
    EXPECT_THROW(awaitTask(engine.localDeviceID()), SyncEngineError);
    EXPECT_THROW(awaitTask(engine.localDeviceName()), SyncEngineError);
    EXPECT_THROW(awaitTask(engine.setLocalDeviceName(QStringLiteral("x"))), SyncEngineError);
    try {
        awaitTask(engine.localDeviceID());
    } catch (const SyncEngineError &error) {
        EXPECT_EQ(error.kind(), SyncEngineError::Kind::NotRunning);
    }
    const EngineStatus status = awaitTask(engine.status());
    EXPECT_FALSE(status.isRunning);
    EXPECT_FALSE(status.localDeviceID);
    EXPECT_FALSE(status.lastError);
    EXPECT_EQ(engine.engineName(), QStringLiteral("Syncthing"));
}

TEST(SyncthingEngineLifecycleTest, AStopDuringTheStartIsNotUndoneByIt)
{
    // A program that stays up without ever answering keeps the start probing.
    EngineWithProgram setup("#!/bin/sh\necho run >> \"$0.runs\"\nexec sleep 30\n");
    SyncthingEngine &engine = setup.engine();
    QCoro::Task<void> starting = engine.start();
    const QString runs = setup.program() + QStringLiteral(".runs");
    ASSERT_TRUE(waitUntil([&runs] { return QFileInfo(runs).size() > 0; }, 20000));
    awaitTask(engine.stop());

    const std::optional<SyncEngineError> error = failureOf(std::move(starting));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), SyncEngineError::Kind::NotRunning);
    QFile record(runs);
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    EXPECT_EQ(record.readAll(), QByteArray("run\n"));  // launched once, never again after the stop
    const EngineStatus status = awaitTask(engine.status());
    EXPECT_FALSE(status.isRunning);
    EXPECT_FALSE(status.lastError);
}

} // namespace
} // namespace tw
