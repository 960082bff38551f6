// The strict reading rules, as one table per answer recorded from Syncthing:
// every required key that is missing, null or mistyped fails the whole
// answer; every optional key reads when missing or null and fails when
// mistyped; integers refuse fractions and values beyond 64 bits.

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
#include "utilities/JsonDecodeError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <functional>
#include <gtest/gtest.h>

namespace tw {
namespace {

using Decoder = std::function<void(const QByteArray &)>;

enum class Kind { Text, Boolean, Integer, Number, TextList, List, Object };

struct Field
{
    const char *path;  // "/"-separated; "*" is the first element or key
    Kind kind;
    bool required;
};

struct Answer
{
    const char *name;
    const char *file;
    Decoder decode;
    std::vector<Field> fields;
};

QJsonValue wrongTypeFor(Kind kind)
{
    switch (kind) {
    case Kind::Text: return 42;
    case Kind::Boolean: return QStringLiteral("true");
    case Kind::Integer:
    case Kind::Number: return QStringLiteral("5");
    case Kind::TextList: return QJsonArray{1};
    case Kind::List: return QJsonObject();
    case Kind::Object: return QJsonArray();
    }
    return {};
}

// Sets (or, with no value, removes) the value at path.
QJsonValue edit(const QJsonValue &node, QStringList path, const std::optional<QJsonValue> &value)
{
    const QString step = path.takeFirst();
    if (node.isArray()) {
        QJsonArray array = node.toArray();
        const qsizetype index = step == QLatin1String("*") ? 0 : step.toLongLong();
        if (!path.isEmpty())
            array[index] = edit(array.at(index), path, value);
        else if (value)
            array[index] = *value;
        else
            array.removeAt(index);
        return array;
    }
    QJsonObject object = node.toObject();
    const QString key = step == QLatin1String("*") ? object.begin().key() : step;
    if (!path.isEmpty())
        object.insert(key, edit(object.value(key), path, value));
    else if (value)
        object.insert(key, *value);
    else
        object.remove(key);
    return object;
}

QByteArray body(const QJsonValue &root)
{
    return root.isArray() ? QJsonDocument(root.toArray()).toJson() : QJsonDocument(root.toObject()).toJson();
}

QJsonValue recorded(const char *file)
{
    const QJsonDocument document =
        QJsonDocument::fromJson(test::testData(QStringLiteral("engine/syncthing/data/") + QLatin1String(file)));
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

bool decodes(const Decoder &decode, const QByteArray &bytes)
{
    try {
        decode(bytes);
        return true;
    } catch (const JsonDecodeError &) {
        return false;
    }
}

template <typename T>
Decoder list() { return [](const QByteArray &b) { T::listFromJson(b); }; }
template <typename T>
Decoder map() { return [](const QByteArray &b) { T::mapFromJson(b); }; }
template <typename T>
Decoder single() { return [](const QByteArray &b) { T::fromJsonBody(b); }; }

constexpr Kind Text = Kind::Text, Bool = Kind::Boolean, Int = Kind::Integer, TextList = Kind::TextList,
               List = Kind::List, Object = Kind::Object;

const std::vector<Answer> &answers()
{
    static const std::vector<Answer> table{
        {"folders", "config-folders.json", list<STFolderRead>(),
         {{"1/id", Text, true}, {"1/label", Text, true}, {"1/path", Text, true}, {"1/type", Text, true},
          {"1/paused", Bool, true}, {"1/devices", List, true}, {"1/devices/1/deviceID", Text, true},
          {"1/devices/1/introducedBy", Text, false}, {"1/devices/1/encryptionPassword", Text, false},
          {"1/versioning", Object, false}, {"1/versioning/type", Text, true}, {"0/versioning/params", Object, false},
          {"0/versioning/params/*", Text, true}, {"1/sendXattrs", Bool, false}, {"1/syncXattrs", Bool, false}}},
        {"devices", "config-devices.json", list<STDeviceRead>(),
         {{"0/deviceID", Text, true}, {"0/name", Text, true}, {"0/paused", Bool, true},
          {"0/maxSendKbps", Int, false}, {"0/maxRecvKbps", Int, false}}},
        {"system status", "system-status.json", single<STSystemStatus>(), {{"myID", Text, true}}},
        {"connections", "system-connections.json", single<STConnectionsResponse>(),
         {{"connections", Object, true}, {"connections/*", Object, true}, {"connections/*/connected", Bool, true},
          {"connections/*/address", Text, true}, {"connections/*/type", Text, false},
          {"connections/*/inBytesTotal", Int, false}, {"connections/*/outBytesTotal", Int, false},
          {"connections/*/clientVersion", Text, false}, {"connections/*/isLocal", Bool, false},
          {"connections/*/crypto", Text, false}, {"total", Object, false}, {"total/inBytesTotal", Int, false},
          {"total/outBytesTotal", Int, false}}},
        {"options", "config-options.json", single<STOptions>(),
         {{"natEnabled", Bool, false}, {"relaysEnabled", Bool, false}, {"localAnnounceEnabled", Bool, false},
          {"globalAnnounceEnabled", Bool, false}, {"globalAnnounceServers", TextList, false},
          {"listenAddresses", TextList, false}, {"maxRecvKbps", Int, false}, {"maxSendKbps", Int, false},
          {"alwaysLocalNets", TextList, false}}},
        {"folder status", "db-status.json", single<STFolderStatus>(),
         {{"state", Text, false}, {"globalBytes", Int, false}, {"localBytes", Int, false},
          {"needBytes", Int, false}, {"errors", Int, false}}},
        {"completion", "db-completion.json", single<STCompletion>(),
         {{"completion", Kind::Number, false}, {"needBytes", Int, false}, {"needItems", Int, false}}},
        {"need", "db-need-syncing.json", single<STNeedResponse>(),
         {{"progress", List, false}, {"progress/2", Object, true}, {"progress/2/name", Text, true},
          {"queued", List, false}}},
        {"browse", "db-browse.json", list<STBrowseEntry>(), {{"1/name", Text, true}, {"1/type", Text, true}}},
        {"ignores", "db-ignores.json", single<STIgnores>(), {{"ignore", TextList, false}}},
        {"pending devices", "pending-devices.json", map<STPendingDevice>(),
         {{"*", Object, true}, {"*/name", Text, false}, {"*/address", Text, false}}},
        {"pending folders", "pending-folders.json", map<STPendingFolder>(),
         {{"*", Object, true}, {"*/offeredBy", Object, true}, {"*/offeredBy/*", Object, true},
          {"*/offeredBy/*/label", Text, false}}},
        {"versions", "folder-versions.json", map<STVersion>(),
         {{"*", List, true}, {"*/0", Object, true}, {"*/0/versionTime", Text, true}, {"*/0/size", Int, false}}},
    };
    return table;
}

struct NumberCase
{
    QJsonValue value;
    bool integer;
    bool number;
};

const std::vector<NumberCase> numberCases{
    {QJsonValue(std::numeric_limits<qint64>::max()), true, true},
    {QJsonValue(std::numeric_limits<qint64>::min()), true, true},
    {QJsonValue(2.0), true, true},
    {QJsonValue(1.5), false, true},
    {QJsonValue(9223372036854775808.0), false, true},  // 2^63
    {QJsonValue(true), false, false},
};

// The recorded answers carry many keys we do not read: they are ignored.
TEST(STRecordsStrict, EveryFieldOfEveryAnswer)
{
    for (const Answer &answer : answers()) {
        const QJsonValue root = recorded(answer.file);
        EXPECT_TRUE(decodes(answer.decode, body(root))) << answer.name;
        for (const Field &field : answer.fields) {
            SCOPED_TRACE(std::string(answer.name) + " " + field.path);
            const QStringList path = QString::fromLatin1(field.path).split(QLatin1Char('/'));
            const auto decodesWith = [&](const std::optional<QJsonValue> &value) {
                return decodes(answer.decode, body(edit(root, path, value)));
            };
            // Dropping an element of a list or map leaves a valid answer.
            if (path.last() != QLatin1String("*") && !path.last().at(0).isDigit()) {
                EXPECT_EQ(decodesWith(std::nullopt), !field.required) << "missing";
            }
            EXPECT_EQ(decodesWith(QJsonValue(QJsonValue::Null)), !field.required) << "null";
            EXPECT_FALSE(decodesWith(wrongTypeFor(field.kind))) << "wrong type";
            if (field.kind != Kind::Integer && field.kind != Kind::Number)
                continue;
            for (const NumberCase &c : numberCases) {
                EXPECT_EQ(decodesWith(c.value), field.kind == Kind::Integer ? c.integer : c.number)
                    << QJsonDocument(QJsonArray{c.value}).toJson(QJsonDocument::Compact).toStdString();
            }
        }
    }
}

// Numbers as Syncthing's text carries them, beyond what a double holds exactly.
TEST(STRecordsStrict, IntegerTextsAtThe64BitEdges)
{
    const auto size = [](const char *number) {
        return STVersion::mapFromJson(QByteArray("{\"a\":[{\"versionTime\":\"t\",\"size\":") + number + "}]}")
            .value(QStringLiteral("a")).value(0).size;
    };
    EXPECT_EQ(size("-9223372036854775808"), std::numeric_limits<qint64>::min());
    EXPECT_EQ(size("9007199254740993"), 9007199254740993LL);
    EXPECT_THROW(size("9223372036854775808"), JsonDecodeError);
}

TEST(STRecordsStrict, OptionalKeysMissingOrNullReadAsAbsent)
{
    const STFolderRead folder = STFolderRead::fromJson(QJsonObject{
        {"id", "f"}, {"label", ""}, {"path", "/p"}, {"type", "sendonly"}, {"paused", true},
        {"devices", QJsonArray{QJsonObject{{"deviceID", "D"}, {"introducedBy", QJsonValue::Null}}}},
        {"sendXattrs", QJsonValue::Null}});
    EXPECT_EQ(folder, (STFolderRead{"f", "", "/p", "sendonly", true, {STDeviceRef{"D", std::nullopt, std::nullopt}},
                                    std::nullopt, std::nullopt, std::nullopt}));
    const auto bare = STConnectionsResponse::fromJsonBody(R"({"connections":{"D":{"connected":false,"address":""}}})");
    EXPECT_EQ(bare, (STConnectionsResponse{{{"D", STConnectionsResponse::Conn()}}, std::nullopt}));
    EXPECT_EQ(STOptions::fromJsonBody("{}"), STOptions());
    EXPECT_EQ(STPendingFolder::mapFromJson(R"({"F":{"offeredBy":{"D":{"label":null}}}})").value("F").offeredBy.value("D"),
              STPendingFolder::Offer());
}

TEST(STRecordsStrict, WholeBodiesOfTheWrongShapeFail)
{
    const std::vector<std::pair<Decoder, QByteArray>> cases{
        {list<STFolderRead>(), "{}"},
        {list<STFolderRead>(), "[1]"},
        {list<STDeviceRead>(), "null"},
        {single<STSystemStatus>(), ""},
        {single<STOptions>(), "not json"},
        {single<STCompletion>(), "{\"completion\":100"},
        {map<STPendingDevice>(), "{\"D\":\"name\"}"},
        {map<STVersion>(), "{\"a\":{\"versionTime\":\"t\"}}"},
        {map<STVersion>(), "{\"a\":[{\"versionTime\":\"t\"},{\"size\":1}]}"},
    };
    for (const auto &[decode, bytes] : cases) {
        SCOPED_TRACE(bytes.toStdString());
        EXPECT_FALSE(decodes(decode, bytes));
    }
}

TEST(STRecordsStrict, ErrorsNameWhereTheBreachIs)
{
    try {
        STFolderRead::listFromJson(R"([{"id":"f","label":"","path":"/p","type":"","paused":false,
                                       "devices":[{"deviceID":"A"},{"deviceID":7}]}])");
        FAIL() << "decoded";
    } catch (const JsonDecodeError &error) {
        for (const char *part : {"[0]", "devices[1]", "deviceID"})
            EXPECT_TRUE(error.detail().contains(QLatin1String(part))) << error.what();
    }
}

} // namespace
} // namespace tw
