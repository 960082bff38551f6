// Every requirement of the engine contract on a Syncthing engine that is not
// running: the throwing operations refuse with notRunning before any request,
// the others answer their neutral value, and nothing needs a live child.

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "engine/PlatformError.h"
#include "engine/syncthing/SyncthingEngine.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

namespace tw {
namespace {

QString show(const QString &text) { return QLatin1Char('"') + text + QLatin1Char('"'); }
QString show(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }

QString show(const EngineStatus &status)
{
    return QStringLiteral("running %1, id %2, name %3")
        .arg(show(status.isRunning), status.localDeviceID ? show(*status.localDeviceID) : QStringLiteral("absent"),
             show(status.engineName));
}

template <typename T>
QString show(const std::optional<T> &value)
{
    return value ? QStringLiteral("present") : QStringLiteral("absent");
}

template <typename Container>
    requires requires(Container c) { c.isEmpty(); }
QString show(const Container &container)
{
    return container.isEmpty() ? QStringLiteral("empty") : QStringLiteral("%1 items").arg(container.size());
}

template <typename T>
QString show(const T &)
{
    return QStringLiteral("a value");
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
        switch (error.kind()) {
        case SyncEngineError::Kind::NotRunning: return QStringLiteral("not running");
        case SyncEngineError::Kind::BinaryNotFound: return QStringLiteral("not found");
        default: return QStringLiteral("other error: ") + error.errorDescription();
        }
    } catch (const std::exception &error) {
        return QStringLiteral("other error: ") + describeError(error);
    }
}

struct Row
{
    const char *requirement;
    std::function<QString(SyncEngine &)> call;
    QString expected;
};

TEST(SyncthingEngineConformanceTest, EveryRequirementWhileNotRunning)
{
    QTemporaryDir dir;
    SyncthingProcess::Options options;
    options.loopbackOnly = true;
    options.environment = SyncthingInstance::isolatedEnvironment(dir.path());
    auto process = std::make_shared<SyncthingProcess>(AppPaths(dir.path() + QStringLiteral("/TidewellSync")),
                                                      QStringList{dir.path() + QStringLiteral("/no-syncthing")},
                                                      options);
    SyncthingEngine syncthing(process, [](std::chrono::milliseconds) -> QCoro::Task<void> { co_return; });
    SyncEngine &engine = syncthing;

    NewFolderRequest folder;
    folder.label = QStringLiteral("Film");
    folder.path = dir.path();
    folder.ignorePatterns = QStringList{QStringLiteral("*.tmp")};
    const NewDeviceRequest device{QStringLiteral("DEV"), QStringLiteral("Other"), std::nullopt, false};
    const QMap<QString, QString> oneRestore{{QStringLiteral("a.txt"), QStringLiteral("20240101-120000")}};
    const QString notRunning = QStringLiteral("not running");

    const Row rows[] = {
        {"engineName", [](SyncEngine &e) { return show(e.engineName()); }, "\"Syncthing\""},
        {"start", [](SyncEngine &e) { return run(e.start()); }, "not found"},
        {"stop", [](SyncEngine &e) { return run(e.stop()); }, "done"},
        {"resetDatabase", [](SyncEngine &e) { return run(e.resetDatabase()); }, "not found"},
        {"status", [](SyncEngine &e) { return run(e.status()); }, "running false, id absent, name \"Syncthing\""},
        {"localDeviceID", [](SyncEngine &e) { return run(e.localDeviceID()); }, notRunning},
        {"localDeviceName", [](SyncEngine &e) { return run(e.localDeviceName()); }, notRunning},
        {"setLocalDeviceName", [](SyncEngine &e) { return run(e.setLocalDeviceName("n")); }, notRunning},
        {"folders", [](SyncEngine &e) { return run(e.folders()); }, notRunning},
        {"addFolder", [&](SyncEngine &e) { return run(e.addFolder(folder)); }, notRunning},
        {"removeFolder", [](SyncEngine &e) { return run(e.removeFolder("f")); }, notRunning},
        {"ignorePatterns", [](SyncEngine &e) { return run(e.ignorePatterns("f")); }, notRunning},
        {"updateIgnorePatterns", [](SyncEngine &e) { return run(e.updateIgnorePatterns("f", {"*.tmp"})); },
         notRunning},
        {"browse", [](SyncEngine &e) { return run(e.browse("f", "")); }, notRunning},
        {"setFolderMetadata", [](SyncEngine &e) { return run(e.setFolderMetadata("f", true)); }, notRunning},
        {"setVersioning", [](SyncEngine &e) { return run(e.setVersioning("f", VersioningPolicy::trashCan(7))); },
         notRunning},
        {"setFolderPaused", [](SyncEngine &e) { return run(e.setFolderPaused("f", true)); }, notRunning},
        {"setFolderLabel", [](SyncEngine &e) { return run(e.setFolderLabel("f", "l")); }, notRunning},
        {"folderType", [](SyncEngine &e) { return run(e.folderType("f")); }, notRunning},
        {"setFolderType", [](SyncEngine &e) { return run(e.setFolderType("f", "sendonly")); }, notRunning},
        {"rescanFolder", [](SyncEngine &e) { return run(e.rescanFolder("f")); }, notRunning},
        {"scanFolder", [](SyncEngine &e) { return run(e.scanFolder("f")); }, notRunning},
        {"applySyncedXattrFilter", [](SyncEngine &e) { return run(e.applySyncedXattrFilter("f")); }, notRunning},
        {"directoryModified", [](SyncEngine &e) { return run(e.directoryModified("f", "d")); }, "absent"},
        {"archivedVersions", [](SyncEngine &e) { return run(e.archivedVersions("f")); }, notRunning},
        {"restoreArchived", [](SyncEngine &e) { return run(e.restoreArchived("f", "a.txt", "t")); }, notRunning},
        // Nothing to restore is done at once, running or not.
        {"restoreArchivedBatch", [](SyncEngine &e) { return run(e.restoreArchivedBatch("f", {})); }, "done"},
        {"restoreArchivedBatch", [&](SyncEngine &e) { return run(e.restoreArchivedBatch("f", oneRestore)); },
         notRunning},
        {"folderStatus", [](SyncEngine &e) { return run(e.folderStatus("f")); }, notRunning},
        {"clusterNeeds", [](SyncEngine &e) { return run(e.clusterNeeds()); }, notRunning},
        {"deviceCompletion", [](SyncEngine &e) { return run(e.deviceCompletion("f", "d")); }, notRunning},
        {"currentTransferName", [](SyncEngine &e) { return run(e.currentTransferName("f")); }, notRunning},
        {"devices", [](SyncEngine &e) { return run(e.devices()); }, notRunning},
        {"addDevice", [&](SyncEngine &e) { return run(e.addDevice(device)); }, notRunning},
        {"setDevicePaused", [](SyncEngine &e) { return run(e.setDevicePaused("d", true)); }, notRunning},
        {"connections", [](SyncEngine &e) { return run(e.connections()); }, notRunning},
        {"shareFolder", [](SyncEngine &e) { return run(e.shareFolder("f", "d")); }, notRunning},
        {"unshareFolder", [](SyncEngine &e) { return run(e.unshareFolder("f", "d")); }, notRunning},
        {"pendingDevices", [](SyncEngine &e) { return run(e.pendingDevices()); }, notRunning},
        {"pendingFolders", [](SyncEngine &e) { return run(e.pendingFolders()); }, notRunning},
        {"dismissPendingDevice", [](SyncEngine &e) { return run(e.dismissPendingDevice("d")); }, notRunning},
        {"dismissPendingFolder", [](SyncEngine &e) { return run(e.dismissPendingFolder("f", "d")); }, notRunning},
        {"setAllPaused", [](SyncEngine &e) { return run(e.setAllPaused(true)); }, notRunning},
        {"networkSettings", [](SyncEngine &e) { return run(e.networkSettings()); }, notRunning},
        {"applyNetworkSettings", [](SyncEngine &e) { return run(e.applyNetworkSettings(NetworkSettings{})); },
         notRunning},
        {"setGlobalBandwidth", [](SyncEngine &e) { return run(e.setGlobalBandwidth(100, 50)); }, notRunning},
        {"cumulativeBytes", [](SyncEngine &e) { return run(e.cumulativeBytes()); }, notRunning},
        {"events", [](SyncEngine &e) { return run(e.events(0)); }, notRunning},
        {"diagnosticsReport", [](SyncEngine &e) { return run(e.diagnosticsReport()); },
         QStringLiteral("\"Sync engine is not running \u2014 start the app first.\"")},
        {"diagnosticsStatus", [](SyncEngine &e) { return run(e.diagnosticsStatus()); }, "empty"},
        {"recentFolderErrors", [](SyncEngine &e) { return run(e.recentFolderErrors()); }, "empty"},
        {"isPairedDevice", [](SyncEngine &e) { return run(e.isPairedDevice("DEV")); }, "false"},
    };
    ASSERT_EQ(std::size(rows), 52u);  // the 51 requirements, one of them twice

    for (const Row &row : rows)
        EXPECT_EQ(row.call(engine), row.expected) << row.requirement;
}

} // namespace
} // namespace tw
