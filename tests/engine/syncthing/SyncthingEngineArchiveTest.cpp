// Ignores, browsing, item times and the archive against a fake Syncthing,
// including the answers a real one gives only in trouble: an ignore list it
// refuses and restores it could not do.

#include "engine/SyncEngineError.h"
#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "EngineOnFakeServer.h"
#include "FakeServerRoutes.h"
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

QJsonObject objectOf(const QByteArray &body) { return QJsonDocument::fromJson(body).object(); }
QByteArray line(const Request &request) { return request.method + ' ' + request.target; }

qint64 utc(const char *text) { return QDateTime::fromString(QLatin1String(text), Qt::ISODate).toSecsSinceEpoch(); }

TEST(ParseSyncthingModified, ReadsSyncthingsTimesToWholeSeconds)
{
    const std::pair<const char *, std::optional<qint64>> cases[] = {
        {"2024-03-05T10:20:30.123456789+01:00", utc("2024-03-05T09:20:30Z")},
        {"2024-03-05T10:20:30Z", utc("2024-03-05T10:20:30Z")},
        {"2024-03-05T10:20:30.999999999Z", utc("2024-03-05T10:20:30Z")}, // cut, not rounded
        {"2024-03-05T10:20:30.25-05:00", utc("2024-03-05T15:20:30Z")},
        {"2024-03-05T10:20:30+05:30", utc("2024-03-05T04:50:30Z")},
        {"1969-12-31T23:59:59Z", -1},
        {"2024-03-05T10:20:30.5", std::nullopt}, // fraction without a zone
        {"2024-03-05T10:20:30", std::nullopt},   // no zone: not local time
        {"", std::nullopt},
        {"2024-03-05 10:20:30Z", std::nullopt},
        {"2024-03-05T10:20Z", std::nullopt},
        {"2023-02-29T10:20:30Z", std::nullopt},
        {"2024-03-05T24:00:00Z", std::nullopt},
        {"2024-03-05T10:20:30+0100", std::nullopt},
        {"2024-03-05T10:20:30Z ", std::nullopt},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(SyncthingEngine::parseSyncthingModified(QString::fromUtf8(text)), expected) << text;
}

class SyncthingEngineArchiveTest : public ::testing::Test
{
protected:
    void SetUp() override { rig.start(); }

    SyncthingEngine &engine() { return rig.engine(); }
    const QList<Request> &requests() const { return rig.requests(); }
    void answer(Response response)
    {
        rig.server().clearRequests();
        rig.server().setDefaultResponse(std::move(response));
    }

    EngineOnFakeServer rig;
};

// ---- ignores ---------------------------------------------------------------------------

TEST_F(SyncthingEngineArchiveTest, AnIgnoreUpdateRefusedBySyncthingPutsThePreviousLinesBack)
{
    const std::pair<const char *, QJsonValue> cases[] = {
        {"null error: accepted", QJsonValue::Null},
        {"empty error: accepted", QString()},
        {"no error key: accepted", QJsonValue::Undefined},
        {"error text: refused", QStringLiteral("parsing [x: syntax error in pattern")},
    };
    for (const auto &[name, error] : cases) {
        SCOPED_TRACE(name);
        rig.server().clearRequests();
        rig.server().setHandler([error = error](const Request &request) {
            if (request.method == "GET")
                return Response::json(R"({"ignore": ["old 1", "old 2"], "error": null})");
            QJsonObject answer = objectOf(request.body);
            if (!error.isUndefined())
                answer.insert("error", error);
            return Response::json(QJsonDocument(answer).toJson());
        });
        const std::optional<SyncEngineError> failure = failureOf(engine().updateIgnorePatterns("f", {"[x", "*.tmp"}));
        QList<QJsonObject> posted;
        for (const Request &request : requests()) {
            if (request.method == "POST")
                posted.append(objectOf(request.body));
        }
        ASSERT_GE(posted.size(), 1);
        EXPECT_EQ(posted[0], (QJsonObject{{"ignore", QJsonArray{"[x", "*.tmp"}}}));
        if (error.toString().isEmpty()) {
            EXPECT_FALSE(failure);
            EXPECT_EQ(posted.size(), 1);
            continue;
        }
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->errorDescription(), error.toString());
        ASSERT_EQ(posted.size(), 2);
        EXPECT_EQ(posted[1], (QJsonObject{{"ignore", QJsonArray{"old 1", "old 2"}}}));
    }
}

TEST_F(SyncthingEngineArchiveTest, ARefusedUpdateWhoseRollbackFailsSaysTheFolderMayStayStopped)
{
    rig.server().enqueue(Response::json(R"({"ignore": ["old"]})"));
    rig.server().enqueue(Response::json(R"({"ignore": ["[x"], "error": "bad pattern"})"));
    rig.server().enqueue(Response::text(500, "disk full"));
    EXPECT_EQ(failureOf(engine().updateIgnorePatterns("f", {"[x"}))->errorDescription(),
              QStringLiteral("bad pattern (the previous ignore patterns could not be put back: Backend error (HTTP "
                             "500): disk full; the folder may stay stopped until its ignore patterns are fixed)"));
    EXPECT_EQ(requests().size(), 3);
}

TEST_F(SyncthingEngineArchiveTest, IgnoreLinesWithLineBreaksOrNulAreRefusedBeforeSending)
{
    const QString cases[] = {"a\n*", "carriage\rreturn", QString("nul") + QChar(u'\0') + "byte"};
    for (const QString &bad : cases) {
        const std::optional<SyncEngineError> failure = failureOf(engine().updateIgnorePatterns("f", {"ok", bad}));
        ASSERT_TRUE(failure);
        EXPECT_TRUE(failure->payload().startsWith(
            QStringLiteral("An ignore pattern cannot contain a line break or a NUL character: \"")))
            << failure->payload().toStdString();
    }
    EXPECT_TRUE(failureOf(engine().updateIgnorePatterns("f", {"a\n*"}))->payload().endsWith("\"a\\n*\""));
    EXPECT_TRUE(requests().isEmpty());

    // Other unusual characters are the user's business.
    answer(Response::json(R"({"ignore": [], "error": null})"));
    EXPECT_FALSE(failureOf(engine().updateIgnorePatterns("f", {"\ttab", "ünï", "", " "})));
}

// ---- browse and item times -------------------------------------------------------------

TEST_F(SyncthingEngineArchiveTest, BrowseAsksForOneLevelAndKeepsSyncthingsOrder)
{
    answer(Response::json(R"([
        {"name": "zeta", "type": "FILE_INFO_TYPE_DIRECTORY", "modTime": "2024-01-01T00:00:00Z"},
        {"name": "alpha.txt", "type": "FILE_INFO_TYPE_FILE", "size": 3},
        {"name": "link", "type": "FILE_INFO_TYPE_SYMLINK"}
    ])"));
    const QList<BrowseEntry> expected{{"zeta", true}, {"alpha.txt", false}, {"link", false}};
    EXPECT_EQ(awaitTask(engine().browse("f", "photos/2024")), expected);
    ASSERT_EQ(requests().size(), 1);
    EXPECT_EQ(line(requests()[0]), "GET /rest/db/browse?folder=f&levels=0&prefix=photos%2F2024");
}

TEST_F(SyncthingEngineArchiveTest, DirectoryModifiedReadsTheGlobalRecordAndSwallowsEverythingElse)
{
    const std::pair<Response, std::optional<qint64>> cases[] = {
        {Response::json(R"({"global": {"modified": "2024-03-05T10:20:30.5+01:00"},
                            "local": {"modified": "2001-01-01T00:00:00Z"}})"),
         utc("2024-03-05T09:20:30Z")},
        {Response::json(R"({"local": {"modified": "2024-03-05T10:20:30Z"}})"), std::nullopt},
        {Response::json(R"({"global": {"modified": 1709634030}})"), std::nullopt},
        {Response::json(R"({"global": {"modified": "yesterday"}})"), std::nullopt},
        {Response::text(404, "No such object in the index"), std::nullopt},
        {Response::dropConnection(), std::nullopt},
    };
    for (const auto &[response, expected] : cases) {
        answer(response);
        EXPECT_EQ(awaitTask(engine().directoryModified("f", "a dir/sub")), expected) << response.body.constData();
        ASSERT_FALSE(requests().isEmpty());
        EXPECT_EQ(line(requests()[0]), "GET /rest/db/file?folder=f&file=a%20dir%2Fsub");
    }
}

// ---- archive -----------------------------------------------------------------------------------

TEST_F(SyncthingEngineArchiveTest, ArchivedVersionsAreFlattenedNewestFirst)
{
    answer(Response::json(R"({
        "a.txt": [{"versionTime": "2024-01-10T10:00:00+01:00", "size": 10},
                  {"versionTime": "2024-03-01T10:00:00+01:00", "size": 30}],
        "dir/b.txt": [{"versionTime": "2024-02-01T10:00:00+01:00"}],
        "empty.txt": []
    })"));
    const QList<ArchivedVersion> expected{
        {"a.txt", "2024-03-01T10:00:00+01:00", 30},
        {"dir/b.txt", "2024-02-01T10:00:00+01:00", 0},
        {"a.txt", "2024-01-10T10:00:00+01:00", 10},
    };
    EXPECT_EQ(awaitTask(engine().archivedVersions("f")), expected);
    EXPECT_EQ(line(requests().value(0)), "GET /rest/folder/versions?folder=f");
}

TEST_F(SyncthingEngineArchiveTest, RestoreSendsListedPairsAndFailsForWhatSyncthingCouldNotRestore)
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
        QString text;                              // empty: a decoding failure
    } cases[] = {
        {"one, restored", single, Response::json("{}"), {}, {}},
        {"one, refused", single, Response::json(R"({"a.txt": "version not found"})"),
         SyncEngineError::Kind::Backend, "Could not restore a.txt: version not found"},
        {"many, both refused", many,
         Response::json(R"({"dir/b c.txt": "file exists", "a.txt": "version not found", "c": null})"),
         SyncEngineError::Kind::Backend, "Could not restore a.txt: version not found; dir/b c.txt: file exists"},
        {"refused without a text", single, Response::json(R"({"a.txt": ""})"), SyncEngineError::Kind::Backend,
         "Could not restore a.txt"},
        {"unreadable answer is no success", single, Response::json("ok"), SyncEngineError::Kind::Backend, {}},
        {"HTTP error unchanged", single, Response::text(500, "versioner not configured"), SyncEngineError::Kind::Http,
         "versioner not configured"},
    };
    FakeServerRoutes routes(rig.server());
    routes.onJson("GET /rest/folder/versions", R"({"a.txt": [{"versionTime": "2024-03-01T10:00:00+01:00"}],
                                                   "dir/b c.txt": [{"versionTime": "2024-02-01T10:00:00+01:00"}]})");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        rig.server().clearRequests();
        routes.on("POST /rest/folder/versions", c.response);
        const std::optional<SyncEngineError> failure = failureOf(c.call(engine()));
        ASSERT_EQ(requests().size(), 2);
        EXPECT_EQ(line(requests()[0]), "GET /rest/folder/versions?folder=f%201");
        EXPECT_EQ(line(requests()[1]), "POST /rest/folder/versions?folder=f%201");
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

    routes.onJson("POST /rest/folder/versions", "{}");
    rig.server().clearRequests();
    awaitTask(many(engine()));
    EXPECT_EQ(objectOf(requests().value(1).body),
              (QJsonObject{{"a.txt", "2024-03-01T10:00:00+01:00"}, {"dir/b c.txt", "2024-02-01T10:00:00+01:00"}}));

    // The listed version in another zone is the same instant: sent as asked.
    routes.onJson("GET /rest/folder/versions", R"({"a.txt": [{"versionTime": "2024-03-01T09:00:00Z"}]})");
    rig.server().clearRequests();
    awaitTask(single(engine()));
    EXPECT_EQ(objectOf(requests().value(1).body), (QJsonObject{{"a.txt", "2024-03-01T10:00:00+01:00"}}));
}

} // namespace
} // namespace tw
