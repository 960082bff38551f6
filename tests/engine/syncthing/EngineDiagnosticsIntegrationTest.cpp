// The diagnostics report, status records, folder errors and the paired-device
// test against a real Syncthing.

#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "MadeUpDeviceID.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

using namespace std::chrono_literals;

namespace tw {
namespace {

const QString kFolderID = QStringLiteral("tdw-d1a90001");
const QByteArray kContent = QByteArrayLiteral("seven kilobytes or so of nothing much\n").repeated(200);

QByteArray compact(const QJsonObject &object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

bool eventually(const std::function<bool()> &condition, std::chrono::milliseconds deadline = 60s)
{
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        runEventLoopFor(200);
    }
    return true;
}

// The GUI's API key and password hash as config.xml holds them.
QMap<QString, QString> configSecrets(const QString &home)
{
    QFile file(home + "/config.xml");
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QMap<QString, QString> secrets;
    QXmlStreamReader reader(&file);
    QStringList path;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            path.append(reader.name().toString());
            const QString where = path.join('/');
            if (where == "configuration/gui/password" || where == "configuration/gui/apikey")
                secrets.insert(where, reader.readElementText());
            if (reader.isEndElement())
                path.removeLast();
        } else if (reader.isEndElement()) {
            path.removeLast();
        }
    }
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
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(kContent);
        file.close();
        const QJsonObject folder{{"id", kFolderID},
                                 {"label", "Diagnosed"},
                                 {"path", folderPath},
                                 {"type", "sendreceive"},
                                 {"rescanIntervalS", 3600},
                                 {"fsWatcherEnabled", false}};
        ASSERT_TRUE(instance.put("/rest/config/folders/" + kFolderID, compact(folder)).ok());
        ASSERT_TRUE(eventually([&] { return folderState() == "idle" && localBytes() == kContent.size(); }));
    }

    QJsonObject folderStatus() { return instance.get("/rest/db/status?folder=" + kFolderID).json().object(); }
    QString folderState() { return folderStatus().value("state").toString(); }
    qint64 localBytes() { return folderStatus().value("localBytes").toInteger(); }

    SyncthingInstance instance;
    std::unique_ptr<SyncthingEngine> engine;
    QString folderPath;
};

TEST_F(EngineDiagnosticsIntegrationTest, StatusRecordOfARealFolder)
{
    const QList<FolderDiagStatus> records = awaitTask(engine->diagnosticsStatus());
    const QList<FolderDiagStatus> expected{{kFolderID, "Diagnosed", "idle", kContent.size(), kContent.size(), 0, 0}};
    EXPECT_EQ(records, expected);
    // The record is what paired Macs read; it survives their decoder.
    EXPECT_EQ(FolderDiagStatus::decodeList(FolderDiagStatus::encodeList(records)), records);
}

TEST_F(EngineDiagnosticsIntegrationTest, ReportDescribesTheEngineAndCarriesNoSecret)
{
    const QString report = awaitTask(engine->diagnosticsReport());
    const QString myID = instance.deviceID();

    EXPECT_TRUE(report.startsWith("TIDEWELLMESH — DIAGNOSTICS\nGenerated: ")) << report.toStdString();
    EXPECT_TRUE(report.contains("This device: " + myID.left(7) + "…\n\n"));
    const QRegularExpression ownLine("^  " + myID.left(7) + "  .* \\(this Mac\\)  — offline$",
                                     QRegularExpression::MultilineOption);
    EXPECT_TRUE(ownLine.match(report).hasMatch()) << report.toStdString();
    EXPECT_TRUE(report.contains("FOLDERS (1):\n  ▸ \"Diagnosed\"  id=" + kFolderID + "\n    type=sendreceive  "
                                "paused=false  path=" + folderPath + "\n    local 1 files / 0.00 GB"))
        << report.toStdString();
    EXPECT_TRUE(report.contains("    state=idle  errors=0  pullErrors=0"));
    EXPECT_TRUE(report.contains("    per-device completion (this Mac's view):\n\nRECENT DAEMON LOG (last "));

    // Neither the key this engine was started with, nor what config.xml holds
    // of the GUI's key and password, may leave with the report.
    ASSERT_FALSE(instance.apiKey().isEmpty());
    EXPECT_FALSE(report.contains(instance.apiKey(), Qt::CaseInsensitive));
    const QMap<QString, QString> secrets = configSecrets(instance.home());
    ASSERT_TRUE(secrets.contains("configuration/gui/password")) << "generate sets a GUI password";
    for (auto it = secrets.cbegin(); it != secrets.cend(); ++it) {
        if (it.value().isEmpty())
            continue;
        EXPECT_FALSE(report.contains(it.value())) << it.key().toStdString();
    }
}

TEST_F(EngineDiagnosticsIntegrationTest, FolderErrorWhileTheFolderIsInError)
{
    EXPECT_TRUE(awaitTask(engine->recentFolderErrors()).isEmpty());

    // Without its marker Syncthing refuses the folder and says why.
    ASSERT_TRUE(QDir(folderPath + "/.stfolder").removeRecursively());
    // The scan request itself is refused with the same error.
    EXPECT_EQ(instance.post("/rest/db/scan?folder=" + kFolderID).status, 500);
    ASSERT_TRUE(eventually([&] { return folderState() == "error"; })) << folderState().toStdString();
    const QMap<QString, QString> errors = awaitTask(engine->recentFolderErrors());
    ASSERT_EQ(errors.keys(), QStringList{kFolderID});
    EXPECT_EQ(errors.value(kFolderID), folderStatus().value("error").toString());
    EXPECT_TRUE(errors.value(kFolderID).contains("marker")) << errors.value(kFolderID).toStdString();

    // Once the marker is back and the folder scanned, the error is gone.
    ASSERT_TRUE(QDir().mkpath(folderPath + "/.stfolder"));
    instance.scan(kFolderID);
    ASSERT_TRUE(eventually([&] { return folderState() == "idle"; }));
    EXPECT_TRUE(awaitTask(engine->recentFolderErrors()).isEmpty());
}

TEST_F(EngineDiagnosticsIntegrationTest, PairedDevices)
{
    const QString known = madeUpDeviceID('K');
    const QJsonObject device{{"deviceID", known}, {"name", "known"}, {"addresses", QJsonArray{"tcp://127.0.0.1:9"}},
                             {"paused", true}};
    ASSERT_TRUE(instance.put("/rest/config/devices/" + known, compact(device)).ok());

    EXPECT_TRUE(awaitTask(engine->isPairedDevice(known)))
        << known.toStdString() << " among " << instance.get("/rest/config/devices").body.toStdString();
    EXPECT_TRUE(awaitTask(engine->isPairedDevice(instance.deviceID())));
    EXPECT_FALSE(awaitTask(engine->isPairedDevice(known.toLower())));
    EXPECT_FALSE(awaitTask(engine->isPairedDevice(madeUpDeviceID('Q'))));
    EXPECT_FALSE(awaitTask(engine->isPairedDevice(QString())));
}

TEST_F(EngineDiagnosticsIntegrationTest, StoppedEngineAnswersNeutrally)
{
    const QString myID = instance.deviceID();
    awaitTask(engine->stop());
    EXPECT_EQ(awaitTask(engine->diagnosticsReport()), "Sync engine is not running — start the app first.");
    EXPECT_TRUE(awaitTask(engine->diagnosticsStatus()).isEmpty());
    EXPECT_TRUE(awaitTask(engine->recentFolderErrors()).isEmpty());
    EXPECT_FALSE(awaitTask(engine->isPairedDevice(myID)));
}

} // namespace
} // namespace tw
