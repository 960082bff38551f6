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

bool isWrite(const Request &request) { return request.method != "GET"; }

QList<Request> writesOf(const QList<Request> &requests)
{
    QList<Request> writes;
    for (const Request &request : requests) {
        if (isWrite(request))
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
    return Response::json("");
}

class SyncthingEngineFoldersTest : public ::testing::Test
{
protected:
    void SetUp() override { rig.start(); }

    void answerLikeSyncthing(QStringList ignoreLines = {}, std::optional<QString> ignoreError = std::nullopt)
    {
        rig.server().setHandler([ignoreLines, ignoreError](const Request &request) {
            return syncthingLike(request, ignoreLines, ignoreError);
        });
    }

    NewFolderRequest photos() const
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

// ---- stopped engine ---------------------------------------------------------

TEST(SyncthingEngineFoldersStopped, EveryOperationFailsNotRunningAndSendsNothing)
{
    EngineOnFakeServer rig;
    SyncthingEngine &engine = rig.engine();
    const std::pair<const char *, std::function<std::optional<SyncEngineError>()>> cases[] = {
        {"folders", [&] { return failureOf(engine.folders()); }},
        {"addFolder", [&] { return failureOf(engine.addFolder(NewFolderRequest{})); }},
        {"addFolder with a bad ignore line",
         [&] {
             NewFolderRequest request;
             request.ignorePatterns = {QStringLiteral("a\n*")};
             return failureOf(engine.addFolder(request));
         }},
        {"removeFolder", [&] { return failureOf(engine.removeFolder("f")); }},
        {"setFolderMetadata", [&] { return failureOf(engine.setFolderMetadata("f", true)); }},
        {"setVersioning", [&] { return failureOf(engine.setVersioning("f", VersioningPolicy::none())); }},
        {"setFolderPaused", [&] { return failureOf(engine.setFolderPaused("f", true)); }},
        {"setFolderLabel", [&] { return failureOf(engine.setFolderLabel("f", "L")); }},
        {"folderType", [&] { return failureOf(engine.folderType("f")); }},
        {"setFolderType", [&] { return failureOf(engine.setFolderType("f", "sendonly")); }},
        {"rescanFolder", [&] { return failureOf(engine.rescanFolder("f")); }},
        {"scanFolder", [&] { return failureOf(engine.scanFolder("f")); }},
        {"applySyncedXattrFilter", [&] { return failureOf(engine.applySyncedXattrFilter("f")); }},
    };
    for (const auto &[name, call] : cases) {
        SCOPED_TRACE(name);
        const std::optional<SyncEngineError> error = call();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), SyncEngineError::Kind::NotRunning);
    }
    EXPECT_TRUE(rig.requests().isEmpty());
}

// ---- addFolder --------------------------------------------------------------

TEST_F(SyncthingEngineFoldersTest, AddFolderWritesTheFullRecordUnderAFreshID)
{
    answerLikeSyncthing();
    const SyncFolder folder = awaitTask(engine().addFolder(photos()));

    static const QRegularExpression idForm(QStringLiteral("^tdw-[0-9a-f]{8}$"));
    EXPECT_EQ(folder.id.size(), 12);
    EXPECT_TRUE(idForm.match(folder.id).hasMatch()) << folder.id.toStdString();

    ASSERT_EQ(requests().size(), 2);
    EXPECT_EQ(line(requests()[0]), "GET /rest/system/status");
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
    EXPECT_EQ(requests()[1].header("Content-Type"), QByteArray("application/json"));

    SyncFolder returned;
    returned.id = folder.id;
    returned.label = QStringLiteral("Photos");
    returned.path = QStringLiteral("/data/Photos");
    returned.mode = FolderSyncMode::SendOnly;
    returned.sharedDeviceIDs = {kMyID};
    returned.versioning = VersioningPolicy::trashCan(30);
    returned.syncMetadata = true;
    EXPECT_EQ(folder, returned);

    const SyncFolder second = awaitTask(engine().addFolder(photos()));
    EXPECT_NE(second.id, folder.id);
}

TEST_F(SyncthingEngineFoldersTest, AddFolderKeepsAGivenIDAndLabelAsTheyAre)
{
    answerLikeSyncthing();
    NewFolderRequest request = photos();
    request.id = QStringLiteral("Given ID+/x");
    request.label.clear();
    const SyncFolder folder = awaitTask(engine().addFolder(request));
    EXPECT_EQ(folder.id, QStringLiteral("Given ID+/x"));
    EXPECT_EQ(folder.label, QString()); // not replaced by the ID
    const QList<Request> writes = writesOf(requests());
    ASSERT_EQ(writes.size(), 1);
    EXPECT_EQ(writes[0].path(), "/rest/config/folders/Given%20ID%2B/x");
    EXPECT_EQ(objectOf(writes[0].body).value("id"), "Given ID+/x");
    EXPECT_EQ(objectOf(writes[0].body).value("label"), "");
}

TEST_F(SyncthingEngineFoldersTest, AddFolderWithoutMetadataStillWritesTheFilter)
{
    answerLikeSyncthing();
    NewFolderRequest request = photos();
    request.syncMetadata = false;
    request.versioning = VersioningPolicy::none();
    const SyncFolder folder = awaitTask(engine().addFolder(request));
    EXPECT_FALSE(folder.syncMetadata);
    const QJsonObject body = objectOf(writesOf(requests()).value(0).body);
    EXPECT_EQ(body.value("sendXattrs"), false);
    EXPECT_EQ(body.value("syncXattrs"), false);
    EXPECT_EQ(body.value("xattrFilter").toObject(), STXattrFilter::syncedXattrs().toJson());
    EXPECT_EQ(body.value("versioning").toObject(), (QJsonObject{{"type", ""}}));
}

TEST_F(SyncthingEngineFoldersTest, AddFolderSendsIgnoresOnlyWhenThereAreSomeAndAfterThePut)
{
    struct Case
    {
        const char *name;
        QStringList patterns;
        QList<QByteArray> writes; // method and path, in order
    };
    const Case cases[] = {
        {"no patterns: the put alone", {}, {"PUT /rest/config/folders/tdw-1"}},
        {"patterns: put, then ignores",
         {"*.tmp", "!keep.tmp", "(?d).DS_Store"},
         {"PUT /rest/config/folders/tdw-1", "POST /rest/db/ignores?folder=tdw-1"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        answerLikeSyncthing();
        rig.server().clearRequests();
        NewFolderRequest request = photos();
        request.id = QStringLiteral("tdw-1");
        request.ignorePatterns = c.patterns;
        const SyncFolder folder = awaitTask(engine().addFolder(request));
        EXPECT_EQ(folder.ignorePatterns, c.patterns);
        const QList<Request> writes = writesOf(requests());
        QList<QByteArray> lines;
        for (const Request &write : writes)
            lines.append(line(write));
        EXPECT_EQ(lines, c.writes);
        if (writes.size() == 2) {
            EXPECT_EQ(objectOf(writes[1].body), (QJsonObject{{"ignore", QJsonArray::fromStringList(c.patterns)}}));
        }
    }
}

TEST_F(SyncthingEngineFoldersTest, AddFolderRefusesLineBreaksBeforeCreatingAnything)
{
    answerLikeSyncthing();
    for (const QString &bad : {QStringLiteral("a\n*"), QStringLiteral("a\r"), QString(QStringLiteral("nul")) + QChar(u'\0')}) {
        NewFolderRequest request = photos();
        request.ignorePatterns = {QStringLiteral("fine"), bad};
        const std::optional<SyncEngineError> error = failureOf(engine().addFolder(request));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), SyncEngineError::Kind::Backend);
        EXPECT_TRUE(error->payload().contains(QStringLiteral("line break"))) << error->payload().toStdString();
    }
    EXPECT_TRUE(requests().isEmpty());
}

TEST_F(SyncthingEngineFoldersTest, AddFolderWithAnInvalidPatternPutsThePreviousLinesBack)
{
    answerLikeSyncthing({"from the folder's own .stignore"}, QStringLiteral("invalid pattern: [x"));
    NewFolderRequest request = photos();
    request.id = QStringLiteral("tdw-2");
    request.ignorePatterns = {QStringLiteral("[x")};
    const std::optional<SyncEngineError> error = failureOf(engine().addFolder(request));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), SyncEngineError::Kind::Backend);
    EXPECT_EQ(error->payload(), QStringLiteral("invalid pattern: [x"));
    const QList<Request> writes = writesOf(requests());
    ASSERT_EQ(writes.size(), 3);
    EXPECT_EQ(writes[0].method, "PUT");
    EXPECT_EQ(objectOf(writes[1].body), (QJsonObject{{"ignore", QJsonArray{"[x"}}}));
    EXPECT_EQ(objectOf(writes[2].body), (QJsonObject{{"ignore", QJsonArray{"from the folder's own .stignore"}}}));
}

TEST_F(SyncthingEngineFoldersTest, AddFolderFailsWithoutWritingWhenTheDeviceIDCannotBeRead)
{
    rig.server().setDefaultResponse(Response::text(500, "no status"));
    const std::optional<SyncEngineError> error = failureOf(engine().addFolder(photos()));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), SyncEngineError::Kind::Http);
    EXPECT_EQ(error->payload(), QStringLiteral("no status"));
    EXPECT_TRUE(writesOf(requests()).isEmpty());
}

// ---- patches ------------------------------------------------------------------

TEST_F(SyncthingEngineFoldersTest, SettingsGoOutAsPatchesOfTheChangedKeysOnly)
{
    using Call = std::function<QCoro::Task<void>(SyncthingEngine &)>;
    struct Case
    {
        const char *name;
        Call call;
        QJsonObject body;
    };
    const QJsonObject filter = STXattrFilter::syncedXattrsJSON();
    const Case cases[] = {
        {"metadata on", [](SyncthingEngine &e) { return e.setFolderMetadata("f1", true); },
         {{"sendXattrs", true}, {"syncXattrs", true}}},
        {"metadata off", [](SyncthingEngine &e) { return e.setFolderMetadata("f1", false); },
         {{"sendXattrs", false}, {"syncXattrs", false}}},
        {"no versioning has empty params", [](SyncthingEngine &e) { return e.setVersioning("f1", VersioningPolicy::none()); },
         {{"versioning", QJsonObject{{"type", ""}, {"params", QJsonObject{}}}}}},
        {"trash can", [](SyncthingEngine &e) { return e.setVersioning("f1", VersioningPolicy::trashCan(7)); },
         {{"versioning", QJsonObject{{"type", "trashcan"}, {"params", QJsonObject{{"cleanoutDays", "7"}}}}}}},
        {"staggered in seconds", [](SyncthingEngine &e) { return e.setVersioning("f1", VersioningPolicy::staggered(2)); },
         {{"versioning", QJsonObject{{"type", "staggered"}, {"params", QJsonObject{{"maxAge", "172800"}}}}}}},
        {"simple", [](SyncthingEngine &e) { return e.setVersioning("f1", VersioningPolicy::simple(5)); },
         {{"versioning", QJsonObject{{"type", "simple"}, {"params", QJsonObject{{"keep", "5"}}}}}}},
        {"pause", [](SyncthingEngine &e) { return e.setFolderPaused("f1", true); }, {{"paused", true}}},
        {"resume", [](SyncthingEngine &e) { return e.setFolderPaused("f1", false); }, {{"paused", false}}},
        {"label unchanged, blanks kept", [](SyncthingEngine &e) { return e.setFolderLabel("f1", " Ré sumé "); },
         {{"label", " Ré sumé "}}},
        {"empty label", [](SyncthingEngine &e) { return e.setFolderLabel("f1", ""); }, {{"label", ""}}},
        {"type not validated", [](SyncthingEngine &e) { return e.setFolderType("f1", "receiveencrypted"); },
         {{"type", "receiveencrypted"}}},
        {"xattr filter", [](SyncthingEngine &e) { return e.applySyncedXattrFilter("f1"); }, filter},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        rig.server().clearRequests();
        awaitTask(c.call(engine()));
        ASSERT_EQ(requests().size(), 1);
        EXPECT_EQ(line(requests()[0]), "PATCH /rest/config/folders/f1");
        EXPECT_EQ(objectOf(requests()[0].body), c.body);
    }
}

TEST_F(SyncthingEngineFoldersTest, RemoveFolderDeletesIt)
{
    awaitTask(engine().removeFolder("tdw-0a1b2c3d"));
    ASSERT_EQ(requests().size(), 1);
    EXPECT_EQ(line(requests()[0]), "DELETE /rest/config/folders/tdw-0a1b2c3d");
    EXPECT_TRUE(requests()[0].body.isEmpty());
}

TEST_F(SyncthingEngineFoldersTest, ScansAndRescans)
{
    awaitTask(engine().scanFolder("f 1"));
    ASSERT_EQ(requests().size(), 1);
    EXPECT_EQ(line(requests()[0]), "POST /rest/db/scan?folder=f%201");
    EXPECT_FALSE(requests()[0].header("Content-Type"));

    rig.server().clearRequests();
    awaitTask(engine().rescanFolder("f 1"));
    ASSERT_EQ(requests().size(), 2);
    EXPECT_EQ(line(requests()[0]), "PATCH /rest/config/folders/f%201");
    EXPECT_EQ(objectOf(requests()[0].body), (QJsonObject{{"paused", false}}));
    EXPECT_EQ(line(requests()[1]), "POST /rest/db/scan?folder=f%201");
}

TEST_F(SyncthingEngineFoldersTest, RescanDoesNotScanWhenTheResumeFails)
{
    rig.server().enqueue(Response::text(404, "no such folder"));
    const std::optional<SyncEngineError> error = failureOf(engine().rescanFolder("gone"));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), SyncEngineError::Kind::Http);
    EXPECT_EQ(error->statusCode(), 404);
    EXPECT_EQ(error->payload(), QStringLiteral("no such folder"));
    EXPECT_EQ(requests().size(), 1);
}

// ---- reads ----------------------------------------------------------------------

QByteArray folderList()
{
    auto folder = [](const char *id, const char *type) {
        return QJsonObject{{"id", id}, {"label", ""}, {"path", "/p"}, {"type", type},
                           {"paused", false}, {"devices", QJsonArray{}}};
    };
    return QJsonDocument(QJsonArray{folder("a", "sendonly"), folder("A", "receiveonly"),
                                    folder("enc", "receiveencrypted"), folder("a", "receiveonly")})
        .toJson();
}

TEST_F(SyncthingEngineFoldersTest, FolderTypeAnswersTheFirstExactMatchUnchanged)
{
    rig.server().setDefaultResponse(Response::json(folderList()));
    const std::pair<QString, QString> cases[] = {
        {"a", "sendonly"},           // the first of two entries with the ID
        {"A", "receiveonly"},        // case-sensitive
        {"enc", "receiveencrypted"}, // outside the three known types, unchanged
        {"missing", "sendreceive"},
        {"", "sendreceive"},
    };
    for (const auto &[id, type] : cases) {
        SCOPED_TRACE(id.toStdString());
        EXPECT_EQ(awaitTask(engine().folderType(id)), type);
    }
    for (const Request &request : requests())
        EXPECT_EQ(line(request), "GET /rest/config/folders");
}

TEST_F(SyncthingEngineFoldersTest, FoldersMapsEveryRecordInSyncthingsOrder)
{
    rig.server().enqueue(Response::json("[]"));
    EXPECT_TRUE(awaitTask(engine().folders()).isEmpty());

    rig.server().enqueue(Response::json(folderList()));
    const QList<SyncFolder> folders = awaitTask(engine().folders());
    QStringList ids;
    for (const SyncFolder &folder : folders)
        ids.append(folder.id + QLatin1Char('/') + folder.label + QLatin1Char('/') + toRawValue(folder.mode));
    EXPECT_EQ(ids, (QStringList{"a/a/sendonly", "A/A/receiveonly", "enc/enc/sendreceive", "a/a/receiveonly"}));
}

TEST_F(SyncthingEngineFoldersTest, AnUnreadableListFailsAsADecodingError)
{
    rig.server().enqueue(Response::json(R"([{"id": "x"}])"));
    const std::optional<SyncEngineError> error = failureOf(engine().folders());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), SyncEngineError::Kind::Backend);
    EXPECT_TRUE(error->payload().startsWith(QStringLiteral("Failed to decode Array<STFolderRead>: ")));
}

} // namespace
} // namespace tw
