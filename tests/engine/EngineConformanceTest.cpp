// The engine contract on each engine that cannot run here: the Syncthing
// engine without a Syncthing program, and the placeholder iroh engine. An
// operation that throws must fail when awaited (a throw when called escapes
// the row and fails the test) with its engine's refusal; the others answer
// their neutral value. Operations refused by the one shared check are
// represented by a few rows.

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "engine/iroh/IrohEngine.h"
#include "engine/syncthing/SyncthingEngine.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

namespace tw {
namespace {

template <typename T>
QString show(const T &value)
{
    if constexpr (std::is_same_v<T, QString>)
        return u'"' + value + u'"';
    else if constexpr (std::is_same_v<T, bool>)
        return value ? QStringLiteral("true") : QStringLiteral("false");
    else if constexpr (requires { value.isEmpty(); })
        return value.isEmpty() ? QStringLiteral("empty") : QStringLiteral("%1 items").arg(value.size());
    else if constexpr (requires { value.has_value(); })
        return value ? QStringLiteral("present") : QStringLiteral("absent");
    else if constexpr (std::is_same_v<T, EngineStatus>)
        return QStringLiteral("running %1, id %2, error %3, name %4")
            .arg(show(value.isRunning), show(value.localDeviceID), value.lastError.value_or("absent"), value.engineName);
    else if constexpr (std::is_same_v<T, CumulativeBytes>)
        return QStringLiteral("in %1 out %2").arg(value.inBytes).arg(value.outBytes);
}

template <typename T>
QString run(QCoro::Task<T> task)
{
    try {
        if constexpr (std::is_void_v<T>) {
            awaitTask(std::move(task));
            return QStringLiteral("done");
        } else {
            return show(awaitTask(std::move(task)));
        }
    } catch (const SyncEngineError &error) {
        return error.kind() == SyncEngineError::Kind::BinaryNotFound ? QStringLiteral("not found")
                                                                     : error.errorDescription();
    }
}

#define CALL(expr) [](SyncEngine &e) { return run(e.expr); }

struct Row
{
    const char *requirement;
    std::function<QString(SyncEngine &)> call;
    QString syncthing = {}; // empty: the engine's refusal
    QString iroh = {};
};

const Row rows[] = {
    {"engineName", [](SyncEngine &e) { return show(e.engineName()); }, "\"Syncthing\"", "\"iroh (Vantor)\""},
    // Before start, so that no failed start has left an error behind.
    {"status", CALL(status()), "running false, id absent, error absent, name Syncthing",
     "running false, id absent, error The iroh engine is not active yet., name iroh (Vantor)"},
    {"start", CALL(start()), "not found"},
    {"stop", CALL(stop()), "done", "done"},
    {"resetDatabase", CALL(resetDatabase()), "not found"},
    {"localDeviceID", CALL(localDeviceID())},
    {"folderType", CALL(folderType("no-such-folder")), {}, "\"sendreceive\""},
    {"scanFolder", CALL(scanFolder("f")), {}, "done"},
    {"scanAllFolders", CALL(scanAllFolders()), {}, "done"},
    {"applySyncedXattrFilter", CALL(applySyncedXattrFilter("f")), {}, "done"},
    {"changeFolder", CALL(changeFolder(SyncFolder{.id = "f"}, FolderChange{.label = "L"}))},
    {"directoryModified", CALL(directoryModified("f", "d")), "absent", "absent"},
    {"directoryTimes", CALL(directoryTimes("f")), "empty", "empty"},
    // Nothing to restore is done at once, running or not.
    {"restoreArchivedBatch", CALL(restoreArchivedBatch("f", {})), "done"},
    {"restoreArchivedBatch", CALL(restoreArchivedBatch("f", {{"a.txt", "t"}}))},
    {"clusterNeeds", CALL(clusterNeeds()), {}, "empty"},
    {"currentTransferName", CALL(currentTransferName("f")), {}, "absent"},
    {"cumulativeBytes", CALL(cumulativeBytes()), {}, "in 0 out 0"},
    {"events", CALL(events(42)), {}, "empty"},
    {"diagnosticsReport", CALL(diagnosticsReport()),
     QStringLiteral("\"Sync engine is not running \u2014 start the app first.\""),
     QStringLiteral("\"iroh backend \u2014 diagnostics not available yet.\"")},
    {"diagnosticsStatus", CALL(diagnosticsStatus()), "empty", "empty"},
    {"recentFolderErrors", CALL(recentFolderErrors()), "empty", "empty"},
    {"isPairedDevice", CALL(isPairedDevice("DEV")), "false", "false"},
};

struct Engine
{
    const char *name;
    std::function<std::unique_ptr<SyncEngine>(const QString &dir)> make;
    QString Row::*expected;
    std::function<QString(const QString &requirement)> refusal;
};

std::unique_ptr<SyncEngine> syncthingWithoutProgram(const QString &dir)
{
    SyncthingProcess::Options options;
    options.loopbackOnly = true;
    options.environment = SyncthingInstance::isolatedEnvironment(dir);
    auto process = std::make_shared<SyncthingProcess>(AppPaths(dir + QStringLiteral("/TidewellSync")),
                                                      QStringList{dir + QStringLiteral("/no-syncthing")}, options);
    return std::make_unique<SyncthingEngine>(process, [](std::chrono::milliseconds) -> QCoro::Task<void> { co_return; });
}

class EngineConformanceTest : public ::testing::TestWithParam<Engine>
{
};

TEST_P(EngineConformanceTest, RepresentativeRequirementsWhileTheEngineCannotRun)
{
    QTemporaryDir dir;
    const std::unique_ptr<SyncEngine> engine = GetParam().make(dir.path());
    for (const Row &row : rows) {
        const QString &expected = row.*GetParam().expected;
        EXPECT_EQ(row.call(*engine), expected.isEmpty() ? GetParam().refusal(row.requirement) : expected)
            << row.requirement;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Engines, EngineConformanceTest,
    ::testing::Values(
        Engine{"Syncthing", &syncthingWithoutProgram, &Row::syncthing,
               [](const QString &) { return QStringLiteral("The sync engine is not running."); }},
        Engine{"Iroh", [](const QString &) { return std::make_unique<IrohEngine>(); }, &Row::iroh,
               [](const QString &requirement) { return "Not implemented yet: iroh engine: " + requirement; }}),
    [](const ::testing::TestParamInfo<Engine> &info) { return std::string(info.param.name); });

} // namespace
} // namespace tw
