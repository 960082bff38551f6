// Answers recorded from a real Syncthing 1.29.5 (two loopback-only instances
// sharing a folder; data/record-answers.py) read into the right fields, past
// the many keys we do not read.

#include "TestData.h"

#include "engine/syncthing/STBrowseEntry.h"
#include "engine/syncthing/STCompletion.h"
#include "engine/syncthing/STConnectionsResponse.h"
#include "engine/syncthing/STDeviceRead.h"
#include "engine/syncthing/STFolderRead.h"
#include "engine/syncthing/STFolderStatus.h"
#include "engine/syncthing/STIgnores.h"
#include "engine/syncthing/STNeedResponse.h"
#include "engine/syncthing/STOptions.h"
#include "engine/syncthing/STPendingDevice.h"
#include "engine/syncthing/STPendingFolder.h"
#include "engine/syncthing/STSystemStatus.h"
#include "engine/syncthing/STVersion.h"
#include "engine/syncthing/STXattrFilter.h"
#include "engine/syncthing/SyncthingEngine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace tw {
namespace {

const QString deviceA = QStringLiteral("RAM4DDW-5SPC5YL-RO5K6KV-DLCVG6H-4P5WHR6-JJ2BW42-LG3LF4P-4XIZ3A3");
const QString deviceB = QStringLiteral("CBXXZA7-NF445JG-DC6A7ID-2D7KYHQ-XGV3ZQW-REIILMA-TSNQN6H-F5XNXQH");

QByteArray captured(const char *name)
{
    return test::testData(QStringLiteral("engine/syncthing/data/") + QLatin1String(name));
}

TEST(STRecordsCaptured, ConfigurationAnswers)
{
    const QList<STFolderRead> folders = STFolderRead::listFromJson(captured("config-folders.json"));
    const STDeviceRef refA{deviceA, QString(), QString()};
    const STDeviceRef refB{deviceB, QString(), QString()};
    EXPECT_EQ(folders.value(1), (STFolderRead{"tdw-0c0ffee1", "Film", "/tmp/wirecap-wfpcbm69/a/Film", "sendreceive",
                                              false, {refB, refA}, STVersioning{"", QMap<QString, QString>()}, true,
                                              true}));
    EXPECT_EQ(SyncthingEngine::mapFolder(folders.value(0)).versioning, VersioningPolicy::staggered(30));
    // Syncthing kept the attribute filter we send as it was.
    const QJsonObject recorded = QJsonDocument::fromJson(captured("config-folders.json")).array().at(0).toObject();
    EXPECT_EQ(STXattrFilter::syncedXattrsJSON(), (QJsonObject{{"xattrFilter", recorded.value("xattrFilter")}}));

    EXPECT_EQ(STDeviceRead::listFromJson(captured("config-devices.json")).value(0),
              (STDeviceRead{deviceB, QStringLiteral("Mac B"), false, 0, 0}));
    EXPECT_EQ(STSystemStatus::fromJsonBody(captured("system-status.json")).myID, deviceA);
    EXPECT_EQ(STOptions::fromJsonBody(captured("config-options.json")),
              (STOptions{false, false, false, false, QStringList{"default"}, QStringList{"tcp://127.0.0.1:49379"}, 0,
                         0, QStringList()}));
}

TEST(STRecordsCaptured, StateAnswers)
{
    const STConnectionsResponse response = STConnectionsResponse::fromJsonBody(captured("system-connections.json"));
    const STConnectionsResponse::Conn expected{true, "127.0.0.1:40637", "tcp-client", 10669, 9442198, "v1.29.5",
                                               true, "TLS1.3-TLS_AES_128_GCM_SHA256"};
    EXPECT_EQ(response.connections, (QMap<QString, STConnectionsResponse::Conn>{{deviceB, expected}}));
    EXPECT_EQ(response.total, (STConnectionsResponse::Totals{10669, 9442198}));

    EXPECT_EQ(STFolderStatus::fromJsonBody(captured("db-status-syncing.json")),
              (STFolderStatus{QStringLiteral("syncing"), 9437324, 0, 9437324, 0}));
    EXPECT_EQ(STCompletion::fromJsonBody(captured("db-completion-partial.json")), (STCompletion{0.0, 9437324, 5}));
    using Item = STNeedResponse::Item;
    EXPECT_EQ(STNeedResponse::fromJsonBody(captured("db-need-syncing.json")),
              (STNeedResponse{QList<Item>{{"Shots/clip1.mov"}, {"Shots/clip0.mov"}, {"notes.txt"}, {"Shots/clip2.mov"}},
                              QList<Item>()}));
    EXPECT_EQ(STBrowseEntry::listFromJson(captured("db-browse.json")),
              (QList<STBrowseEntry>{{"Shots", "FILE_INFO_TYPE_DIRECTORY"}, {"notes.txt", "FILE_INFO_TYPE_FILE"}}));
    EXPECT_EQ(STIgnores::fromJsonBody(captured("db-ignores.json")).ignore,
              (QStringList{"(?d).DS_Store", "*.tmp", "// comment"}));

    EXPECT_EQ(STPendingDevice::mapFromJson(captured("pending-devices.json")),
              (QMap<QString, STPendingDevice>{{deviceA, STPendingDevice{"vm", "127.0.0.1:49379"}}}));
    EXPECT_EQ(STPendingFolder::mapFromJson(captured("pending-folders.json")).value("tdw-0c0ffee1").offeredBy,
              (QMap<QString, STPendingFolder::Offer>{{deviceA, {"Film"}}}));
    EXPECT_EQ(STVersion::mapFromJson(captured("folder-versions.json")),
              (QMap<QString, QList<STVersion>>{{"notes.txt", {STVersion{"2026-12-06T18:55:54Z", 12}}}}));
}

} // namespace
} // namespace tw
