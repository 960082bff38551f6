// The strict reading rules, as one table per answer: every required key that
// is missing, null or mistyped fails the whole answer; every optional key reads
// when missing or null and fails when mistyped; integers refuse fractions and
// values beyond 64 bits. The tables start from answers recorded from Syncthing.

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
        if (path.isEmpty()) {
            if (value)
                array[index] = *value;
            else
                array.removeAt(index);
        } else {
            array[index] = edit(array.at(index), path, value);
        }
        return array;
    }
    QJsonObject object = node.toObject();
    const QString key = step == QLatin1String("*") ? object.begin().key() : step;
    if (path.isEmpty()) {
        if (value)
            object.insert(key, *value);
        else
            object.remove(key);
    } else {
        object.insert(key, edit(object.value(key), path, value));
    }
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

const std::vector<Answer> &answers()
{
    static const std::vector<Answer> table{
        {"folders", "config-folders.json", list<STFolderRead>(),
         {{"1/id", Kind::Text, true},
          {"1/label", Kind::Text, true},
          {"1/path", Kind::Text, true},
          {"1/type", Kind::Text, true},
          {"1/paused", Kind::Boolean, true},
          {"1/devices", Kind::List, true},
          {"1/devices/1/deviceID", Kind::Text, true},
          {"1/devices/1/introducedBy", Kind::Text, false},
          {"1/devices/1/encryptionPassword", Kind::Text, false},
          {"1/versioning", Kind::Object, false},
          {"1/versioning/type", Kind::Text, true},
          {"0/versioning/params", Kind::Object, false},
          {"0/versioning/params/*", Kind::Text, true},
          {"1/sendXattrs", Kind::Boolean, false},
          {"1/syncXattrs", Kind::Boolean, false}}},
        {"devices", "config-devices.json", list<STDeviceRead>(),
         {{"0/deviceID", Kind::Text, true},
          {"0/name", Kind::Text, true},
          {"0/paused", Kind::Boolean, true},
          {"0/maxSendKbps", Kind::Integer, false},
          {"0/maxRecvKbps", Kind::Integer, false}}},
        {"system status", "system-status.json", single<STSystemStatus>(), {{"myID", Kind::Text, true}}},
        {"connections", "system-connections.json", single<STConnectionsResponse>(),
         {{"connections", Kind::Object, true},
          {"connections/*", Kind::Object, true},
          {"connections/*/connected", Kind::Boolean, true},
          {"connections/*/address", Kind::Text, true},
          {"connections/*/type", Kind::Text, false},
          {"connections/*/inBytesTotal", Kind::Integer, false},
          {"connections/*/outBytesTotal", Kind::Integer, false},
          {"connections/*/clientVersion", Kind::Text, false},
          {"connections/*/isLocal", Kind::Boolean, false},
          {"connections/*/crypto", Kind::Text, false},
          {"total", Kind::Object, false},
          {"total/inBytesTotal", Kind::Integer, false},
          {"total/outBytesTotal", Kind::Integer, false}}},
        {"options", "config-options.json", single<STOptions>(),
         {{"natEnabled", Kind::Boolean, false},
          {"relaysEnabled", Kind::Boolean, false},
          {"localAnnounceEnabled", Kind::Boolean, false},
          {"globalAnnounceEnabled", Kind::Boolean, false},
          {"globalAnnounceServers", Kind::TextList, false},
          {"listenAddresses", Kind::TextList, false},
          {"maxRecvKbps", Kind::Integer, false},
          {"maxSendKbps", Kind::Integer, false},
          {"alwaysLocalNets", Kind::TextList, false}}},
        {"folder status", "db-status.json", single<STFolderStatus>(),
         {{"state", Kind::Text, false},
          {"globalBytes", Kind::Integer, false},
          {"localBytes", Kind::Integer, false},
          {"needBytes", Kind::Integer, false},
          {"errors", Kind::Integer, false}}},
        {"completion", "db-completion.json", single<STCompletion>(),
         {{"completion", Kind::Number, false},
          {"needBytes", Kind::Integer, false},
          {"needItems", Kind::Integer, false}}},
        {"need", "db-need-syncing.json", single<STNeedResponse>(),
         {{"progress", Kind::List, false},
          {"progress/2", Kind::Object, true},
          {"progress/2/name", Kind::Text, true},
          {"queued", Kind::List, false}}},
        {"browse", "db-browse.json", list<STBrowseEntry>(),
         {{"1/name", Kind::Text, true}, {"1/type", Kind::Text, true}}},
        {"ignores", "db-ignores.json", single<STIgnores>(), {{"ignore", Kind::TextList, false}}},
        {"pending devices", "pending-devices.json", map<STPendingDevice>(),
         {{"*", Kind::Object, true}, {"*/name", Kind::Text, false}, {"*/address", Kind::Text, false}}},
        {"pending folders", "pending-folders.json", map<STPendingFolder>(),
         {{"*", Kind::Object, true},
          {"*/offeredBy", Kind::Object, true},
          {"*/offeredBy/*", Kind::Object, true},
          {"*/offeredBy/*/label", Kind::Text, false}}},
        {"versions", "folder-versions.json", map<STVersion>(),
         {{"*", Kind::List, true},
          {"*/0", Kind::Object, true},
          {"*/0/versionTime", Kind::Text, true},
          {"*/0/size", Kind::Integer, false}}},
    };
    return table;
}

TEST(STRecordsStrict, RecordedAnswersDecode)
{
    for (const Answer &answer : answers()) {
        SCOPED_TRACE(answer.name);
        EXPECT_TRUE(decodes(answer.decode, body(recorded(answer.file))));
    }
}

TEST(STRecordsStrict, MissingNullAndMistypedKeys)
{
    for (const Answer &answer : answers()) {
        const QJsonValue root = recorded(answer.file);
        for (const Field &field : answer.fields) {
            SCOPED_TRACE(std::string(answer.name) + " " + field.path);
            const QStringList path = QString::fromLatin1(field.path).split(QLatin1Char('/'));
            const bool elementOfCollection = QString::fromLatin1(field.path).endsWith(QLatin1Char('*')) ||
                                             path.last().at(0).isDigit();
            // Dropping an element of a list or map leaves a valid answer.
            if (!elementOfCollection) {
                EXPECT_EQ(decodes(answer.decode, body(edit(root, path, std::nullopt))), !field.required) << "missing";
            }
            EXPECT_EQ(decodes(answer.decode, body(edit(root, path, QJsonValue(QJsonValue::Null)))), !field.required)
                << "null";
            EXPECT_FALSE(decodes(answer.decode, body(edit(root, path, wrongTypeFor(field.kind))))) << "wrong type";
        }
    }
}

TEST(STRecordsStrict, IntegersAreWholeAndFit64Bits)
{
    struct Value
    {
        QJsonValue value;
        bool integer;
        bool number;
    };
    const std::vector<Value> values{
        {QJsonValue(qint64(9223372036854775807)), true, true},
        {QJsonValue(std::numeric_limits<qint64>::min()), true, true},
        {QJsonValue(2.0), true, true},
        {QJsonValue(-0.0), true, true},
        {QJsonValue(1.5), false, true},
        {QJsonValue(-0.25), false, true},
        {QJsonValue(9223372036854775808.0), false, true},  // 2^63
        {QJsonValue(1e300), false, true},
        {QJsonValue(true), false, false},
    };
    for (const Answer &answer : answers()) {
        const QJsonValue root = recorded(answer.file);
        for (const Field &field : answer.fields) {
            if (field.kind != Kind::Integer && field.kind != Kind::Number)
                continue;
            const QStringList path = QString::fromLatin1(field.path).split(QLatin1Char('/'));
            for (const Value &value : values) {
                SCOPED_TRACE(std::string(answer.name) + " " + field.path + " = " +
                             QJsonDocument(QJsonArray{value.value}).toJson(QJsonDocument::Compact).toStdString());
                const bool expected = field.kind == Kind::Integer ? value.integer : value.number;
                EXPECT_EQ(decodes(answer.decode, body(edit(root, path, value.value))), expected);
            }
        }
    }
}

// Numbers as Syncthing's text carries them, beyond what a double holds exactly.
TEST(STRecordsStrict, IntegerTextsAtThe64BitEdges)
{
    const auto size = [](const char *number) {
        return STVersion::mapFromJson(QByteArray("{\"a\":[{\"versionTime\":\"t\",\"size\":") + number + "}]}")
            .value(QStringLiteral("a"))
            .value(0)
            .size;
    };
    EXPECT_EQ(size("9223372036854775807"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(size("-9223372036854775808"), std::numeric_limits<qint64>::min());
    EXPECT_EQ(size("9007199254740993"), 9007199254740993LL);
    EXPECT_EQ(size("1.0"), 1);
    EXPECT_EQ(size("1e3"), 1000);
    for (const char *beyond : {"9223372036854775808", "18446744073709551616", "-1e19", "1.000001"}) {
        SCOPED_TRACE(beyond);
        EXPECT_THROW(size(beyond), JsonDecodeError);
    }
}

TEST(STRecordsStrict, OptionalKeysMissingOrNullReadAsAbsent)
{
    const STFolderRead folder = STFolderRead::fromJson(QJsonObject{
        {"id", "f"}, {"label", ""}, {"path", "/p"}, {"type", "sendonly"}, {"paused", true},
        {"devices", QJsonArray{QJsonObject{{"deviceID", "D"}, {"introducedBy", QJsonValue::Null}}}},
        {"sendXattrs", QJsonValue::Null}});
    EXPECT_EQ(folder, (STFolderRead{"f", "", "/p", "sendonly", true, {STDeviceRef{"D", std::nullopt, std::nullopt}},
                                    std::nullopt, std::nullopt, std::nullopt}));

    EXPECT_EQ(STVersioning::fromJson(QJsonObject{{"type", "simple"}}).params, std::nullopt);
    const STConnectionsResponse bare =
        STConnectionsResponse::fromJsonBody(R"({"connections":{"D":{"connected":false,"address":""}}})");
    EXPECT_EQ(bare.connections.value("D"), STConnectionsResponse::Conn());
    EXPECT_EQ(bare.connections.size(), 1);
    EXPECT_EQ(bare.total, std::nullopt);
    EXPECT_EQ(STOptions::fromJsonBody("{}"), STOptions());
    EXPECT_EQ(STFolderStatus::fromJsonBody("{}"), STFolderStatus());
    EXPECT_EQ(STCompletion::fromJsonBody(R"({"completion":null})"), STCompletion());
    EXPECT_EQ(STNeedResponse::fromJsonBody(R"({"progress":null})"), STNeedResponse());
    EXPECT_EQ(STIgnores::fromJsonBody(R"({"ignore":null})"), STIgnores());
    EXPECT_EQ(STPendingDevice::mapFromJson(R"({"D":{}})").value("D"), STPendingDevice());
    EXPECT_EQ(STPendingFolder::mapFromJson(R"({"F":{"offeredBy":{"D":{"label":null}}}})").value("F").offeredBy.value("D"),
              STPendingFolder::Offer());
    EXPECT_EQ(STVersion::mapFromJson(R"({"a":[{"versionTime":"t"}]})").value("a"), (QList<STVersion>{{"t", std::nullopt}}));
}

TEST(STRecordsStrict, WholeBodiesOfTheWrongShapeFail)
{
    const std::vector<std::pair<Decoder, QByteArray>> cases{
        {list<STFolderRead>(), "{}"},
        {list<STFolderRead>(), "[1]"},
        {list<STDeviceRead>(), "null"},
        {list<STBrowseEntry>(), "[{\"name\":\"a\",\"type\":\"x\"},[]]"},
        {single<STSystemStatus>(), "[]"},
        {single<STSystemStatus>(), ""},
        {single<STOptions>(), "not json"},
        {single<STIgnores>(), "\"text\""},
        {single<STCompletion>(), "{\"completion\":100"},
        {map<STPendingDevice>(), "[]"},
        {map<STPendingDevice>(), "{\"D\":\"name\"}"},
        {map<STPendingFolder>(), "{\"F\":{\"offeredBy\":[]}}"},
        {map<STVersion>(), "{\"a\":{\"versionTime\":\"t\"}}"},
        {map<STVersion>(), "{\"a\":[{\"versionTime\":\"t\"},{\"size\":1}]}"},
        {single<STConnectionsResponse>(), "{\"connections\":[]}"},
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
        EXPECT_TRUE(error.detail().contains(QLatin1String("[0]"))) << error.what();
        EXPECT_TRUE(error.detail().contains(QLatin1String("devices[1]"))) << error.what();
        EXPECT_TRUE(error.detail().contains(QLatin1String("deviceID"))) << error.what();
    }
}

TEST(STRecordsStrict, KeysAreCaseSensitive)
{
    EXPECT_THROW(STSystemStatus::fromJsonBody(R"({"myId":"A"})"), JsonDecodeError);
    EXPECT_EQ(STIgnores::fromJsonBody(R"({"Ignore":["a"]})").ignore, std::nullopt);
}

} // namespace
} // namespace tw
