// The Syncthing wire records.
//
// The strict reading rules, one test per rule across two records: a
// required key that is missing, null or mistyped fails the whole answer; an
// optional key reads when missing or null and fails when mistyped; integers
// refuse fractions and values beyond 64 bits. Real answers are read by the
// engine's integration tests.
//
// The bodies we send: exact keys, absent optionals left out (never null),
// integers written exactly. A read-back from Syncthing cannot show these, as
// it fills every key left out with its default.

#include "engine/syncthing/rest/STDeviceRef.h"
#include "engine/syncthing/rest/STDeviceWrite.h"
#include "engine/syncthing/rest/STFolderRead.h"
#include "engine/syncthing/rest/STFolderWrite.h"
#include "engine/syncthing/rest/STVersion.h"
#include "engine/syncthing/rest/STVersioning.h"
#include "engine/syncthing/rest/STXattrFilter.h"
#include "utilities/JsonDecodeError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace tw {
namespace {

struct Record
{
    const char *name;
    QByteArray body; // a valid answer; each key:value pair in it is unique
    void (*decode)(const QByteArray &body);
};

const Record folders{"folders",
                     R"([{"id":"f","label":"","path":"/p","type":"sendreceive","paused":false,)"
                     R"("devices":[{"deviceID":"D","introducedBy":""}]}])",
                     [](const QByteArray &body) { STFolderRead::listFromJson(body); }};
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

// Each rule once for a required and once for an optional key.
TEST(STRecordsStrict, MissingKeys)
{
    for (const Record *record : {&folders, &versions})
        EXPECT_TRUE(decodes(*record, record->body)) << record->name;
    EXPECT_FALSE(decodes(folders, without(folders.body, R"("id":"f")")));
    EXPECT_TRUE(decodes(folders, without(folders.body, R"("introducedBy":"")")));
}

TEST(STRecordsStrict, NullKeys)
{
    EXPECT_FALSE(decodes(folders, withValue(folders.body, R"("paused":false)", "null")));
    EXPECT_TRUE(decodes(versions, withValue(versions.body, R"("size":12)", "null")));
}

TEST(STRecordsStrict, ValuesOfAnotherType)
{
    EXPECT_FALSE(decodes(folders, withValue(folders.body, R"("paused":false)", R"("false")")));
    EXPECT_FALSE(decodes(versions, withValue(versions.body, R"("size":12)", "true")));
    EXPECT_FALSE(decodes(folders, "{}")); // the answer as a whole
}

TEST(STRecordsStrict, Fractions)
{
    EXPECT_FALSE(decodes(versions, withValue(versions.body, R"("size":12)", "12.5")));
    EXPECT_TRUE(decodes(versions, withValue(versions.body, R"("size":12)", "12.0")));
}

// Numbers as text carries them, beyond what a double holds exactly.
TEST(STRecordsStrict, IntegerTextsAtThe64BitEdges)
{
    const QByteArray lowest = withValue(versions.body, R"("size":12)", "-9223372036854775808");
    EXPECT_EQ(STVersion::mapFromJson(lowest).value("a").value(0).size, std::numeric_limits<qint64>::min());
    EXPECT_FALSE(decodes(versions, withValue(versions.body, R"("size":12)", "9223372036854775808")));
    // Parsing rounds this one to exactly -2^63.
    EXPECT_FALSE(decodes(versions, withValue(versions.body, R"("size":12)", "-9223372036854775809")));
}

TEST(STRecordsWrite, CreationBodiesCarryExactlyTheirKeys)
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

    // 2^53 + 1 is not representable as a double.
    const STDeviceWrite device{"DEV-B", "", {"dynamic"}, false, 9007199254740993LL, true};
    EXPECT_EQ(QJsonDocument(device.toJson()).toJson(QJsonDocument::Compact),
              R"({"addresses":["dynamic"],"deviceID":"DEV-B","introducer":true,)"
              R"("name":"","numConnections":9007199254740993,"paused":false})");
}

} // namespace
} // namespace tw
