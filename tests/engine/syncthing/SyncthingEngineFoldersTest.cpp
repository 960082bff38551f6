// The folder configuration operations against a fake Syncthing: exact request
// shapes, their order, and what is sent when nothing may be.

#include "engine/SyncEngineError.h"
#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "EngineOnFakeServer.h"
#include "QtPrinters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <functional>

namespace tw {
namespace {

using Request = FakeHttpServer::Request;
using Response = FakeHttpServer::Response;

const QString kMyID = QStringLiteral("MYID777-AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG");

QJsonObject objectOf(const QByteArray &body) { return QJsonDocument::fromJson(body).object(); }
QByteArray line(const Request &request) { return request.method + ' ' + request.target; }

QList<Request> writesOf(const QList<Request> &requests)
{
    QList<Request> writes;
    for (const Request &request : requests) {
        if (request.method != "GET")
            writes.append(request);
    }
    return writes;
}

// Answers like Syncthing: this device's ID, the given ignore lines, and an
// ignore update echoed back with the given error (null when absent).
Response syncthingLike(const Request &request, const QStringList &ignoreLines, const std::optional<QString> &ignoreError)
{
    if (request.path() == "/rest/system/status")
        return Response::json(QJsonDocument(QJsonObject{{"myID", kMyID}}).toJson());
    if (request.path() == "/rest/db/ignores") {
        const QJsonValue error = ignoreError ? QJsonValue(*ignoreError) : QJsonValue(QJsonValue::Null);
        const QJsonValue lines = request.method == "POST" ? objectOf(request.body).value("ignore")
                                                          : QJsonValue(QJsonArray::fromStringList(ignoreLines));
        return Response::json(QJsonDocument(QJsonObject{{"ignore", lines}, {"error", error}}).toJson());
    }
    if (request.path() == "/rest/config/folders")
        return Response::json(R"([{"id":"a","label":"","path":"/p","type":"sendonly","paused":false,"devices":[]},
                                  {"id":"A","label":"","path":"/p","type":"receiveonly","paused":false,"devices":[]},
                                  {"id":"a","label":"","path":"/p","type":"receiveonly","paused":false,"devices":[]}])");
    return Response::json("");
}

class SyncthingEngineFoldersTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        rig.start();
        answerLikeSyncthing();
    }

    void answerLikeSyncthing(QStringList ignoreLines = {}, std::optional<QString> ignoreError = std::nullopt)
    {
        rig.server().setHandler([ignoreLines, ignoreError](const Request &request) {
            return syncthingLike(request, ignoreLines, ignoreError);
        });
    }

    static NewFolderRequest photos()
    {
        NewFolderRequest request;
        request.label = QStringLiteral("Photos");
        request.path = QStringLiteral("/data/Photos");
        request.mode = FolderSyncMode::SendOnly;
        request.versioning = VersioningPolicy::trashCan(30);
        request.syncMetadata = true;
        return request;
    }

    SyncthingEngine &engine() { return rig.engine(); }
    const QList<Request> &requests() const { return rig.requests(); }

    EngineOnFakeServer rig;
};

// ---- addFolder --------------------------------------------------------------

TEST_F(SyncthingEngineFoldersTest, AddFolderWritesTheFullRecordUnderAFreshID)
{
    const SyncFolder folder = awaitTask(engine().addFolder(photos()));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^tdw-[0-9a-f]{8}$")).match(folder.id).hasMatch())
        << folder.id.toStdString();
    ASSERT_EQ(requests().size(), 2);
    EXPECT_EQ(line(requests()[1]), "PUT /rest/config/folders/" + folder.id.toUtf8());
    const QJsonObject expected{
        {"id", folder.id},
        {"label", "Photos"},
        {"path", "/data/Photos"},
        {"type", "sendonly"},
        {"devices", QJsonArray{QJsonObject{{"deviceID", kMyID}}}},
        {"paused", false},
        {"fsWatcherEnabled", true},
        {"rescanIntervalS", 900},
        {"versioning", QJsonObject{{"type", "trashcan"}, {"params", QJsonObject{{"cleanoutDays", "30"}}}}},
        {"sendXattrs", true},
        {"syncXattrs", true},
        {"copyRangeMethod", "all"},
        {"xattrFilter", STXattrFilter::syncedXattrs().toJson()},
    };
    EXPECT_EQ(objectOf(requests()[1].body), expected);
    EXPECT_EQ(folder.sharedDeviceIDs, QStringList{kMyID});

    EXPECT_NE(awaitTask(engine().addFolder(photos())).id, folder.id);
}

TEST_F(SyncthingEngineFoldersTest, AddFolderKeepsAGivenIDAndLabelAndAlwaysWritesTheFilter)
{
    NewFolderRequest request = photos();
    request.id = QStringLiteral("Given ID+/x");
    request.label.clear();
    request.syncMetadata = false;
    const SyncFolder folder = awaitTask(engine().addFolder(request));
    EXPECT_EQ(folder.id, QStringLiteral("Given ID+/x"));
    EXPECT_EQ(folder.label, QString()); // not replaced by the ID
    const QList<Request> writes = writesOf(requests());
    ASSERT_EQ(writes.size(), 1);
    EXPECT_EQ(writes[0].path(), "/rest/config/folders/Given%20ID%2B/x");
    const QJsonObject body = objectOf(writes[0].body);
    EXPECT_EQ(body.value("id"), "Given ID+/x");
    EXPECT_EQ(body.value("label"), "");
    EXPECT_EQ(body.value("syncXattrs"), false);
    EXPECT_EQ(body.value("xattrFilter").toObject(), STXattrFilter::syncedXattrs().toJson());
}

TEST_F(SyncthingEngineFoldersTest, AddFolderSendsIgnoresAfterThePutAndOnlyWhenThereAreSome)
{
    for (const QStringList &patterns : {QStringList{}, QStringList{"*.tmp", "!keep.tmp"}}) {
        rig.server().clearRequests();
        NewFolderRequest request = photos();
        request.id = QStringLiteral("tdw-1");
        request.ignorePatterns = patterns;
        EXPECT_EQ(awaitTask(engine().addFolder(request)).ignorePatterns, patterns);
        const QList<Request> writes = writesOf(requests());
        ASSERT_EQ(writes.size(), patterns.isEmpty() ? 1 : 2);
        EXPECT_EQ(line(writes[0]), "PUT /rest/config/folders/tdw-1");
        if (!patterns.isEmpty()) {
            EXPECT_EQ(line(writes[1]), "POST /rest/db/ignores?folder=tdw-1");
            EXPECT_EQ(objectOf(writes[1].body), (QJsonObject{{"ignore", QJsonArray::fromStringList(patterns)}}));
        }
    }
}

TEST_F(SyncthingEngineFoldersTest, AddFolderRefusesALineBreakBeforeCreatingAnything)
{
    NewFolderRequest request = photos();
    request.ignorePatterns = {QStringLiteral("fine"), QStringLiteral("a\n*")};
    const std::optional<SyncEngineError> error = failureOf(engine().addFolder(request));
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->payload().contains(QStringLiteral("line break"))) << error->payload().toStdString();
    EXPECT_TRUE(requests().isEmpty());
}

TEST_F(SyncthingEngineFoldersTest, AddFolderWithAnInvalidPatternPutsThePreviousLinesBack)
{
    answerLikeSyncthing({"from the folder's own .stignore"}, QStringLiteral("invalid pattern: [x"));
    NewFolderRequest request = photos();
    request.ignorePatterns = {QStringLiteral("[x")};
    const std::optional<SyncEngineError> error = failureOf(engine().addFolder(request));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorDescription(), QStringLiteral("invalid pattern: [x"));
    const QList<Request> writes = writesOf(requests());
    ASSERT_EQ(writes.size(), 3);
    EXPECT_EQ(writes[0].method, "PUT");
    EXPECT_EQ(objectOf(writes[1].body), (QJsonObject{{"ignore", QJsonArray{"[x"}}}));
    EXPECT_EQ(objectOf(writes[2].body), (QJsonObject{{"ignore", QJsonArray{"from the folder's own .stignore"}}}));
}

TEST_F(SyncthingEngineFoldersTest, AddFolderWritesNothingWhenTheDeviceIDCannotBeRead)
{
    rig.server().setHandler({});
    rig.server().setDefaultResponse(Response::text(500, "no status"));
    EXPECT_EQ(failureOf(engine().addFolder(photos()))->statusCode(), 500);
    EXPECT_TRUE(writesOf(requests()).isEmpty());
}

// ---- one setting at a time ------------------------------------------------------

TEST_F(SyncthingEngineFoldersTest, EachOperationSendsOneRequestWithOnlyItsKeys)
{
    struct Case
    {
        const char *name;
        std::function<QCoro::Task<void>(SyncthingEngine &)> call;
        QByteArray line;
        QJsonObject body;
    } cases[] = {
        {"metadata", [](SyncthingEngine &e) { return e.setFolderMetadata("f1", false); },
         "PATCH /rest/config/folders/f1", {{"sendXattrs", false}, {"syncXattrs", false}}},
        {"no versioning has empty params", [](SyncthingEngine &e) { return e.setVersioning("f1", VersioningPolicy::none()); },
         "PATCH /rest/config/folders/f1", {{"versioning", QJsonObject{{"type", ""}, {"params", QJsonObject{}}}}}},
        {"staggered in seconds", [](SyncthingEngine &e) { return e.setVersioning("f1", VersioningPolicy::staggered(2)); },
         "PATCH /rest/config/folders/f1",
         {{"versioning", QJsonObject{{"type", "staggered"}, {"params", QJsonObject{{"maxAge", "172800"}}}}}}},
        {"pause", [](SyncthingEngine &e) { return e.setFolderPaused("f1", true); },
         "PATCH /rest/config/folders/f1", {{"paused", true}}},
        {"label unchanged, blanks kept", [](SyncthingEngine &e) { return e.setFolderLabel("f1", " Ré sumé "); },
         "PATCH /rest/config/folders/f1", {{"label", " Ré sumé "}}},
        {"type not validated", [](SyncthingEngine &e) { return e.setFolderType("f1", "receiveencrypted"); },
         "PATCH /rest/config/folders/f1", {{"type", "receiveencrypted"}}},
        {"xattr filter", [](SyncthingEngine &e) { return e.applySyncedXattrFilter("f1"); },
         "PATCH /rest/config/folders/f1", STXattrFilter::syncedXattrsJSON()},
        {"remove", [](SyncthingEngine &e) { return e.removeFolder("f1"); }, "DELETE /rest/config/folders/f1", {}},
        {"scan", [](SyncthingEngine &e) { return e.scanFolder("f 1"); }, "POST /rest/db/scan?folder=f%201", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        rig.server().clearRequests();
        awaitTask(c.call(engine()));
        ASSERT_EQ(requests().size(), 1);
        EXPECT_EQ(line(requests()[0]), c.line);
        EXPECT_EQ(objectOf(requests()[0].body), c.body);
    }
}

TEST_F(SyncthingEngineFoldersTest, RescanResumesThenScansButNotAfterAFailedResume)
{
    awaitTask(engine().rescanFolder("f 1"));
    ASSERT_EQ(requests().size(), 2);
    EXPECT_EQ(line(requests()[0]), "PATCH /rest/config/folders/f%201");
    EXPECT_EQ(objectOf(requests()[0].body), (QJsonObject{{"paused", false}}));
    EXPECT_EQ(line(requests()[1]), "POST /rest/db/scan?folder=f%201");

    rig.server().clearRequests();
    rig.server().enqueue(Response::text(404, "no such folder"));
    EXPECT_EQ(failureOf(engine().rescanFolder("gone"))->statusCode(), 404);
    EXPECT_EQ(requests().size(), 1);
}

TEST_F(SyncthingEngineFoldersTest, FolderTypeAnswersTheFirstExactMatchUnchanged)
{
    const std::pair<QString, QString> cases[] = {
        {"a", "sendonly"},    // the first of two entries with the ID
        {"A", "receiveonly"}, // case-sensitive
        {"missing", "sendreceive"},
    };
    for (const auto &[id, type] : cases)
        EXPECT_EQ(awaitTask(engine().folderType(id)), type) << id.toStdString();
}

} // namespace
} // namespace tw
