// Decoding of answers recorded from a real Syncthing 1.29.5 (two loopback-only
// instances sharing a folder). Keeps the records honest against what Syncthing
// actually sends, including the many keys we do not read.

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

TEST(STRecordsCaptured, FolderListReadsBothFolders)
{
    const QList<STFolderRead> folders = STFolderRead::listFromJson(captured("config-folders.json"));
    ASSERT_EQ(folders.size(), 2);

    const STFolderRead &other = folders.at(0);
    EXPECT_EQ(other.id, "tdw-00000002");
    EXPECT_EQ(other.label, "");
    EXPECT_EQ(other.type, "sendreceive");
    EXPECT_FALSE(other.paused);
    ASSERT_TRUE(other.versioning.has_value());
    EXPECT_EQ(other.versioning->type, "staggered");
    EXPECT_EQ(other.versioning->params, (QMap<QString, QString>{{QStringLiteral("maxAge"), QStringLiteral("2592000")}}));

    const STFolderRead &film = folders.at(1);
    EXPECT_EQ(film.id, "tdw-0c0ffee1");
    EXPECT_EQ(film.label, "Film");
    EXPECT_TRUE(film.path.endsWith(QLatin1String("/a/Film")));
    ASSERT_EQ(film.devices.size(), 2);
    EXPECT_EQ(film.devices.at(0), (STDeviceRef{deviceB, QString(), QString()}));
    EXPECT_EQ(film.devices.at(1).deviceID, deviceA);
    ASSERT_TRUE(film.versioning.has_value());
    EXPECT_EQ(film.versioning->type, "");
    EXPECT_EQ(film.versioning->params, (QMap<QString, QString>()));
    EXPECT_EQ(film.sendXattrs, true);
    EXPECT_EQ(film.syncXattrs, true);
}

TEST(STRecordsCaptured, FolderListMapsToModel)
{
    const QList<STFolderRead> folders = STFolderRead::listFromJson(captured("config-folders.json"));
    ASSERT_EQ(folders.size(), 2);
    const SyncFolder other = SyncthingEngine::mapFolder(folders.at(0));
    EXPECT_EQ(other.label, "tdw-00000002");
    EXPECT_EQ(other.versioning, VersioningPolicy::staggered(30));
    const SyncFolder film = SyncthingEngine::mapFolder(folders.at(1));
    EXPECT_EQ(film.sharedDeviceIDs, (QStringList{deviceB, deviceA}));
    EXPECT_TRUE(film.introducedDeviceIDs.isEmpty());
    EXPECT_EQ(film.versioning, VersioningPolicy::none());
    EXPECT_TRUE(film.syncMetadata);
}

// Syncthing accepted the filter we send and echoes it back unchanged.
TEST(STRecordsCaptured, SyncthingKeepsOurXattrFilter)
{
    const QJsonArray folders = QJsonDocument::fromJson(captured("config-folders.json")).array();
    ASSERT_EQ(folders.size(), 2);
    for (const QJsonValue &folder : folders)
        EXPECT_EQ(folder.toObject().value(QStringLiteral("xattrFilter")).toObject(), STXattrFilter::syncedXattrs().toJson());
}

TEST(STRecordsCaptured, DeviceList)
{
    const QList<STDeviceRead> devices = STDeviceRead::listFromJson(captured("config-devices.json"));
    ASSERT_EQ(devices.size(), 2);
    EXPECT_EQ(devices.at(0), (STDeviceRead{deviceB, QStringLiteral("Mac B"), false, 0, 0}));
    EXPECT_EQ(devices.at(1).deviceID, deviceA);
}

TEST(STRecordsCaptured, SystemStatus)
{
    EXPECT_EQ(STSystemStatus::fromJsonBody(captured("system-status.json")).myID, deviceA);
}

TEST(STRecordsCaptured, Connections)
{
    const STConnectionsResponse response = STConnectionsResponse::fromJsonBody(captured("system-connections.json"));
    ASSERT_EQ(response.connections.size(), 1);
    STConnectionsResponse::Conn expected;
    expected.connected = true;
    expected.address = QStringLiteral("127.0.0.1:40637");
    expected.type = QStringLiteral("tcp-client");
    expected.inBytesTotal = 10669;
    expected.outBytesTotal = 9442198;
    expected.clientVersion = QStringLiteral("v1.29.5");
    expected.isLocal = true;
    expected.crypto = QStringLiteral("TLS1.3-TLS_AES_128_GCM_SHA256");
    EXPECT_EQ(response.connections.value(deviceB), expected);
    EXPECT_EQ(response.total, (STConnectionsResponse::Totals{10669, 9442198}));
}

TEST(STRecordsCaptured, Options)
{
    const STOptions options = STOptions::fromJsonBody(captured("config-options.json"));
    EXPECT_EQ(options.natEnabled, false);
    EXPECT_EQ(options.relaysEnabled, false);
    EXPECT_EQ(options.localAnnounceEnabled, false);
    EXPECT_EQ(options.globalAnnounceEnabled, false);
    EXPECT_EQ(options.globalAnnounceServers, QStringList{QStringLiteral("default")});
    EXPECT_EQ(options.listenAddresses, QStringList{QStringLiteral("tcp://127.0.0.1:49379")});
    EXPECT_EQ(options.maxRecvKbps, 0);
    EXPECT_EQ(options.maxSendKbps, 0);
    EXPECT_EQ(options.alwaysLocalNets, QStringList());
}

TEST(STRecordsCaptured, FolderStatus)
{
    EXPECT_EQ(STFolderStatus::fromJsonBody(captured("db-status.json")),
              (STFolderStatus{QStringLiteral("idle"), 9437333, 9437333, 0, 0}));
    EXPECT_EQ(STFolderStatus::fromJsonBody(captured("db-status-syncing.json")),
              (STFolderStatus{QStringLiteral("syncing"), 9437324, 0, 9437324, 0}));
}

TEST(STRecordsCaptured, Completion)
{
    // Syncthing writes a whole percentage without a fraction.
    EXPECT_EQ(STCompletion::fromJsonBody(captured("db-completion.json")), (STCompletion{100.0, 0, 0}));
    EXPECT_EQ(STCompletion::fromJsonBody(captured("db-completion-partial.json")), (STCompletion{0.0, 9437324, 5}));
}

TEST(STRecordsCaptured, Need)
{
    const STNeedResponse syncing = STNeedResponse::fromJsonBody(captured("db-need-syncing.json"));
    using Item = STNeedResponse::Item;
    EXPECT_EQ(syncing.progress, (QList<Item>{{QStringLiteral("Shots/clip1.mov")}, {QStringLiteral("Shots/clip0.mov")},
                                             {QStringLiteral("notes.txt")}, {QStringLiteral("Shots/clip2.mov")}}));
    EXPECT_EQ(syncing.queued, QList<Item>());
    const STNeedResponse idle = STNeedResponse::fromJsonBody(captured("db-need.json"));
    EXPECT_EQ(idle, (STNeedResponse{QList<Item>(), QList<Item>()}));
}

TEST(STRecordsCaptured, Browse)
{
    EXPECT_EQ(STBrowseEntry::listFromJson(captured("db-browse.json")),
              (QList<STBrowseEntry>{{QStringLiteral("Shots"), QStringLiteral("FILE_INFO_TYPE_DIRECTORY")},
                                    {QStringLiteral("notes.txt"), QStringLiteral("FILE_INFO_TYPE_FILE")}}));
    EXPECT_EQ(STBrowseEntry::listFromJson(captured("db-browse-prefix.json")).size(), 3);
}

TEST(STRecordsCaptured, Ignores)
{
    EXPECT_EQ(STIgnores::fromJsonBody(captured("db-ignores.json")).ignore,
              (QStringList{QStringLiteral("(?d).DS_Store"), QStringLiteral("*.tmp"), QStringLiteral("// comment")}));
    // A folder without an ignore file answers "ignore": null.
    EXPECT_EQ(STIgnores::fromJsonBody(captured("db-ignores-none.json")).ignore, std::nullopt);
}

TEST(STRecordsCaptured, PendingDevices)
{
    const auto pending = STPendingDevice::mapFromJson(captured("pending-devices.json"));
    EXPECT_EQ(pending, (QMap<QString, STPendingDevice>{
                           {deviceA, STPendingDevice{QStringLiteral("vm"), QStringLiteral("127.0.0.1:49379")}}}));
}

TEST(STRecordsCaptured, PendingFolders)
{
    const auto pending = STPendingFolder::mapFromJson(captured("pending-folders.json"));
    ASSERT_EQ(pending.size(), 1);
    EXPECT_EQ(pending.value(QStringLiteral("tdw-0c0ffee1")).offeredBy,
              (QMap<QString, STPendingFolder::Offer>{{deviceA, {QStringLiteral("Film")}}}));
    EXPECT_TRUE(STPendingFolder::mapFromJson(captured("pending-folders-empty.json")).isEmpty());
}

TEST(STRecordsCaptured, FolderVersions)
{
    const auto versions = STVersion::mapFromJson(captured("folder-versions.json"));
    EXPECT_EQ(versions, (QMap<QString, QList<STVersion>>{
                            {QStringLiteral("notes.txt"), {STVersion{QStringLiteral("2026-12-06T18:55:54Z"), 12}}}}));
    EXPECT_TRUE(STVersion::mapFromJson(captured("folder-versions-empty.json")).isEmpty());
}

} // namespace
} // namespace tw
