// The diagnostics report, status records and folder errors against a real
// Syncthing.

#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace tw {
namespace {

const QString kFolderID = QStringLiteral("tdw-d1a90001");
const QByteArray kContent = QByteArrayLiteral("seven kilobytes or so of nothing much\n").repeated(200);

// The GUI's API key and password hash as config.xml holds them.
QStringList configSecrets(const QString &home)
{
    QFile file(home + "/config.xml");
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression secret(QStringLiteral("<(apikey|password)>([^<]+)</\\1>"));
    QStringList secrets;
    for (const QRegularExpressionMatch &match : secret.globalMatch(QString::fromUtf8(file.readAll())))
        secrets.append(match.captured(2));
    return secrets;
}

class EngineDiagnosticsIntegrationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        instance.start();
        engine = instance.makeEngine();
        awaitTask(engine->start());
        folderPath = instance.root() + "/folders/diag";
        QDir().mkpath(folderPath);
        QFile file(folderPath + "/note.txt");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(kContent) == kContent.size());
        file.close();
        const QJsonObject folder{{"id", kFolderID},        {"label", "Diagnosed"},    {"path", folderPath},
                                 {"type", "sendreceive"}, {"rescanIntervalS", 3600}, {"fsWatcherEnabled", false}};
        ASSERT_TRUE(instance.put("/rest/config/folders/" + kFolderID, QJsonDocument(folder).toJson()).ok());
        ASSERT_TRUE(waitUntil(
            [&] { return folderState() == "idle" && folderStatus().value("localBytes").toInteger() == kContent.size(); },
            60000));
    }

    QJsonObject folderStatus() { return instance.get("/rest/db/status?folder=" + kFolderID).json().object(); }
    QString folderState() { return folderStatus().value("state").toString(); }

    SyncthingInstance instance;
    std::unique_ptr<SyncthingEngine> engine;
    QString folderPath;
};

TEST_F(EngineDiagnosticsIntegrationTest, StatusRecordOfARealFolder)
{
    const QList<FolderDiagStatus> expected{{kFolderID, "Diagnosed", "idle", kContent.size(), kContent.size(), 0, 0}};
    EXPECT_EQ(awaitTask(engine->diagnosticsStatus()), expected);
}

TEST_F(EngineDiagnosticsIntegrationTest, ReportDescribesTheEngineAndCarriesNoSecret)
{
    const QString report = awaitTask(engine->diagnosticsReport());
    EXPECT_TRUE(report.startsWith("TIDEWELLMESH — DIAGNOSTICS\nGenerated: ")) << report.toStdString();
    EXPECT_TRUE(report.contains("FOLDERS (1):\n  ▸ \"Diagnosed\"  id=" + kFolderID + "\n    type=sendreceive  "
                                "paused=false  path=" + folderPath + "\n    local 1 files / 0.00 GB"))
        << report.toStdString();

    // Neither the key this engine was started with, nor what config.xml holds
    // of the GUI's key and password, may leave with the report.
    ASSERT_FALSE(instance.apiKey().isEmpty());
    EXPECT_FALSE(report.contains(instance.apiKey(), Qt::CaseInsensitive));
    const QStringList secrets = configSecrets(instance.home());
    ASSERT_EQ(secrets.size(), 2) << "generate sets an API key and a GUI password";
    for (const QString &secret : secrets)
        EXPECT_FALSE(report.contains(secret)) << secret.toStdString();
}

TEST_F(EngineDiagnosticsIntegrationTest, FolderErrorWhileTheFolderIsInError)
{
    EXPECT_TRUE(awaitTask(engine->recentFolderErrors()).isEmpty());

    // Without its marker Syncthing refuses the folder at the next scan.
    ASSERT_TRUE(QDir(folderPath + "/.stfolder").removeRecursively());
    instance.post("/rest/db/scan?folder=" + kFolderID);
    ASSERT_TRUE(waitUntil([&] { return folderState() == "error"; }, 60000)) << folderState().toStdString();
    const QMap<QString, QString> errors = awaitTask(engine->recentFolderErrors());
    ASSERT_EQ(errors.keys(), QStringList{kFolderID});
    EXPECT_EQ(errors.value(kFolderID), folderStatus().value("error").toString());
    EXPECT_TRUE(errors.value(kFolderID).contains("marker")) << errors.value(kFolderID).toStdString();

    ASSERT_TRUE(QDir().mkpath(folderPath + "/.stfolder"));
    instance.scan(kFolderID);
    ASSERT_TRUE(waitUntil([&] { return folderState() == "idle"; }, 60000));
    EXPECT_TRUE(awaitTask(engine->recentFolderErrors()).isEmpty());
}

} // namespace
} // namespace tw
