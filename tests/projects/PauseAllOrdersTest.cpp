// "Pause all" against the writes that race it, on a fake Syncthing that
// keeps each folder's pause and holds the answers the test picks: a folder
// being made, a rescan, a pause or resume that fails part-way, a choice
// that cannot be stored. Whatever runs at the same time, Syncthing ends
// running what the window says.

#include "controllers/EngineController.h"
#include "controllers/FolderController.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "projects/SyncRescan.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "FakeHttpServer.h"
#include "QtPrinters.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tw {
namespace {

using Request = FakeHttpServer::Request;
using Response = FakeHttpServer::Response;

const QString kMe = QStringLiteral("MYID777-AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG");
const QString kTeam = QStringLiteral("tdw-cluster-0123456789abcdef");

// Folder IDs in Syncthing's order, each with its pause; a PATCH of a folder
// in `refusing` answers 500.
struct FakeSyncthing
{
    QList<QPair<QString, bool>> folders;
    QSet<QString> refusing = {};

    bool *pausedOf(const QString &id)
    {
        for (auto &[folderID, paused] : folders)
            if (folderID == id)
                return &paused;
        return nullptr;
    }
    QStringList running() const
    {
        QStringList ids;
        for (const auto &[id, paused] : folders)
            if (!paused)
                ids.append(id);
        return ids;
    }
    Response answer(const Request &request)
    {
        const QByteArray route = request.method + ' ' + request.path();
        const QString id = QString::fromUtf8(request.path().split('/').last());
        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        if (route == "GET /rest/system/status")
            return Response::json(QJsonDocument(QJsonObject{{"myID", kMe}}).toJson());
        if (route == "GET /rest/config/folders") {
            QJsonArray listed;
            for (const auto &[folderID, paused] : folders)
                listed.append(QJsonObject{{"id", folderID}, {"label", folderID}, {"path", "/data/" + folderID}, {"type", "sendreceive"},
                                          {"paused", paused}, {"devices", QJsonArray{QJsonObject{{"deviceID", kMe}}}}});
            return Response::json(QJsonDocument(listed).toJson());
        }
        if (request.method == "PUT" && request.path().startsWith("/rest/config/folders/")) {
            folders.append({id, body.value("paused").toBool()});
            return Response::json("");
        }
        if (request.method == "PATCH" && pausedOf(id)) {
            if (refusing.contains(id))
                return Response::text(500, "cannot change " + id.toUtf8());
            if (body.contains("paused"))
                *pausedOf(id) = body.value("paused").toBool();
            return Response::json("");
        }
        if (route == "POST /rest/db/scan")
            return Response::json("");
        return Response::text(404, "no route");
    }
};

bool isScan(const Request &request) { return request.path() == "/rest/db/scan"; }
bool isPut(const Request &request) { return request.method == "PUT"; }

TEST(PauseAllOrdersTest, SyncthingRunsWhatTheWindowSaysWhateverRacesOrFails)
{
    QTemporaryDir dir;
    FakeHttpServer server;
    ASSERT_TRUE(dir.isValid() && server.listen());
    FakeSyncthing syncthing{.folders = {{kTeam, false}, {"one", false}}};
    server.setHandler([&syncthing](const Request &request) { return syncthing.answer(request); });
    SyncthingProcess::Options options;
    options.loopbackOnly = true;
    SyncthingEngine engine(std::make_shared<SyncthingProcess>(AppPaths(dir.path()), QStringList{}, options),
                           [](std::chrono::milliseconds) -> QCoro::Task<void> { co_return; });
    engine.attachEndpoint(server.baseURL(), QStringLiteral("fake-api-key"));
    QDir().mkpath(dir.filePath("conf"));
    UserDefaults defaults(dir.filePath("conf/defaults.json"));
    EngineController window(engine, defaults);
    FolderController folders(engine);
    QList<QList<bool>> settled;  // each end of a change of everything: the choice in force, failed
    QObject::connect(&window, &EngineController::allPausedApplied,
                     [&settled](bool paused, bool failed) { settled.append({paused, failed}); });
    awaitTask(engine.localDeviceID());

    // A folder being made when "Pause all" is pressed: its request was
    // asked for before, and lands after the folders were listed, or, sent
    // first, holds the pause back until it has landed.
    server.hold(isPut);
    NewFolderRequest request;
    request.id = "tdw-new";
    request.path = dir.filePath("new");
    const qsizetype before = server.requests().size();
    QCoro::Task<SyncFolder> making = engine.addFolder(request);
    QCoro::Task<void> pausing = window.toggleAllPaused();
    ASSERT_TRUE(waitUntil([&server, before] {
        const QList<Request> requests = server.requests().mid(before);
        return std::any_of(requests.cbegin(), requests.cend(), [](const Request &asked) {
            return isPut(asked) || asked.path() == "/rest/config/folders";
        });
    }));
    server.release();
    awaitTask(std::move(pausing));
    awaitTask(std::move(making));
    EXPECT_TRUE(window.isAllPaused());
    EXPECT_EQ(syncthing.running(), QStringList());

    // "Retry / rescan" started before "Pause all": the folders it had not
    // reached stay paused.
    awaitTask(window.toggleAllPaused());
    ASSERT_EQ(syncthing.running(), QStringList({kTeam, "one", "tdw-new"}));
    Project sync{.id = "S"};
    for (const QString id : {"one", "tdw-new"})
        sync.folders.append(ProjectFolder{.id = id, .localPath = "/data/" + id, .syncthingFolderID = id});
    server.hold(isScan);
    QCoro::Task<void> rescanning = rescanSyncFolders(&folders, &engine, sync);
    ASSERT_TRUE(waitUntil([&server] { return !server.requests().isEmpty() && isScan(server.requests().last()); }));
    awaitTask(window.toggleAllPaused());
    server.release();
    awaitTask(std::move(rescanning));
    EXPECT_TRUE(window.isAllPaused());
    EXPECT_EQ(syncthing.running(), QStringList());

    // A "Resume" refused part-way: the window still says paused, and so
    // does every folder it had resumed, the team folder first; a pass
    // follows.
    syncthing.refusing = {"tdw-new"};
    settled.clear();
    awaitTask(window.toggleAllPaused());
    EXPECT_TRUE(window.isAllPaused());
    EXPECT_EQ(syncthing.running(), QStringList());
    EXPECT_EQ(settled, QList<QList<bool>>({{true, true}}));
    const QString refused = "Backend error (HTTP 500): cannot change tdw-new";
    EXPECT_EQ(window.lastErrorMessage(), refused);
    EXPECT_EQ(window.pauseAllProblem(), refused);

    // A "Pause all" refused part-way leaves the team folder, like the
    // others, running as the window says.
    syncthing.refusing.clear();
    awaitTask(window.toggleAllPaused());
    EXPECT_EQ(window.pauseAllProblem(), std::nullopt);
    syncthing.refusing = {"tdw-new"};
    settled.clear();
    awaitTask(window.toggleAllPaused());
    EXPECT_FALSE(window.isAllPaused());
    EXPECT_EQ(syncthing.running(), QStringList({kTeam, "one", "tdw-new"}));
    EXPECT_EQ(settled, QList<QList<bool>>({{false, true}}));

    // A choice that cannot be stored holds for now and says so.
    syncthing.refusing.clear();
    ASSERT_TRUE(QDir(dir.filePath("conf")).removeRecursively());
    QFile blocker(dir.filePath("conf"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    awaitTask(window.toggleAllPaused());
    EXPECT_TRUE(window.isAllPaused());
    EXPECT_EQ(syncthing.running(), QStringList());
    const QString unstored = QStringLiteral("Couldn't store \u201CPause all\u201D \u2014 your folders may run again "
                                            "when TidewellMesh next starts.");
    EXPECT_EQ(window.lastErrorMessage(), unstored);
    EXPECT_EQ(window.pauseAllProblem(), unstored);
}

} // namespace
} // namespace tw
