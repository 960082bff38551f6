// The Syncthing engine against a fake Syncthing, for what a real one won't do
// on demand: a write that fails half-way, restores it refuses, shares that
// overlap, the report's exact layout, and a long poll ended in flight.

#include "engine/SyncEngineError.h"
#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "FakeHttpServer.h"
#include "QtPrinters.h"
#include "WaitUntil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <QUrlQuery>
#include <gtest/gtest.h>

namespace tw {
namespace {

using Request = FakeHttpServer::Request;
using Response = FakeHttpServer::Response;

const QString kMe = QStringLiteral("MYID777-AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG");
const QString kLaptop = QStringLiteral("BBBBBBB-2222222-BBBBBBB-2222222-BBBBBBB-2222222-BBBBBBB-2222222");
const QString kNameless = QStringLiteral("CCCCCCC-3333333-CCCCCCC-3333333-CCCCCCC-3333333-CCCCCCC-3333333");
const QString kStranger = QStringLiteral("ZZZZZZZ-9999999-ZZZZZZZ-9999999-ZZZZZZZ-9999999-ZZZZZZZ-9999999");

QByteArray json(const QJsonValue &value)
{
    return value.isArray() ? QJsonDocument(value.toArray()).toJson() : QJsonDocument(value.toObject()).toJson();
}

QJsonObject objectOf(const QByteArray &body) { return QJsonDocument::fromJson(body).object(); }

QJsonObject device(const QString &id, const QString &name, bool paused = false)
{
    return QJsonObject{{"deviceID", id}, {"name", name}, {"paused", paused}};
}

QJsonObject ref(const QString &id, const QString &introducedBy = {}, const QString &password = {})
{
    return QJsonObject{{"deviceID", id}, {"introducedBy", introducedBy}, {"encryptionPassword", password}};
}

QJsonObject folder(const QString &id, const QString &label, const QJsonArray &devices,
                   const QString &type = "sendreceive", bool paused = false)
{
    return QJsonObject{{"id", id},     {"label", label},   {"path", "/data/" + label},
                       {"type", type}, {"paused", paused}, {"devices", devices}};
}

class SyncthingEngineFakeServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid() && server.listen());
        server.setHandler([this](const Request &request) {
            const auto it = routes.constFind(request.method + ' ' + request.path());
            return it == routes.constEnd() ? Response::text(404, "no route") : (*it)(request);
        });
        // A supervisor never asked to launch anything: the engine is attached
        // to the fake server, so every request it records is one the test caused.
        SyncthingProcess::Options options;
        options.loopbackOnly = true;
        auto process = std::make_shared<SyncthingProcess>(AppPaths(dir.path()), QStringList{}, options);
        engine = std::make_unique<SyncthingEngine>(
            std::move(process), [](std::chrono::milliseconds) -> QCoro::Task<void> { co_return; });
        engine->attachEndpoint(server.baseURL(), QStringLiteral("fake-api-key"));
        on("GET /rest/system/status", Response::json(json(QJsonObject{{"myID", kMe}})));
    }

    // By method and path ("GET /rest/x"), query ignored; others get 404.
    void on(const QByteArray &route, FakeHttpServer::Handler answer) { routes.insert(route, std::move(answer)); }
    void on(const QByteArray &route, const Response &response)
    {
        on(route, [response](const Request &) { return response; });
    }

    QTemporaryDir dir;
    FakeHttpServer server;
    std::unique_ptr<SyncthingEngine> engine;
    QMap<QByteArray, FakeHttpServer::Handler> routes;
};

TEST_F(SyncthingEngineFakeServerTest, ARefusedIgnoreUpdateWhoseRollbackFailsSaysTheFolderMayStayStopped)
{
    server.enqueue(Response::json(R"({"ignore": ["old"]})"));
    // A line the check lets through, refused all the same.
    server.enqueue(Response::json(R"({"ignore": ["x"], "error": "bad pattern"})"));
    server.enqueue(Response::text(500, "disk full"));
    const std::optional<SyncEngineError> failure = failureOf(engine->updateIgnorePatterns("f", {"x"}));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind(), SyncEngineError::Kind::Refused);
    EXPECT_EQ(failure->errorDescription(),
              QStringLiteral("bad pattern (the previous ignore patterns could not be put back: Backend error (HTTP "
                             "500): disk full; the folder may stay stopped until its ignore patterns are fixed)"));
    ASSERT_EQ(server.requests().size(), 3);
    EXPECT_EQ(objectOf(server.requests()[2].body), (QJsonObject{{"ignore", QJsonArray{"old"}}}));
}

// A line break of either kind would split one line into two patterns; a
// line Syncthing cannot use would stop the folder.
TEST_F(SyncthingEngineFakeServerTest, AnIgnoreLineSyncthingWouldRefuseIsRefusedBeforeAnyRequest)
{
    for (const QString line : {"a\nb", "a\rb", "[abc"})
        EXPECT_EQ(failureOf(engine->updateIgnorePatterns("f", {"ok", line})).value().kind(), SyncEngineError::Kind::Refused)
            << line.toStdString();
    EXPECT_TRUE(server.requests().isEmpty());
}

// The listing is decoded on a pool thread; what its decoding throws must
// still reach the caller as the engine's own error.
TEST_F(SyncthingEngineFakeServerTest, AnArchiveListingThatDoesNotDecodeFailsAsADecodeError)
{
    on("GET /rest/folder/versions", Response::json(R"({"a": [{"versionTime": 1}]})"));
    const std::optional<SyncEngineError> failure = failureOf(engine->archivedVersions("f"));
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->errorDescription().contains("Failed to decode Dictionary<String, Array<STVersion>>"))
        << failure->errorDescription().toStdString();
    on("GET /rest/folder/versions", Response::json(R"({"a": [{"versionTime": "2024-03-01T09:00:00Z", "size": 3}],
                                                       "b": [{"versionTime": "2024-03-02T09:00:00Z"}]})"));
    const QList<ArchivedVersion> listed = awaitTask(engine->archivedVersions("f"));
    EXPECT_EQ(listed, (QList<ArchivedVersion>{{"b", "2024-03-02T09:00:00Z", 0}, {"a", "2024-03-01T09:00:00Z", 3}}));
}

// A restored version leaves the archive. The second restore of it, started
// while the first is under way, reads the archive only after the first ended.
TEST_F(SyncthingEngineFakeServerTest, TwoRestoresOfOneVersionTakeTurnsAndTheSecondFindsItGone)
{
    QByteArray archive = R"({"a": [{"versionTime": "2024-03-01T09:00:00Z"}]})";
    // A slow listing: without taking turns, both would read it before either restore.
    on("GET /rest/folder/versions", [&archive](const Request &) {
        Response response = Response::json(archive);
        response.delayMs = 50;
        return response;
    });
    on("POST /rest/folder/versions", [&archive](const Request &) {
        archive = "{}";
        return Response::json("{}");
    });
    auto both = [](SyncthingEngine *engine) -> QCoro::Task<std::optional<SyncEngineError>> {
        auto first = engine->restoreArchived("f", "a", "2024-03-01T09:00:00Z");
        auto second = engine->restoreArchived("f", "a", "2024-03-01T09:00:00Z");
        co_await std::move(first);
        try {
            co_await std::move(second);
        } catch (const SyncEngineError &error) {
            co_return error;
        }
        co_return std::nullopt;
    };
    const std::optional<SyncEngineError> second = awaitTask(both(engine.get()));
    EXPECT_EQ(second ? second->errorDescription() : "restored twice",
              QString("Could not restore a: version not found"));
    QStringList sent;
    for (const Request &request : server.requests())
        sent.append(request.method + ' ' + request.path());
    EXPECT_EQ(sent, QStringList({"GET /rest/folder/versions", "POST /rest/folder/versions",
                                 "GET /rest/folder/versions"}));
}

// Syncthing moves the live file aside before it looks for the version, so
// only versions it lists are sent; what it could not restore is a failure.
TEST_F(SyncthingEngineFakeServerTest, RestoreSendsOnlyListedVersions)
{
    const QString time = QStringLiteral("2024-03-01T10:00:00+01:00");
    on("GET /rest/folder/versions", Response::json(R"({"a": [{"versionTime": "2024-03-01T09:00:00Z"}],
                                                       "b c": [{"versionTime": "2024-03-01T10:00:00+01:00"}]})"));
    on("POST /rest/folder/versions", Response::json("{}"));
    const QMap<QString, QString> batch{{"a", "2024-03-01T09:00:01Z"}, {"b c", time}};
    EXPECT_EQ(failureOf(engine->restoreArchivedBatch("f", batch))->errorDescription(),
              "Could not restore a: version not found");
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(objectOf(server.requests()[1].body), (QJsonObject{{"b c", time}}));
}

// The first call reads this device's ID, the later ones take it from the cache.
TEST_F(SyncthingEngineFakeServerTest, ThisDeviceIsStillMarkedWhenItsIDComesFromTheCache)
{
    on("GET /rest/config/devices", Response::json(json(QJsonArray{device(kMe, "Studio")})));
    for (int call = 1; call <= 3; ++call)
        EXPECT_EQ(awaitTask(engine->devices()), (QList<SyncDevice>{{kMe, "Studio", false, true, 0, 0}})) << call;
}

// Syncthing lays a patched list element by element over its own: a key left
// out would keep the value of whichever device sat at that index before.
TEST_F(SyncthingEngineFakeServerTest, ConcurrentSharesBothLandAndWriteEveryEntryWhole)
{
    QJsonArray devices{QJsonObject{{"deviceID", kMe}}, ref(kStranger, kMe, "secret")};
    // Slow reads: without serialising, both would read the list before either write.
    on("GET /rest/config/folders", [&devices](const Request &) {
        Response response = Response::json(json(QJsonArray{folder("tdw-0000abcd", "", devices)}));
        response.delayMs = 50;
        return response;
    });
    on("PATCH /rest/config/folders/tdw-0000abcd", [&devices](const Request &request) {
        EXPECT_EQ(objectOf(request.body).keys(), QStringList{"devices"});
        devices = objectOf(request.body).value("devices").toArray();
        return Response::json("");
    });
    auto both = [](SyncthingEngine *engine) -> QCoro::Task<void> {
        auto first = engine->shareFolder("tdw-0000abcd", kLaptop);
        auto second = engine->shareFolder("tdw-0000abcd", kNameless);
        co_await std::move(first);
        co_await std::move(second);
    };
    awaitTask(both(engine.get()));
    EXPECT_EQ(devices, (QJsonArray{ref(kMe), ref(kStranger, kMe, "secret"), ref(kLaptop), ref(kNameless)}));
}

TEST_F(SyncthingEngineFakeServerTest, SetAllPausedStopsAtTheFirstFailure)
{
    on("GET /rest/config/folders", Response::json(json(QJsonArray{folder("one", "", {}), folder("two", "", {}),
                                                                  folder("three", "", {})})));
    on("PATCH /rest/config/folders/one", Response::json(""));
    on("PATCH /rest/config/folders/two", Response::text(500, "cannot pause"));
    EXPECT_EQ(failureOf(engine->setAllPaused(true)).value().errorDescription(),
              "Backend error (HTTP 500): cannot pause");
    EXPECT_EQ(server.requests().last().path(), "/rest/config/folders/two");
}

// A reconcile's write decided before "Pause all" (here its listing answers
// late) must not resume a folder after the pause of everything.
TEST_F(SyncthingEngineFakeServerTest, PausingEverythingWaitsForAFolderWriteAskedBeforeIt)
{
    int listings = 0;
    on("GET /rest/config/folders", [&listings](const Request &) {
        Response listing = Response::json(json(QJsonArray{folder("one", "", {ref(kMe)})}));
        listing.delayMs = ++listings == 1 ? 300 : 0;
        return listing;
    });
    on("PATCH /rest/config/folders/one", Response::json(""));
    FolderChange resume;
    resume.paused = false;
    resume.sharedDeviceIDs = QStringList{kMe, kLaptop};
    auto both = [](SyncthingEngine *engine, SyncFolder listed, FolderChange change) -> QCoro::Task<void> {
        auto write = engine->changeFolder(listed, change);
        auto pauseAll = engine->setAllPaused(true);
        co_await std::move(write);
        co_await std::move(pauseAll);
    };
    awaitTask(both(engine.get(), SyncFolder{.id = "one", .sharedDeviceIDs = {kMe}}, resume));
    QList<bool> paused;
    for (const Request &request : server.requests())
        if (request.method == "PATCH")
            paused.append(objectOf(request.body).value("paused").toBool());
    EXPECT_EQ(paused, QList<bool>({false, true}));
}

TEST_F(SyncthingEngineFakeServerTest, CancelEndsTheEventsLongPollInFlight)
{
    Response held = Response::json("[]");
    held.delayMs = 60'000;
    server.enqueue(held);
    server.enqueue(held);
    auto poll = engine->events(41);
    auto disk = engine->diskEvents(7, 10);
    ASSERT_TRUE(waitUntil([this] { return server.requests().size() == 2; }));
    // Syncthing's own subscriptions, which hold every event since it started
    // (one for a list of types would begin at the first poll).
    EXPECT_EQ(server.requests()[0].target, "/rest/events?since=41&timeout=10");
    EXPECT_EQ(server.requests()[1].target, "/rest/events/disk?since=7&timeout=10");
    engine->cancelEvents();
    EXPECT_THROW(awaitTask(std::move(poll)), SyncEngineError); // the answer would come after a minute
    EXPECT_THROW(awaitTask(std::move(disk)), SyncEngineError);
}

// A detached poll may be answered after its engine is gone (a summary's
// failed items still being read): it ends without touching the engine.
TEST_F(SyncthingEngineFakeServerTest, APollAnsweredAfterItsEngineIsGoneEndsWithoutIt)
{
    on("GET /rest/events",
       Response::json(R"([{"id":1,"type":"FolderSummary","data":{"folder":"f","summary":{"state":"idle","errors":2}}}])"));
    server.hold([](const Request &request) { return request.path() == "/rest/folder/errors"; });
    auto poll = engine->events(0);
    ASSERT_TRUE(waitUntil([this] { return server.requests().size() == 2; }));
    engine.reset();
    server.release();
    EXPECT_THROW(awaitTask(std::move(poll)), SyncEngineError);
}

// The polling cycle's throughput sample and device rates share one read; a
// connection event makes the next ask read afresh.
TEST_F(SyncthingEngineFakeServerTest, OneConnectionsAnswerServesACycleUntilADeviceEvent)
{
    const QJsonObject answer{{"total", QJsonObject{{"inBytesTotal", 5}, {"outBytesTotal", 7}}},
                             {"connections", QJsonObject{}}};
    on("GET /rest/system/connections", Response::json(json(answer)));
    on("GET /rest/events", Response::json(R"([{"id":1,"type":"DeviceDisconnected","data":{"id":"L"}}])"));
    engine->setConnectionsReuse(std::chrono::hours(1));
    const auto reads = [this] {
        return std::ranges::count(server.requests(), QByteArray("/rest/system/connections"), &Request::path);
    };
    EXPECT_EQ(awaitTask(engine->cumulativeBytes()).inBytes, 5);
    awaitTask(engine->connections());
    awaitTask(engine->connections());
    EXPECT_EQ(reads(), 1);
    awaitTask(engine->events(0));
    awaitTask(engine->connections());
    EXPECT_EQ(reads(), 2);
}

// Syncthing's list of a folder's failed items, by path, page by page as
// asked; the page `broken` answers 500. After each answer, as after a pull, it
// gains (`moves` above 0) or loses as many waiting items at its head.
FakeHttpServer::Handler failedItems(const QStringList &paths, const QString &reason, int broken = 0, int moves = 0)
{
    return [list = std::make_shared<QStringList>(paths), reason, broken, moves](const Request &request) {
        const QUrlQuery query(QUrl::fromEncoded(request.target).query());
        const int page = query.queryItemValue("page").toInt();
        const int perPage = query.queryItemValue("perpage").toInt();
        if (page == broken)
            return Response::text(500, "boom");
        QJsonArray errors;
        for (const QString &path : list->mid((page - 1) * perPage, perPage))
            errors.append(QJsonObject{{"path", path}, {"error", path.startsWith("w") ? reason : "permission denied"}});
        for (int i = 0; i < std::abs(moves); ++i)
            moves > 0 ? list->prepend("w/0") : list->removeFirst();
        return Response::json(json(QJsonObject{{"errors", errors}}));
    };
}

QStringList named(const QString &prefix, int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names.append(prefix + QString::number(100000 + i));
    return names;
}

// Items that only wait for a teammate, or for their folder to stop carrying
// extended attributes its drive refuses, may stand before or after the real
// failures in any number; a list read in part counts as unread.
TEST_F(SyncthingEngineFakeServerTest, FailedItemsAreCountedFromTheWholeListWhateverItsOrder)
{
    const QString noDevice = "no connected device has the required version of this file";
    const int most = SyncthingEngine::failuresRead;
    // moves: the list is built anew after each answer; reason: the waiting items' (no device by default)
    const struct { QStringList paths; int brokenPage; qint64 failing; int moves = 0; const char *reason = nullptr; }
        rows[] = {
        {named("w/", 200) + named("z/", 50), 0, 50},
        {named("w/", 2500) + named("z/", 50), 0, 50},
        {named("a/", 1) + named("w/", 249), 0, 1},
        {named("a/", 1) + named("w/", 2499), 0, 1},
        {named("w/", 2500) + named("z/", 50), 1, 2550},
        {named("w/", 1000) + named("z/", 1), 0, 1, -1},
        {named("w/", 999) + named("z/", 2), 0, 2, 1},
        {named("w/", most + 5), 0, 5},  // the items past one answer count as failed
        {named("a/", 1) + named("w/", most + 5), 0, 7},
        {named("w/", 3) + named("z/", 2), 0, 2, 0, "listing xattrs: Listxattr /f/w: operation not supported"},
        {named("w/", 3), 0, 0, 0, "setting xattrs: Lsetxattr /f/w: operation not supported"},
        {named("w/", 3), 0, 3, 0, "Listxattr /f/w: permission denied"},
    };
    for (const auto &row : rows) {
        const qint64 listed = row.paths.size();
        on("GET /rest/db/status", Response::json(json(QJsonObject{{"state", "idle"}, {"errors", listed}})));
        on("GET /rest/folder/errors",
           failedItems(row.paths, row.reason ? row.reason : noDevice, row.brokenPage, row.moves));
        const QString folder = QStringLiteral("f%1").arg(&row - rows);
        EXPECT_EQ(awaitTask(engine->folderStatus(folder)).errorCount, row.failing) << folder.toStdString();
    }
}

// A folder failing thousands of items must not cost a long answer at every
// status read: the list is read again only once Syncthing's count moves.
TEST_F(SyncthingEngineFakeServerTest, ManyFailedItemsAreReadOnceWhileTheirCountHolds)
{
    QStringList paths = named("w/", 1) + named("z/", 4999);
    on("GET /rest/db/status", [&paths](const Request &) {
        return Response::json(json(QJsonObject{{"state", "idle"}, {"errors", paths.size()}}));
    });
    on("GET /rest/folder/errors", [&paths](const Request &request) {
        return failedItems(paths, "no connected device has the required version of this file")(request);
    });
    const auto reads = [this] {
        return std::ranges::count(server.requests(), QByteArray("/rest/folder/errors"), &Request::path);
    };
    EXPECT_EQ(awaitTask(engine->folderStatus("f")).errorCount, 4999);
    const qsizetype pages = reads();
    EXPECT_EQ(pages, 1);
    EXPECT_EQ(awaitTask(engine->folderStatus("f")).errorCount, 4999);
    EXPECT_EQ(reads(), pages);
    paths.append("z/9");
    EXPECT_EQ(awaitTask(engine->folderStatus("f")).errorCount, 5000);
    EXPECT_EQ(reads(), 2 * pages);
}

TEST_F(SyncthingEngineFakeServerTest, DiagnosticsReportLayout)
{
    on("GET /rest/config/devices", Response::json(json(QJsonArray{device(kMe, "Studio"), device(kLaptop, "Laptop", true)})));
    on("GET /rest/system/connections", Response::json(json(QJsonObject{{"connections", QJsonObject{
        {kLaptop, QJsonObject{{"connected", true}, {"address", "127.0.0.2:22000"}, {"type", "tcp-client"}}}}}})));
    on("GET /rest/config/folders", Response::json(json(QJsonArray{
        folder("tdw-0000000a", "Photos", {ref(kMe), ref(kLaptop, kNameless)}),
        folder("tdw-0000000b", "", {ref(kMe)}, "sendonly", true),
    })));
    on("GET /rest/db/status", [](const Request &request) {
        if (request.target.endsWith("folder=tdw-0000000a")) // 2^53 + 1 is kept exact
            return Response::json(json(QJsonObject{{"localFiles", 12}, {"localBytes", 1073741824},
                                                   {"globalFiles", 13}, {"globalBytes", 1250000000},
                                                   {"needFiles", 1}, {"needBytes", 0}, {"state", "syncing"},
                                                   {"errors", 0}, {"pullErrors", 2},
                                                   {"sequence", qint64(9'007'199'254'740'993)}}));
        return Response::text(500, "boom");
    });
    on("GET /rest/db/completion",
       Response::json(json(QJsonObject{{"completion", 33.335}, {"needItems", 3}, {"needBytes", 5000001}})));
    on("GET /rest/system/log", [](const Request &request) {
        QJsonArray messages;
        for (int i = 1; i <= 81; ++i) {
            QString text = QStringLiteral("line %1").arg(i);
            if (i == 81) // a log that happened to carry the key must not pass it on
                text += QStringLiteral(" key=") + QString::fromUtf8(request.header("X-API-Key").value_or("?"));
            messages.append(QJsonObject{{"when", "2025-01-02T03:04:05Z"}, {"message", text}});
        }
        return Response::json(json(QJsonObject{{"messages", messages}}));
    });

    QString expected = QStringLiteral(
        "TIDEWELLMESH — DIAGNOSTICS\n"
        "Generated: <now>\n"
        "This device: MYID777…\n"
        "\n"
        "DEVICES (2):\n"
        "  MYID777  Studio (this Mac)  — offline\n"
        "  BBBBBBB  Laptop  [PAUSED]  — connected tcp-client  127.0.0.2:22000\n"
        "\n"
        "FOLDERS (2):\n"
        "  ▸ \"Photos\"  id=tdw-0000000a\n"
        "    type=sendreceive  paused=false  path=/data/Photos\n"
        "    local 12 files / 1.07 GB   global 13 / 1.25 GB   need 1 / 0.00 GB\n"
        "    state=syncing  errors=0  pullErrors=2  receiveOnlyChanged=0  sequence=9007199254740993\n"
        "    per-device completion (this Mac's view):\n"
        "      Laptop: 33.34%  need 3 items / 0.01 GB  (introducedBy CCCCCCC)\n"
        "  ▸ \"\"  id=tdw-0000000b\n"
        "    type=sendonly  paused=true  path=/data/\n"
        "    per-device completion (this Mac's view):\n"
        "\n"
        "RECENT DAEMON LOG (last 80):\n");
    for (int i = 2; i <= 81; ++i)
        expected += QStringLiteral("  2025-01-02T03:04:05Z  line %1").arg(i) + (i == 81 ? " key=[API key]\n" : "\n");
    QString report = awaitTask(engine->diagnosticsReport());
    static const QRegularExpression generated(QStringLiteral("(?<=\nGenerated: )\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ"));
    EXPECT_EQ(report.replace(generated, QStringLiteral("<now>")), expected);
}

} // namespace
} // namespace tw
