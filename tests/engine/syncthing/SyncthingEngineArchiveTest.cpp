// Ignores, browsing, item times and the archive against a fake Syncthing,
// including the answers a real one gives only in trouble: an ignore list it
// refuses and restores it could not do.

#include "engine/SyncEngineError.h"
#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "EngineOnFakeServer.h"
#include "QtPrinters.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>
#include <functional>

namespace tw {
namespace {

using Request = FakeHttpServer::Request;
using Response = FakeHttpServer::Response;

template <typename T>
std::optional<SyncEngineError> failureOf(QCoro::Task<T> task)
{
    try {
        awaitTask(std::move(task));
    } catch (const SyncEngineError &error) {
        return error;
    }
    return std::nullopt;
}

QJsonObject objectOf(const QByteArray &body) { return QJsonDocument::fromJson(body).object(); }
QByteArray line(const Request &request) { return request.method + ' ' + request.target; }
QByteArray json(const QJsonObject &object) { return QJsonDocument(object).toJson(); }

qint64 utc(const char *text) { return QDateTime::fromString(QLatin1String(text), Qt::ISODate).toSecsSinceEpoch(); }

// ---- parseSyncthingModified -----------------------------------------------------

TEST(ParseSyncthingModified, ReadsSyncthingsTimesToWholeSeconds)
{
    const std::pair<const char *, std::optional<qint64>> cases[] = {
        {"2024-03-05T10:20:30.123456789+01:00", utc("2024-03-05T09:20:30Z")},
        {"2024-03-05T10:20:30Z", utc("2024-03-05T10:20:30Z")},
        {"2024-03-05T10:20:30.5Z", utc("2024-03-05T10:20:30Z")},
        {"2024-03-05T10:20:30.999999999Z", utc("2024-03-05T10:20:30Z")}, // cut, not rounded
        {"2024-03-05T10:20:30.25-05:00", utc("2024-03-05T15:20:30Z")},
        {"2024-03-05T10:20:30+05:30", utc("2024-03-05T04:50:30Z")},
        {"1969-12-31T23:59:59Z", -1},
        {"2024-02-29T00:00:00Z", utc("2024-02-29T00:00:00Z")},
        // The first zone sign after the "." ends the fraction, whatever came before it.
        {"2024-03-05T10:20:30.12ab-01:00", utc("2024-03-05T11:20:30Z")},
        // Absent.
        {"2024-03-05T10:20:30.5", std::nullopt},   // fraction without a zone
        {"2024-03-05T10:20:30.", std::nullopt},    // ends with the "."
        {"2024-03-05T10:20:30", std::nullopt},     // no zone: not local time
        {"", std::nullopt},
        {".", std::nullopt},
        {"2024-03-05 10:20:30Z", std::nullopt},    // blank instead of "T"
        {"2024-03-05T10:20Z", std::nullopt},       // no seconds
        {"2024-02-30T10:20:30Z", std::nullopt},    // no such day
        {"2023-02-29T10:20:30Z", std::nullopt},
        {"2024-03-05T24:00:00Z", std::nullopt},
        {"2024-03-05T10:60:00Z", std::nullopt},
        {"2024-03-05T10:20:30+0100", std::nullopt}, // offset without colon
        {"2024-03-05T10:20:30+01", std::nullopt},
        {"2024-03-05T10:20:30z", std::nullopt},
        {"2024-03-05T10:20:30Z ", std::nullopt},
        {"24-03-05T10:20:30Z", std::nullopt},
        {"not a time", std::nullopt},
    };
    for (const auto &[text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(SyncthingEngine::parseSyncthingModified(QString::fromUtf8(text)), expected);
    }
}

// ---- against the fake server --------------------------------------------------------

class SyncthingEngineArchiveTest : public ::testing::Test
{
protected:
    void SetUp() override { rig.start(); }

    SyncthingEngine &engine() { return rig.engine(); }
    const QList<Request> &requests() const { return rig.requests(); }
    void answer(Response response) { rig.server().setDefaultResponse(std::move(response)); }

    EngineOnFakeServer rig;
};

TEST(SyncthingEngineArchiveStopped, FailsNotRunningOrAnswersNeutrallyWithoutARequest)
{
    EngineOnFakeServer rig;
    SyncthingEngine &engine = rig.engine();
    QMap<QString, QString> one;
    one.insert("a", "t");
    const std::pair<const char *, std::function<std::optional<SyncEngineError>()>> cases[] = {
        {"ignorePatterns", [&] { return failureOf(engine.ignorePatterns("f")); }},
        {"updateIgnorePatterns", [&] { return failureOf(engine.updateIgnorePatterns("f", {"x"})); }},
        {"browse", [&] { return failureOf(engine.browse("f", "")); }},
        {"archivedVersions", [&] { return failureOf(engine.archivedVersions("f")); }},
        {"restoreArchived", [&] { return failureOf(engine.restoreArchived("f", "a", "t")); }},
        {"restoreArchivedBatch", [&] { return failureOf(engine.restoreArchivedBatch("f", one)); }},
    };
    for (const auto &[name, call] : cases) {
        SCOPED_TRACE(name);
        const std::optional<SyncEngineError> error = call();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), SyncEngineError::Kind::NotRunning);
    }
    EXPECT_EQ(awaitTask(engine.directoryModified("f", "dir")), std::nullopt);
    // Nothing to restore is done at once, running or not.
    EXPECT_FALSE(failureOf(engine.restoreArchivedBatch("f", {})));
    EXPECT_TRUE(rig.requests().isEmpty());
}

// ---- ignores ---------------------------------------------------------------------------

TEST_F(SyncthingEngineArchiveTest, IgnorePatternsAreTheLinesInOrder)
{
    answer(Response::json(R"({"ignore": ["b", "a", "// c"], "expanded": ["b", "a"], "error": null})"));
    EXPECT_EQ(awaitTask(engine().ignorePatterns("f/1")), (QStringList{"b", "a", "// c"}));
    ASSERT_EQ(requests().size(), 1);
    EXPECT_EQ(line(requests()[0]), "GET /rest/db/ignores?folder=f%2F1");

    answer(Response::json(R"({"ignore": null})"));
    EXPECT_EQ(awaitTask(engine().ignorePatterns("f")), QStringList());
}

struct IgnoreUpdateCase
{
    const char *name;
    QJsonValue error;           // the "error" of the update's answer
    bool fails;
};

TEST_F(SyncthingEngineArchiveTest, AnIgnoreUpdateRefusedBySyncthingPutsThePreviousLinesBack)
{
    const IgnoreUpdateCase cases[] = {
        {"null error: accepted", QJsonValue::Null, false},
        {"empty error: accepted", QString(), false},
        {"no error key: accepted", QJsonValue::Undefined, false},
        {"error text: refused", QStringLiteral("parsing [x: syntax error in pattern"), true},
    };
    for (const IgnoreUpdateCase &c : cases) {
        SCOPED_TRACE(c.name);
        rig.server().clearRequests();
        rig.server().setHandler([error = c.error](const Request &request) {
            if (request.method == "GET")
                return Response::json(R"({"ignore": ["old 1", "old 2"], "error": null})");
            QJsonObject answer = objectOf(request.body);
            if (!error.isUndefined())
                answer.insert("error", error);
            return Response::json(json(answer));
        });
        const std::optional<SyncEngineError> failure = failureOf(engine().updateIgnorePatterns("f", {"[x", "*.tmp"}));
        QList<QJsonObject> posted;
        for (const Request &request : requests()) {
            if (request.method == "POST") {
                EXPECT_EQ(request.target, "/rest/db/ignores?folder=f");
                posted.append(objectOf(request.body));
            }
        }
        ASSERT_GE(posted.size(), 1);
        EXPECT_EQ(posted[0], (QJsonObject{{"ignore", QJsonArray{"[x", "*.tmp"}}}));
        if (!c.fails) {
            EXPECT_FALSE(failure);
            EXPECT_EQ(posted.size(), 1);
            continue;
        }
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->kind(), SyncEngineError::Kind::Backend);
        EXPECT_EQ(failure->errorDescription(), c.error.toString());
        ASSERT_EQ(posted.size(), 2);
        EXPECT_EQ(posted[1], (QJsonObject{{"ignore", QJsonArray{"old 1", "old 2"}}}));
    }
}

TEST_F(SyncthingEngineArchiveTest, ARefusedUpdateFailsWithSyncthingsTextEvenIfTheRollbackFails)
{
    rig.server().enqueue(Response::json(R"({"ignore": ["old"]})"));
    rig.server().enqueue(Response::json(R"({"ignore": ["[x"], "error": "bad pattern"})"));
    rig.server().enqueue(Response::text(500, "disk full"));
    const std::optional<SyncEngineError> failure = failureOf(engine().updateIgnorePatterns("f", {"[x"}));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->errorDescription(), QStringLiteral("bad pattern"));
    EXPECT_EQ(requests().size(), 3);
}

TEST_F(SyncthingEngineArchiveTest, IgnoreLinesWithLineBreaksOrNulAreRefusedBeforeSending)
{
    const QString cases[] = {
        QStringLiteral("a\n*"),
        QStringLiteral("trailing\n"),
        QStringLiteral("carriage\rreturn"),
        QStringLiteral("\r\n"),
        QString(QStringLiteral("nul")) + QChar(u'\0') + QStringLiteral("byte"),
    };
    for (const QString &bad : cases) {
        SCOPED_TRACE(bad.toStdString());
        const std::optional<SyncEngineError> failure =
            failureOf(engine().updateIgnorePatterns("f", {QStringLiteral("ok"), bad}));
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->kind(), SyncEngineError::Kind::Backend);
        EXPECT_TRUE(failure->payload().startsWith(
            QStringLiteral("An ignore pattern cannot contain a line break or a NUL character: \"")))
            << failure->payload().toStdString();
    }
    const std::optional<SyncEngineError> shown = failureOf(engine().updateIgnorePatterns("f", {"a\n*"}));
    ASSERT_TRUE(shown);
    EXPECT_TRUE(shown->payload().endsWith(QStringLiteral("\"a\\n*\""))) << shown->payload().toStdString();
    EXPECT_TRUE(requests().isEmpty());

    // Other unusual characters are the user's business.
    answer(Response::json(R"({"ignore": [], "error": null})"));
    EXPECT_FALSE(failureOf(engine().updateIgnorePatterns("f", {"\ttab", "ünï", "", " "})));
}

// ---- browse ------------------------------------------------------------------------------

TEST_F(SyncthingEngineArchiveTest, BrowseAsksForOneLevelAndKeepsSyncthingsOrder)
{
    answer(Response::json(R"([
        {"name": "zeta", "type": "FILE_INFO_TYPE_DIRECTORY", "modTime": "2024-01-01T00:00:00Z"},
        {"name": "alpha.txt", "type": "FILE_INFO_TYPE_FILE", "size": 3},
        {"name": "link", "type": "FILE_INFO_TYPE_SYMLINK"},
        {"name": "old", "type": "directory"},
        {"name": "other", "type": "XDIRECTORYX"}
    ])"));
    const QList<BrowseEntry> entries = awaitTask(engine().browse("f", ""));
    const QList<BrowseEntry> expected{{"zeta", true}, {"alpha.txt", false}, {"link", false}, {"old", false}, {"other", true}};
    EXPECT_EQ(entries, expected);

    awaitTask(engine().browse("f", "photos/2024"));
    awaitTask(engine().browse("f", "/odd prefix/"));
    ASSERT_EQ(requests().size(), 3);
    EXPECT_EQ(line(requests()[0]), "GET /rest/db/browse?folder=f&levels=0");
    EXPECT_EQ(line(requests()[1]), "GET /rest/db/browse?folder=f&levels=0&prefix=photos%2F2024");
    EXPECT_EQ(line(requests()[2]), "GET /rest/db/browse?folder=f&levels=0&prefix=%2Fodd%20prefix%2F");
}

// ---- directoryModified ---------------------------------------------------------------------

TEST_F(SyncthingEngineArchiveTest, DirectoryModifiedReadsTheGlobalRecordAndSwallowsEverythingElse)
{
    struct Case
    {
        const char *name;
        Response response;
        std::optional<qint64> expected;
    };
    const Case cases[] = {
        {"global modified", Response::json(R"({"global": {"modified": "2024-03-05T10:20:30.5+01:00"},
                                              "local": {"modified": "2001-01-01T00:00:00Z"}})"),
         utc("2024-03-05T09:20:30Z")},
        {"only a local record", Response::json(R"({"local": {"modified": "2024-03-05T10:20:30Z"}})"), std::nullopt},
        {"global not an object", Response::json(R"({"global": "2024-03-05T10:20:30Z"})"), std::nullopt},
        {"modified not a string", Response::json(R"({"global": {"modified": 1709634030}})"), std::nullopt},
        {"unparsable time", Response::json(R"({"global": {"modified": "yesterday"}})"), std::nullopt},
        {"not JSON", Response::json("<html>"), std::nullopt},
        {"unknown item", Response::text(404, "No such object in the index"), std::nullopt},
        {"server error", Response::text(500, "boom"), std::nullopt},
        {"dropped connection", Response::dropConnection(), std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        rig.server().clearRequests();
        answer(c.response);
        EXPECT_EQ(awaitTask(engine().directoryModified("f", "a dir/sub")), c.expected);
        // Qt itself sends a request again once when the connection drops unanswered.
        ASSERT_FALSE(requests().isEmpty());
        for (const Request &request : requests())
            EXPECT_EQ(line(request), "GET /rest/db/file?folder=f&file=a%20dir%2Fsub");
    }
}

// ---- archive -----------------------------------------------------------------------------------

TEST_F(SyncthingEngineArchiveTest, ArchivedVersionsAreFlattenedNewestFirst)
{
    answer(Response::json(R"({
        "a.txt": [{"versionTime": "2024-01-10T10:00:00+01:00", "size": 10, "modTime": "x"},
                  {"versionTime": "2024-03-01T10:00:00+01:00", "size": 30}],
        "dir/b.txt": [{"versionTime": "2024-02-01T10:00:00+01:00"}],
        "empty.txt": []
    })"));
    const QList<ArchivedVersion> versions = awaitTask(engine().archivedVersions("f"));
    const QList<ArchivedVersion> expected{
        {"a.txt", "2024-03-01T10:00:00+01:00", 30},
        {"dir/b.txt", "2024-02-01T10:00:00+01:00", 0},
        {"a.txt", "2024-01-10T10:00:00+01:00", 10},
    };
    EXPECT_EQ(versions, expected);
    ASSERT_EQ(requests().size(), 1);
    EXPECT_EQ(line(requests()[0]), "GET /rest/folder/versions?folder=f");

    answer(Response::json("{}"));
    EXPECT_TRUE(awaitTask(engine().archivedVersions("f")).isEmpty());
}

TEST_F(SyncthingEngineArchiveTest, RestoreSendsThePairsAndReadsWhatSyncthingCouldNotRestore)
{
    QMap<QString, QString> batch;
    batch.insert("a.txt", "2024-03-01T10:00:00+01:00");
    batch.insert("dir/b c.txt", "2024-02-01T10:00:00+01:00");
    using Call = std::function<QCoro::Task<void>(SyncthingEngine &)>;
    const Call single = [](SyncthingEngine &e) { return e.restoreArchived("f 1", "a.txt", "2024-03-01T10:00:00+01:00"); };
    const Call many = [batch](SyncthingEngine &e) { return e.restoreArchivedBatch("f 1", batch); };

    struct Case
    {
        const char *name;
        Call call;
        Response response;
        std::optional<SyncEngineError::Kind> kind; // absent: success
        QString text;
    };
    const Case cases[] = {
        {"one, restored", single, Response::json("{}"), {}, {}},
        {"many, restored", many, Response::json("{}"), {}, {}},
        {"a null error is none", many, Response::json(R"({"a.txt": null})"), {}, {}},
        {"one, refused", single, Response::json(R"({"a.txt": "version not found"})"),
         SyncEngineError::Kind::Backend, "Could not restore a.txt: version not found"},
        {"many, both refused", many,
         Response::json(R"({"dir/b c.txt": "file exists", "a.txt": "version not found", "c": null})"),
         SyncEngineError::Kind::Backend, "Could not restore a.txt: version not found; dir/b c.txt: file exists"},
        {"refused without a text", single, Response::json(R"({"a.txt": ""})"), SyncEngineError::Kind::Backend,
         "Could not restore a.txt"},
        {"unreadable answer is no success", single, Response::json("ok"), SyncEngineError::Kind::Backend, {}},
        {"an error that is not text", single, Response::json(R"({"a.txt": 5})"), SyncEngineError::Kind::Backend, {}},
        {"HTTP error unchanged", single, Response::text(500, "versioner not configured"), SyncEngineError::Kind::Http,
         "versioner not configured"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        rig.server().clearRequests();
        answer(c.response);
        const std::optional<SyncEngineError> failure = failureOf(c.call(engine()));
        ASSERT_EQ(requests().size(), 1);
        EXPECT_EQ(line(requests()[0]), "POST /rest/folder/versions?folder=f%201");
        EXPECT_EQ(requests()[0].header("Content-Type"), QByteArray("application/json"));
        if (!c.kind) {
            EXPECT_FALSE(failure) << failure->errorDescription().toStdString();
            continue;
        }
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->kind(), *c.kind);
        if (!c.text.isEmpty())
            EXPECT_EQ(failure->payload(), c.text);
        else
            EXPECT_TRUE(failure->payload().startsWith("Failed to decode ")) << failure->payload().toStdString();
    }

    rig.server().clearRequests();
    answer(Response::json("{}"));
    awaitTask(many(engine()));
    EXPECT_EQ(objectOf(requests()[0].body),
              (QJsonObject{{"a.txt", "2024-03-01T10:00:00+01:00"}, {"dir/b c.txt", "2024-02-01T10:00:00+01:00"}}));
    rig.server().clearRequests();
    awaitTask(single(engine()));
    EXPECT_EQ(objectOf(requests()[0].body), (QJsonObject{{"a.txt", "2024-03-01T10:00:00+01:00"}}));
}

} // namespace
} // namespace tw
