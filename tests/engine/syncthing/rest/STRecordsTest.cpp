// The Syncthing wire records.
//
// The strict reading rules, one table per rule across two records: a
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

TEST(STRecordsStrict, MissingKeys)
{
    for (const Record *record : {&folders, &versions})
        EXPECT_TRUE(decodes(*record, record->body)) << record->name;
    const std::vector<std::tuple<const Record &, const char *, bool>> rows{
        {folders, R"("id":"f")", false},
        {folders, R"("introducedBy":"")", true},
    };
    for (const auto &[record, pair, optional] : rows)
        EXPECT_EQ(decodes(record, without(record.body, pair)), optional) << pair;
}

TEST(STRecordsStrict, NullKeys)
{
    const std::vector<std::tuple<const Record &, const char *, bool>> rows{
        {folders, R"("paused":false)", false},
        {versions, R"("size":12)", true},
    };
    for (const auto &[record, pair, optional] : rows)
        EXPECT_EQ(decodes(record, withValue(record.body, pair, "null")), optional) << pair;
}

TEST(STRecordsStrict, ValuesOfAnotherType)
{
    const std::vector<std::tuple<const Record &, const char *, const char *>> rows{
        {folders, R"("paused":false)", R"("false")"},
        {versions, R"("size":12)", "true"},
    };
    for (const auto &[record, pair, value] : rows)
        EXPECT_FALSE(decodes(record, withValue(record.body, pair, value))) << pair << " = " << value;
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
        {"9223372036854775808", std::nullopt},
        // Parsing rounds this one to exactly -2^63.
        {"-9223372036854775809", std::nullopt},
    };
    for (const auto &[number, expected] : rows)
        EXPECT_EQ(size(number), expected) << number;
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
