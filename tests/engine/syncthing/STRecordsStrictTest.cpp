// The strict reading rules, one table per rule across three records: a
// required key that is missing, null or mistyped fails the whole answer; an
// optional key reads when missing or null and fails when mistyped; integers
// refuse fractions and values beyond 64 bits.

#include "engine/syncthing/STCompletion.h"
#include "engine/syncthing/STConnectionsResponse.h"
#include "engine/syncthing/STFolderRead.h"
#include "engine/syncthing/STOptions.h"
#include "engine/syncthing/STVersion.h"
#include "utilities/JsonDecodeError.h"

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

struct PresenceRow
{
    const Record &record;
    const char *pair;
    bool optional;
};

TEST(STRecordsStrict, MissingKeys)
{
    for (const Record *record : {&folders, &connections, &versions})
        EXPECT_TRUE(decodes(*record, record->body)) << record->name;
    const std::vector<PresenceRow> rows{
        {folders, R"("id":"f")", false},
        {folders, R"("introducedBy":"")", true},
        {connections, R"("address":"a")", false},
        {connections, R"("total":{"inBytesTotal":2})", true},
        {versions, R"("versionTime":"t")", false},
        {versions, R"("size":12)", true},
    };
    for (const PresenceRow &row : rows)
        EXPECT_EQ(decodes(row.record, without(row.record.body, row.pair)), row.optional) << row.pair;
    // Left out, an optional reads as absent, not as a default of its type.
    EXPECT_EQ(STOptions::fromJsonBody("{}"), STOptions());
}

TEST(STRecordsStrict, NullKeys)
{
    const std::vector<PresenceRow> rows{
        {folders, R"("paused":false)", false},
        {folders, R"("params":{"keep":"5"})", true},
        {connections, R"("connected":true)", false},
        {connections, R"("inBytesTotal":1)", true},
        {versions, R"("versionTime":"t")", false},
        {versions, R"("size":12)", true},
    };
    for (const PresenceRow &row : rows)
        EXPECT_EQ(decodes(row.record, withValue(row.record.body, row.pair, "null")), row.optional) << row.pair;
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

TEST(STRecordsStrict, ErrorsNameWhereTheBreachIs)
{
    try {
        STFolderRead::listFromJson(withValue(folders.body, R"("introducedBy":"")", "7"));
        FAIL() << "decoded";
    } catch (const JsonDecodeError &error) {
        EXPECT_EQ(error.detail(), "[0]: devices[0]: introducedBy: expected a string");
    }
}

} // namespace
} // namespace tw
