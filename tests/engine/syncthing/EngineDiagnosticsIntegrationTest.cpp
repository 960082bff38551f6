// Status records and folder errors against a real Syncthing.

#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"

#include <QDir>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(EngineDiagnosticsIntegrationTest, StatusRecordOfARealFolderAndItsErrorWhileInError)
{
    SyncthingInstance instance;
    instance.start();
    const auto engine = instance.startedEngine();
    const QString id = QStringLiteral("tdw-d1a90001");
    const QByteArray content = QByteArrayLiteral("seven kilobytes or so of nothing much\n").repeated(200);
    const QString path = instance.root() + "/folders/" + id;
    SyncthingInstance::writeFile(path + "/note.txt", content);
    instance.putFolder(id, {}, {{"label", "Diagnosed"}, {"rescanIntervalS", 3600}, {"fsWatcherEnabled", false}});
    ASSERT_TRUE(instance.waitUntilIndexed(id, 1));
    const QList<FolderDiagStatus> expected{{id, "Diagnosed", "idle", content.size(), content.size(), 0, 0}};
    EXPECT_EQ(awaitTask(engine->diagnosticsStatus()), expected);
    EXPECT_TRUE(awaitTask(engine->recentFolderErrors()).isEmpty());

    // Without its marker Syncthing refuses the folder at the next scan.
    ASSERT_TRUE(QDir(path + "/.stfolder").removeRecursively());
    // The scan itself already answers with the error.
    instance.request("POST", "/rest/db/scan?folder=" + id, {}, instance.apiKey());
    ASSERT_TRUE(
        instance.waitForFolder(id, [](const QJsonObject &status) { return status.value("state").toString() == "error"; }));
    const QMap<QString, QString> errors = awaitTask(engine->recentFolderErrors());
    ASSERT_EQ(errors.keys(), QStringList{id});
    EXPECT_EQ(errors.value(id), instance.folderStatus(id).value("error").toString());
    EXPECT_TRUE(errors.value(id).contains("marker")) << errors.value(id).toStdString();
}

} // namespace
} // namespace tw
