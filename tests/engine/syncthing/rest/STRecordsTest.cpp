// The Syncthing wire records.
//
// Answers recorded from a real Syncthing 1.29.5 (two loopback-only instances
// sharing a folder; data/record-answers.py) read into the right fields, past
// the many keys we do not read. Options, browsing, ignores and offers are read
// back from a real Syncthing by the engine's integration tests instead.
//
// The strict reading rules, one table per rule across three records: a
// required key that is missing, null or mistyped fails the whole answer; an
// optional key reads when missing or null and fails when mistyped; integers
// refuse fractions and values beyond 64 bits.
//
// The bodies we send: exact keys, absent optionals left out (never null),
// integers written exactly. A read-back from Syncthing cannot show these, as
// it fills every key left out with its default.

#include "TestData.h"

#include "engine/syncthing/rest/STCompletion.h"
#include "engine/syncthing/rest/STConnectionsResponse.h"
#include "engine/syncthing/rest/STDeviceRead.h"
#include "engine/syncthing/rest/STDeviceRef.h"
#include "engine/syncthing/rest/STDeviceWrite.h"
#include "engine/syncthing/rest/STFolderRead.h"
#include "engine/syncthing/rest/STFolderStatus.h"
#include "engine/syncthing/rest/STFolderWrite.h"
#include "engine/syncthing/rest/STNeedResponse.h"
#include "engine/syncthing/rest/STOptions.h"
#include "engine/syncthing/rest/STVersion.h"
#include "engine/syncthing/rest/STVersioning.h"
#include "engine/syncthing/rest/STXattrFilter.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "utilities/JsonDecodeError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace tw {
namespace {

const QString deviceA = QStringLiteral("RAM4DDW-5SPC5YL-RO5K6KV-DLCVG6H-4P5WHR6-JJ2BW42-LG3LF4P-4XIZ3A3");
const QString deviceB = QStringLiteral("CBXXZA7-NF445JG-DC6A7ID-2D7KYHQ-XGV3ZQW-REIILMA-TSNQN6H-F5XNXQH");

QByteArray captured(const char *name)
{
    return test::testData(QStringLiteral("engine/syncthing/rest/data/") + QLatin1String(name));
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
    EXPECT_EQ(STVersion::mapFromJson(captured("folder-versions.json")),
              (QMap<QString, QList<STVersion>>{{"notes.txt", {STVersion{"2026-12-06T18:55:54Z", 12}}}}));
}

struct Record
{
    const char *name;
    QByteArray body; // a valid answer; each key:value pair in it is unique
    void (*decode)(const QByteArray &body);
};

const Record folders{"folders",
                     R"([{"id":"f","label":"","path":"/p","type":"sendreceive","paused":false,)"
                     R"("devices":[{"deviceID":"D","introducedBy":""}],)"
                     R"("versioning":{"type":"simple","params":{"keep":"5"}}}])",
                     [](const QByteArray &body) { STFolderRead::listFromJson(body); }};
const Record connections{"connections",
                         R"({"connections":{"D":{"connected":true,"address":"a","inBytesTotal":1}},)"
                         R"("total":{"inBytesTotal":2}})",
                         [](const QByteArray &body) { STConnectionsResponse::fromJsonBody(body); }};
const Record versions{"versions", R"({"a":[{"versionTime":"t","size":12}]})",
                      [](const QByteArray &body) { STVersion::mapFromJson(body); }};

bool decodes(const Record &record, const QByteArray &body)
{
    try {
        record.decode(body);
        return true;
    } catch (const JsonDecodeError &) {
        return false;
    }
}

QByteArray without(QByteArray body, const QByteArray &pair)
{
    return body.contains(pair + ',') ? body.replace(pair + ',', "") : body.replace(',' + pair, "");
}

QByteArray withValue(QByteArray body, const QByteArray &pair, const QByteArray &value)
{
    return body.replace(pair, pair.left(pair.indexOf(':') + 1) + value);
}

TEST(STRecordsStrict, MissingKeys)
{
    for (const Record *record : {&folders, &connections, &versions})
        EXPECT_TRUE(decodes(*record, record->body)) << record->name;
    const std::vector<std::tuple<const Record &, const char *, bool>> rows{
        {folders, R"("id":"f")", false},
        {folders, R"("introducedBy":"")", true},
        {connections, R"("address":"a")", false},
        {connections, R"("total":{"inBytesTotal":2})", true},
        {versions, R"("versionTime":"t")", false},
        {versions, R"("size":12)", true},
    };
    for (const auto &[record, pair, optional] : rows)
        EXPECT_EQ(decodes(record, without(record.body, pair)), optional) << pair;
    // Left out, an optional reads as absent, not as a default of its type.
    EXPECT_EQ(STOptions::fromJsonBody("{}"), STOptions());
}

TEST(STRecordsStrict, NullKeys)
{
    const std::vector<std::tuple<const Record &, const char *, bool>> rows{
        {folders, R"("paused":false)", false},
        {folders, R"("params":{"keep":"5"})", true},
        {connections, R"("connected":true)", false},
        {connections, R"("inBytesTotal":1)", true},
        {versions, R"("versionTime":"t")", false},
        {versions, R"("size":12)", true},
    };
    for (const auto &[record, pair, optional] : rows)
        EXPECT_EQ(decodes(record, withValue(record.body, pair, "null")), optional) << pair;
}

TEST(STRecordsStrict, ValuesOfAnotherType)
{
    const std::vector<std::tuple<const Record &, const char *, const char *>> rows{
        {folders, R"("paused":false)", R"("false")"},
        {folders, R"("introducedBy":"")", "7"},
        {folders, R"("keep":"5")", "5"},
        {connections, R"("address":"a")", "42"},
        {connections, R"("inBytesTotal":1)", R"("1")"},
        {connections, R"("total":{"inBytesTotal":2})", "[]"},
        {versions, R"("a":[{"versionTime":"t","size":12}])", R"({"versionTime":"t"})"},
        {versions, R"("size":12)", "true"},
    };
    for (const auto &[record, pair, value] : rows)
        EXPECT_FALSE(decodes(record, withValue(record.body, pair, value))) << pair << " = " << value;

    // The answer as a whole: not JSON, another top-level type, an element that is not an object.
    const std::vector<std::pair<const Record &, QByteArray>> bodies{
        {folders, "{}"}, {folders, "[1]"}, {connections, R"({"connections":{"D":5}})"}, {versions, "{\"a\":"}};
    for (const auto &[record, body] : bodies)
        EXPECT_FALSE(decodes(record, body)) << body.toStdString();
}

TEST(STRecordsStrict, Fractions)
{
    EXPECT_FALSE(decodes(connections, withValue(connections.body, R"("inBytesTotal":1)", "1.5")));
    EXPECT_TRUE(decodes(versions, withValue(versions.body, R"("size":12)", "12.0")));
    EXPECT_EQ(STCompletion::fromJsonBody(R"({"completion":99.5})").completion, 99.5);
}

// Numbers as text carries them, beyond what a double holds exactly.
TEST(STRecordsStrict, IntegerTextsAtThe64BitEdges)
{
    const auto size = [](const char *number) -> std::optional<qint64> {
        try {
            return STVersion::mapFromJson(withValue(versions.body, R"("size":12)", number)).value("a").value(0).size;
        } catch (const JsonDecodeError &) {
            return std::nullopt;
        }
    };
    const std::vector<std::pair<const char *, std::optional<qint64>>> rows{
        {"9223372036854775807", std::numeric_limits<qint64>::max()},
        {"-9223372036854775808", std::numeric_limits<qint64>::min()},
        {"9007199254740993", 9007199254740993LL},
        {"9223372036854775808", std::nullopt},
        // Parsing rounds this one to exactly -2^63.
        {"-9223372036854775809", std::nullopt},
    };
    for (const auto &[number, expected] : rows)
        EXPECT_EQ(size(number), expected) << number;
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

TEST(STRecordsWrite, FolderCreationWritesExactlyItsThirteenKeys)
{
    const STFolderWrite folder{"tdw-0123abcd", "", "/home/u/Film", "sendreceive",
                               {STDeviceRef{"DEV-A", std::nullopt, std::nullopt}}, false, true, 900,
                               STVersioning{QString(), std::nullopt}, false, false, "all",
                               STXattrFilter::syncedXattrs()};
    const QJsonObject expected{
        {"id", "tdw-0123abcd"}, {"label", ""}, {"path", "/home/u/Film"}, {"type", "sendreceive"},
        {"devices", QJsonArray{QJsonObject{{"deviceID", "DEV-A"}}}}, {"paused", false}, {"fsWatcherEnabled", true},
        {"rescanIntervalS", 900}, {"versioning", QJsonObject{{"type", ""}}}, {"sendXattrs", false},
        {"syncXattrs", false}, {"copyRangeMethod", "all"}, {"xattrFilter", STXattrFilter::syncedXattrs().toJson()}};
    EXPECT_EQ(folder.toJson(), expected);
    // An empty map is present, so it is written.
    EXPECT_EQ((STVersioning{QString(), QMap<QString, QString>()}).toJson(),
              (QJsonObject{{"type", ""}, {"params", QJsonObject()}}));
}

TEST(STRecordsWrite, DeviceCreationWritesExactlyItsSixKeysWithExactIntegers)
{
    // 2^53 + 1 is not representable as a double.
    const STDeviceWrite device{"DEV-B", "", {"dynamic"}, false, 9007199254740993LL, true};
    EXPECT_EQ(compact(device.toJson()), R"({"addresses":["dynamic"],"deviceID":"DEV-B","introducer":true,)"
                                        R"("name":"","numConnections":9007199254740993,"paused":false})");
}

TEST(STRecordsWrite, DeviceRefWritesOnlyPresentOptionals)
{
    const std::vector<std::pair<STDeviceRef, QJsonObject>> cases{
        {{"D", QString(), std::nullopt}, {{"deviceID", "D"}, {"introducedBy", ""}}},
        {{"D", std::nullopt, QString()}, {{"deviceID", "D"}, {"encryptionPassword", ""}}},
    };
    for (const auto &[ref, json] : cases) {
        EXPECT_EQ(ref.toJson(), json);
        EXPECT_EQ(STDeviceRef::fromJson(ref.toJson()), ref);
    }
}

} // namespace
} // namespace tw
