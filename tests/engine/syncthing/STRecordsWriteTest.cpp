// The bodies we send: exact keys, absent optionals left out (never null),
// integers written exactly.

#include "engine/syncthing/STDeviceRef.h"
#include "engine/syncthing/STDeviceWrite.h"
#include "engine/syncthing/STFolderWrite.h"
#include "engine/syncthing/STVersioning.h"
#include "engine/syncthing/STXattrFilter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace tw {
namespace {

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

STFolderWrite creation()
{
    STFolderWrite folder;
    folder.id = QStringLiteral("tdw-0123abcd");
    folder.path = QStringLiteral("/home/u/Film");
    folder.type = QStringLiteral("sendreceive");
    folder.devices = {STDeviceRef{QStringLiteral("DEV-A"), std::nullopt, std::nullopt}};
    folder.fsWatcherEnabled = true;
    folder.rescanIntervalS = 900;
    folder.versioning = STVersioning{QString(), std::nullopt};
    folder.copyRangeMethod = QStringLiteral("all");
    folder.xattrFilter = STXattrFilter::syncedXattrs();
    return folder;
}

TEST(STRecordsWrite, FolderCreationWritesExactlyItsThirteenKeys)
{
    const QJsonObject expected{
        {"id", "tdw-0123abcd"}, {"label", ""}, {"path", "/home/u/Film"}, {"type", "sendreceive"},
        {"devices", QJsonArray{QJsonObject{{"deviceID", "DEV-A"}}}}, {"paused", false}, {"fsWatcherEnabled", true},
        {"rescanIntervalS", 900}, {"versioning", QJsonObject{{"type", ""}}}, {"sendXattrs", false},
        {"syncXattrs", false}, {"copyRangeMethod", "all"}, {"xattrFilter", STXattrFilter::syncedXattrs().toJson()}};
    EXPECT_EQ(creation().toJson(), expected);

    STFolderWrite versioned = creation();
    versioned.versioning = {QStringLiteral("simple"), QMap<QString, QString>{{"keep", "5"}}};
    EXPECT_EQ(versioned.toJson().value("versioning").toObject(),
              (QJsonObject{{"type", "simple"}, {"params", QJsonObject{{"keep", "5"}}}}));
    // An empty map is present, so it is written.
    EXPECT_EQ((STVersioning{QString(), QMap<QString, QString>()}).toJson(),
              (QJsonObject{{"type", ""}, {"params", QJsonObject()}}));
}

TEST(STRecordsWrite, DeviceWriteHasSixKeysAndIntegersAreExact)
{
    const STDeviceWrite device{QStringLiteral("DEV-B"), QString(), {QStringLiteral("dynamic")}, false, 5, true};
    EXPECT_EQ(device.toJson(), (QJsonObject{{"deviceID", "DEV-B"}, {"name", ""}, {"addresses", QJsonArray{"dynamic"}},
                                            {"paused", false}, {"numConnections", 5}, {"introducer", true}}));

    STFolderWrite folder = creation();
    folder.rescanIntervalS = 9007199254740993LL;  // not representable as a double
    EXPECT_TRUE(compact(folder.toJson()).contains("\"rescanIntervalS\":9007199254740993"));
    STDeviceWrite large;
    large.numConnections = std::numeric_limits<qint64>::max();
    EXPECT_TRUE(compact(large.toJson()).contains("\"numConnections\":9223372036854775807"));
}

TEST(STRecordsWrite, DeviceRefWritesOnlyPresentOptionals)
{
    const std::vector<std::pair<STDeviceRef, QJsonObject>> cases{
        {{"D", std::nullopt, std::nullopt}, {{"deviceID", "D"}}},
        {{"D", QString(), std::nullopt}, {{"deviceID", "D"}, {"introducedBy", ""}}},
        {{"D", std::nullopt, QString()}, {{"deviceID", "D"}, {"encryptionPassword", ""}}},
        {{"D", "I", "secret"}, {{"deviceID", "D"}, {"introducedBy", "I"}, {"encryptionPassword", "secret"}}},
    };
    for (const auto &[ref, json] : cases) {
        SCOPED_TRACE(compact(json).toStdString());
        EXPECT_EQ(ref.toJson(), json);
        EXPECT_EQ(STDeviceRef::fromJson(ref.toJson()), ref);
    }
}

// Linux attribute names carry their namespace; bare names would never travel.
TEST(STRecordsWrite, SyncedXattrsJsonShape)
{
    const QJsonArray entries{QJsonObject{{"match", "user.xdg.tags"}, {"permit", true}},
                             QJsonObject{{"match", "user.com.quellmark.crtime"}, {"permit", true}},
                             QJsonObject{{"match", "*"}, {"permit", false}}};
    EXPECT_EQ(STXattrFilter::syncedXattrsJSON(),
              (QJsonObject{{"xattrFilter", QJsonObject{{"entries", entries}, {"maxSingleEntrySize", 1048576},
                                                       {"maxTotalSize", 4194304}}}}));
}

} // namespace
} // namespace tw
