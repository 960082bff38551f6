// The Syncthing engine against a fake Syncthing, for what a real one won't do
// on demand: a write that fails half-way, restores it refuses, shares that
// overlap, the report's exact layout, and a long poll ended in flight.

#include "engine/SyncEngineError.h"
#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "FakeHttpServer.h"
#include "QtPrinters.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <gtest/gtest.h>
#include <functional>

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

QString queryItem(const Request &request, const QString &name)
{
    return QUrlQuery(QUrl::fromEncoded(request.target)).queryItemValue(name, QUrl::FullyDecoded);
}

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
    using Answer = std::function<Response(const Request &)>;

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
    void on(const QByteArray &route, Answer answer) { routes.insert(route, std::move(answer)); }
    void on(const QByteArray &route, const Response &response)
    {
        on(route, [response](const Request &) { return response; });
    }

    QList<Request> sent(const QByteArray &method) const
    {
        QList<Request> matching;
        for (const Request &request : server.requests()) {
            if (request.method == method)
                matching.append(request);
        }
        return matching;
    }

    QTemporaryDir dir;
    FakeHttpServer server;
    std::unique_ptr<SyncthingEngine> engine;
    QMap<QByteArray, Answer> routes;
};

// ---- folders ---------------------------------------------------------------------------

TEST_F(SyncthingEngineFakeServerTest, IgnoreLinesWithLineBreaksOrNulAreRefusedBeforeSending)
{
    for (const QString &bad : {QString("a\n*"), QString("carriage\rreturn"), QString("nul") + QChar(u'\0')})
        EXPECT_TRUE(failureOf(engine->updateIgnorePatterns("f", {"ok", bad}))) << bad.toStdString();
    EXPECT_EQ(failureOf(engine->updateIgnorePatterns("f", {"a\n*"}))->payload(),
              "An ignore pattern cannot contain a line break or a NUL character: \"a\\n*\"");
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(SyncthingEngineFakeServerTest, ARefusedIgnoreUpdateWhoseRollbackFailsSaysTheFolderMayStayStopped)
{
    server.enqueue(Response::json(R"({"ignore": ["old"]})"));
    server.enqueue(Response::json(R"({"ignore": ["[x"], "error": "bad pattern"})"));
    server.enqueue(Response::text(500, "disk full"));
    EXPECT_EQ(failureOf(engine->updateIgnorePatterns("f", {"[x"}))->errorDescription(),
              QStringLiteral("bad pattern (the previous ignore patterns could not be put back: Backend error (HTTP "
                             "500): disk full; the folder may stay stopped until its ignore patterns are fixed)"));
    ASSERT_EQ(server.requests().size(), 3);
    EXPECT_EQ(objectOf(server.requests()[2].body), (QJsonObject{{"ignore", QJsonArray{"old"}}}));
}

// Without ignore lines nothing is posted: an existing .stignore keeps its lines.
TEST_F(SyncthingEngineFakeServerTest, AddFolderKeepsAGivenIDAndEmptyLabelAndPostsNoEmptyIgnores)
{
    on("PUT /rest/config/folders/tdw-given01", Response::json(""));
    NewFolderRequest request;
    request.id = QStringLiteral("tdw-given01");
    request.path = QStringLiteral("/data/Photos");
    const SyncFolder added = awaitTask(engine->addFolder(request));
    EXPECT_EQ(added.id, QStringLiteral("tdw-given01"));
    EXPECT_EQ(added.label, QString()); // not replaced by the ID
    EXPECT_EQ(server.requests().last().target, "/rest/config/folders/tdw-given01");
    EXPECT_TRUE(sent("POST").isEmpty());
}

// Syncthing moves the live file aside before it looks for the version, so
// only versions it lists are sent; what it could not restore is a failure.
TEST_F(SyncthingEngineFakeServerTest, RestoreSendsListedVersionsAndFailsForWhatSyncthingCouldNotRestore)
{
    const QString time = QStringLiteral("2024-03-01T10:00:00+01:00");
    on("GET /rest/folder/versions", Response::json(R"({"a.txt": [{"versionTime": "2024-03-01T09:00:00Z"}],
                                                       "b c": [{"versionTime": "2024-03-01T10:00:00+01:00"}]})"));
    struct Case
    {
        const char *name;
        QMap<QString, QString> batch;
        Response answer;
        QJsonObject posted;
        QString failure; // the start of the error's text; empty: success
    } cases[] = {
        {"listed in another zone: sent as asked", {{"a.txt", time}}, Response::json("{}"), {{"a.txt", time}}, {}},
        {"refusals by path, one without a text", {{"a.txt", time}, {"b c", time}},
         Response::json(R"({"b c": "file exists", "a.txt": "", "c": null})"), {{"a.txt", time}, {"b c", time}},
         "Could not restore a.txt; b c: file exists"},
        {"not listed: never sent", {{"a.txt", "2024-03-01T09:00:01Z"}, {"b c", time}},
         Response::json(R"({"b c": "file exists"})"), {{"b c", time}},
         "Could not restore a.txt: version not found; b c: file exists"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        on("POST /rest/folder/versions", c.answer);
        const std::optional<SyncEngineError> failure = failureOf(engine->restoreArchivedBatch("f 1", c.batch));
        EXPECT_EQ(failure ? failure->errorDescription().left(c.failure.size()) : QString(), c.failure);
        const QList<Request> posts = sent("POST");
        ASSERT_EQ(posts.size(), 1);
        EXPECT_EQ(posts[0].target, "/rest/folder/versions?folder=f%201");
        EXPECT_EQ(objectOf(posts[0].body), c.posted);
        server.clearRequests();
    }
}

// ---- devices ---------------------------------------------------------------------------

// The first call reads this device's ID, the later ones take it from the cache.
TEST_F(SyncthingEngineFakeServerTest, ThisDeviceIsStillMarkedWhenItsIDComesFromTheCache)
{
    on("GET /rest/config/devices", Response::json(json(QJsonArray{device(kNameless, "", true), device(kMe, "Studio")})));
    const QList<SyncDevice> expected = {{kNameless, "CCCCCCC", true, false, 0, 0}, {kMe, "Studio", false, true, 0, 0}};
    for (int call = 1; call <= 3; ++call)
        EXPECT_EQ(awaitTask(engine->devices()), expected) << "call " << call;
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
    on("PATCH /rest/config/folders/three", Response::json(""));
    EXPECT_EQ(failureOf(engine->setAllPaused(true)).value().errorDescription(),
              "Backend error (HTTP 500): cannot pause");
    const QList<Request> patches = sent("PATCH");
    ASSERT_EQ(patches.size(), 2);
    EXPECT_EQ(patches[0].path(), "/rest/config/folders/one");
    EXPECT_EQ(objectOf(patches[0].body), (QJsonObject{{"paused", true}}));
    EXPECT_EQ(patches[1].path(), "/rest/config/folders/two");
}

TEST_F(SyncthingEngineFakeServerTest, ClusterNeedsCountConnectedPeersAndTheirNeededBytes)
{
    on("GET /rest/config/folders", Response::json(json(QJsonArray{
        folder("only-me", "", {ref(kMe)}),
        folder("two-peers", "", {ref(kMe), ref(kLaptop), ref(kNameless)}),
        folder("failing", "", {ref(kStranger), ref(kMe)}),
        folder("negative", "", {ref(kLaptop)}),
        folder("twice", "", {ref(kLaptop), ref(kLaptop)}),
    })));
    // kNameless has no entry: not connected.
    on("GET /rest/system/connections", Response::json(json(QJsonObject{{"connections", QJsonObject{
        {kMe, QJsonObject{{"connected", false}, {"address", ""}}},
        {kLaptop, QJsonObject{{"connected", true}, {"address", "127.0.0.2:1"}}},
        {kStranger, QJsonObject{{"connected", true}, {"address", "127.0.0.3:1"}}},
    }}})));
    QStringList asked;
    on("GET /rest/db/completion", [&asked](const Request &request) {
        const QString folderID = queryItem(request, "folder");
        asked.append(folderID + ":" + queryItem(request, "device"));
        if (folderID == "failing")
            return Response::text(500, "no completion");
        if (folderID == "negative")
            return Response::json(json(QJsonObject{{"completion", 100}, {"needBytes", -7}}));
        if (folderID == "twice")
            return Response::json(json(QJsonObject{{"completion", 90}, {"needBytes", 5}}));
        return Response::json(json(QJsonObject{{"completion", 50}, {"needBytes", 1234}}));
    });
    const QMap<QString, ClusterNeed> expected = {
        {"only-me", {0, 0, 0}}, {"two-peers", {1234, 1, 2}}, {"failing", {0, 1, 1}},
        {"negative", {0, 1, 1}}, {"twice", {10, 2, 2}},
    };
    EXPECT_EQ(awaitTask(engine->clusterNeeds()), expected);

    // Only connected peers cost a request, never this device.
    EXPECT_EQ(asked, (QStringList{"two-peers:" + kLaptop, "failing:" + kStranger, "negative:" + kLaptop,
                                  "twice:" + kLaptop, "twice:" + kLaptop}));
}

// ---- events and diagnostics ------------------------------------------------------------

TEST_F(SyncthingEngineFakeServerTest, CancelEndsTheEventsLongPollInFlight)
{
    Response held = Response::json("[]");
    held.delayMs = 60'000;
    server.enqueue(held);
    auto poll = engine->events(0);
    engine->cancelEvents();
    EXPECT_THROW(awaitTask(std::move(poll)), SyncEngineError); // the answer would come after a minute
}

// Checks the "Generated:" stamp (UTC, whole seconds, now) and puts "<now>" in its place.
QString withoutClock(QString report)
{
    static const QRegularExpression generated(QStringLiteral("^Generated: (\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ)\n"),
                                              QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = generated.match(report);
    EXPECT_TRUE(match.hasMatch()) << report.toStdString();
    const QDateTime stamp = QDateTime::fromString(match.captured(1), Qt::ISODate);
    EXPECT_LE(std::abs(stamp.secsTo(QDateTime::currentDateTimeUtc())), 60);
    return report.replace(match.capturedStart(1), match.capturedLength(1), QStringLiteral("<now>"));
}

// Failed reads leave their part out; numbers at the edges of their texts.
TEST_F(SyncthingEngineFakeServerTest, DiagnosticsReportLayout)
{
    on("GET /rest/config/devices",
       Response::json(json(QJsonArray{device(kMe, "Studio"), device(kLaptop, "Laptop", true), device(kNameless, "")})));
    on("GET /rest/system/connections", Response::json(json(QJsonObject{{"connections", QJsonObject{
        {kLaptop, QJsonObject{{"connected", true}, {"address", "127.0.0.2:22000"}, {"type", "tcp-client"}}},
        {kNameless, QJsonObject{{"connected", true}, {"address", "127.0.0.3:4000"}}},
        {kMe, QJsonObject{{"connected", false}, {"address", ""}, {"type", "tcp-server"}}}}}})));
    on("GET /rest/config/folders", Response::json(json(QJsonArray{
        folder("tdw-0000000a", "Photos", {ref(kMe), ref(kLaptop, kNameless), ref(kNameless), ref(kStranger)}),
        folder("tdw-0000000b", "", {ref(kMe)}, "sendonly", true),
    })));
    on("GET /rest/db/status", [](const Request &request) {
        const QString id = queryItem(request, "folder");
        if (id == "tdw-0000000a") // 2^30 bytes are 1.07 decimal gigabytes; 2^53 + 1 is kept exact
            return Response::json(json(QJsonObject{{"localFiles", 12}, {"localBytes", 1073741824},
                                                   {"globalFiles", 13}, {"globalBytes", 1250000000},
                                                   {"needFiles", 1}, {"needBytes", 0}, {"state", "syncing"},
                                                   {"errors", 0}, {"pullErrors", 2},
                                                   {"sequence", qint64(9'007'199'254'740'993)}}));
        return Response::text(500, "boom");
    });
    on("GET /rest/db/completion", [](const Request &request) {
        const QString deviceID = queryItem(request, "device");
        if (deviceID == kLaptop)
            return Response::json(json(QJsonObject{{"completion", 33.335}, {"needItems", 3}, {"needBytes", 5000001}}));
        return deviceID == kStranger ? Response::json("{}") : Response::text(404, "no such device");
    });
    on("GET /rest/system/log", [](const Request &request) {
        QJsonArray messages;
        for (int i = 1; i <= 200; ++i) {
            QString text = QStringLiteral("line %1").arg(i);
            if (i == 200) // a log that happened to carry the key must not pass it on
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
        "DEVICES (3):\n"
        "  MYID777  Studio (this Mac)  — offline\n"
        "  BBBBBBB  Laptop  [PAUSED]  — connected tcp-client  127.0.0.2:22000\n"
        "  CCCCCCC    — connected   127.0.0.3:4000\n"
        "\n"
        "FOLDERS (2):\n"
        "  ▸ \"Photos\"  id=tdw-0000000a\n"
        "    type=sendreceive  paused=false  path=/data/Photos\n"
        "    local 12 files / 1.07 GB   global 13 / 1.25 GB   need 1 / 0.00 GB\n"
        "    state=syncing  errors=0  pullErrors=2  receiveOnlyChanged=0  sequence=9007199254740993\n"
        "    per-device completion (this Mac's view):\n"
        "      Laptop: 33.34%  need 3 items / 0.01 GB  (introducedBy CCCCCCC)\n"
        "      : completion unavailable\n"
        "      ZZZZZZZ: 0.00%  need ? items / 0.00 GB\n"
        "  ▸ \"\"  id=tdw-0000000b\n"
        "    type=sendonly  paused=true  path=/data/\n"
        "    per-device completion (this Mac's view):\n"
        "\n"
        "RECENT DAEMON LOG (last 80):\n");
    for (int i = 121; i <= 200; ++i)
        expected += QStringLiteral("  2025-01-02T03:04:05Z  line %1").arg(i) + (i == 200 ? " key=[API key]\n" : "\n");
    EXPECT_EQ(withoutClock(awaitTask(engine->diagnosticsReport())), expected);
}

} // namespace
} // namespace tw
