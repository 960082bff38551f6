// The bodies we send: exact key sets, required keys always written, absent
// optionals left out (never null), integers written exactly.

#include "engine/syncthing/STDeviceRef.h"
#include "engine/syncthing/STDeviceWrite.h"
#include "engine/syncthing/STFolderWrite.h"
#include "engine/syncthing/STVersioning.h"
#include "engine/syncthing/STXattrFilter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <gtest/gtest.h>

namespace tw {
namespace {

QSet<QString> keys(const QJsonObject &object)
{
    const QStringList list = object.keys();
    return {list.begin(), list.end()};
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

STFolderWrite creation()
{
    STFolderWrite folder;
    folder.id = QStringLiteral("tdw-0123abcd");
    folder.label = QString();
    folder.path = QStringLiteral("/home/u/Film");
    folder.type = QStringLiteral("sendreceive");
    folder.devices = {STDeviceRef{QStringLiteral("DEV-A"), std::nullopt, std::nullopt}};
    folder.paused = false;
    folder.fsWatcherEnabled = true;
    folder.rescanIntervalS = 900;
    folder.versioning = STVersioning{QString(), std::nullopt};
    folder.sendXattrs = false;
    folder.syncXattrs = false;
    folder.copyRangeMethod = QStringLiteral("all");
    folder.xattrFilter = STXattrFilter::syncedXattrs();
    return folder;
}

TEST(STRecordsWrite, FolderCreationWritesAllThirteenKeys)
{
    const QJsonObject json = creation().toJson();
    EXPECT_EQ(keys(json), (QSet<QString>{"id", "label", "path", "type", "devices", "paused", "fsWatcherEnabled",
                                         "rescanIntervalS", "versioning", "sendXattrs", "syncXattrs",
                                         "copyRangeMethod", "xattrFilter"}));
    const QJsonObject expected{
        {"id", "tdw-0123abcd"},
        {"label", ""},
        {"path", "/home/u/Film"},
        {"type", "sendreceive"},
        {"devices", QJsonArray{QJsonObject{{"deviceID", "DEV-A"}}}},
        {"paused", false},
        {"fsWatcherEnabled", true},
        {"rescanIntervalS", 900},
        {"versioning", QJsonObject{{"type", ""}}},
        {"sendXattrs", false},
        {"syncXattrs", false},
        {"copyRangeMethod", "all"},
        {"xattrFilter", STXattrFilter::syncedXattrs().toJson()}};
    EXPECT_EQ(json, expected);
    EXPECT_FALSE(compact(json).contains("null"));
}

TEST(STRecordsWrite, FolderVersioningParamsAreWrittenWhenPresent)
{
    STFolderWrite folder = creation();
    folder.versioning = {QStringLiteral("simple"), QMap<QString, QString>{{QStringLiteral("keep"), QStringLiteral("5")}}};
    EXPECT_EQ(folder.toJson().value("versioning").toObject(),
              (QJsonObject{{"type", "simple"}, {"params", QJsonObject{{"keep", "5"}}}}));
}

TEST(STRecordsWrite, IntegersAreWrittenExactly)
{
    STFolderWrite folder = creation();
    folder.rescanIntervalS = 9007199254740993LL;  // not representable as a double
    EXPECT_TRUE(compact(folder.toJson()).contains("\"rescanIntervalS\":9007199254740993"));
    STDeviceWrite device;
    device.numConnections = std::numeric_limits<qint64>::max();
    EXPECT_TRUE(compact(device.toJson()).contains("\"numConnections\":9223372036854775807"));
}

TEST(STRecordsWrite, DeviceRefWritesOnlyPresentOptionals)
{
    struct Case
    {
        STDeviceRef ref;
        QJsonObject json;
    };
    const std::vector<Case> cases{
        {{"D", std::nullopt, std::nullopt}, {{"deviceID", "D"}}},
        {{"", std::nullopt, std::nullopt}, {{"deviceID", ""}}},
        {{"D", QString(), std::nullopt}, {{"deviceID", "D"}, {"introducedBy", ""}}},
        {{"D", "I", "secret"}, {{"deviceID", "D"}, {"introducedBy", "I"}, {"encryptionPassword", "secret"}}},
        {{"D", std::nullopt, QString()}, {{"deviceID", "D"}, {"encryptionPassword", ""}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(compact(c.json).toStdString());
        EXPECT_EQ(c.ref.toJson(), c.json);
        // What we write reads back as the same record.
        EXPECT_EQ(STDeviceRef::fromJson(c.ref.toJson()), c.ref);
    }
}

TEST(STRecordsWrite, VersioningForms)
{
    EXPECT_EQ(STVersioning().toJson(), (QJsonObject{{"type", ""}}));
    EXPECT_EQ((STVersioning{QString(), QMap<QString, QString>()}).toJson(),
              (QJsonObject{{"type", ""}, {"params", QJsonObject()}}));
    const STVersioning trash{QStringLiteral("trashcan"), QMap<QString, QString>{{"cleanoutDays", "30"}}};
    EXPECT_EQ(STVersioning::fromJson(trash.toJson()), trash);
}

TEST(STRecordsWrite, DeviceWriteHasSixKeys)
{
    const STDeviceWrite device{QStringLiteral("DEV-B"), QString(), {QStringLiteral("dynamic")}, false, 5, true};
    EXPECT_EQ(device.toJson(), (QJsonObject{{"deviceID", "DEV-B"},
                                            {"name", ""},
                                            {"addresses", QJsonArray{"dynamic"}},
                                            {"paused", false},
                                            {"numConnections", 5},
                                            {"introducer", true}}));
    const STDeviceWrite empty;
    EXPECT_EQ(keys(empty.toJson()),
              (QSet<QString>{"deviceID", "name", "addresses", "paused", "numConnections", "introducer"}));
    EXPECT_EQ(empty.toJson().value("addresses"), QJsonArray());
}

TEST(STRecordsWrite, SyncedXattrFilterNamesLinuxUserAttributes)
{
    const STXattrFilter filter = STXattrFilter::syncedXattrs();
    using Entry = STXattrFilter::Entry;
    EXPECT_EQ(filter.entries, (QList<Entry>{{QStringLiteral("user.xdg.tags"), true},
                                            {QStringLiteral("user.com.quellmark.crtime"), true},
                                            {QStringLiteral("*"), false}}));
    EXPECT_EQ(filter.maxSingleEntrySize, 1048576);
    EXPECT_EQ(filter.maxTotalSize, 4194304);
}

TEST(STRecordsWrite, SyncedXattrsJsonShape)
{
    const QJsonObject patch = STXattrFilter::syncedXattrsJSON();
    ASSERT_EQ(keys(patch), QSet<QString>{"xattrFilter"});
    const QJsonObject filter = patch.value("xattrFilter").toObject();
    EXPECT_EQ(keys(filter), (QSet<QString>{"entries", "maxSingleEntrySize", "maxTotalSize"}));
    ASSERT_TRUE(filter.value("maxSingleEntrySize").isDouble());
    EXPECT_EQ(filter.value("maxSingleEntrySize").toInteger(), 1048576);
    EXPECT_EQ(filter.value("maxTotalSize").toInteger(), 4194304);
    const QJsonArray entries = filter.value("entries").toArray();
    ASSERT_EQ(entries.size(), 3);
    const std::vector<std::pair<QString, bool>> expected{
        {"user.xdg.tags", true}, {"user.com.quellmark.crtime", true}, {"*", false}};
    for (qsizetype i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(i);
        const QJsonObject entry = entries.at(i).toObject();
        EXPECT_EQ(keys(entry), (QSet<QString>{"match", "permit"}));
        ASSERT_TRUE(entry.value("match").isString());
        ASSERT_TRUE(entry.value("permit").isBool());
        EXPECT_EQ(entry.value("match").toString(), expected[i].first);
        EXPECT_EQ(entry.value("permit").toBool(), expected[i].second);
    }
}

} // namespace
} // namespace tw
