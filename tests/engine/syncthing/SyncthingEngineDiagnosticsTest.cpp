// The diagnostics report, status records, folder errors and the paired-device
// test against a fake Syncthing: exact layout, request order, and what each
// failed request leaves out.

#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "EngineOnFakeServer.h"
#include "FakeServerRoutes.h"
#include "QtPrinters.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
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

QJsonObject device(const QString &id, const QString &name, bool paused)
{
    QJsonObject object;
    object.insert("deviceID", id);
    object.insert("name", name);
    object.insert("paused", paused);
    return object;
}

QJsonObject folder(const QString &id, const QString &label, const QString &type, bool paused, const QString &path,
                   const QJsonArray &devices)
{
    QJsonObject object;
    object.insert("id", id);
    object.insert("label", label);
    object.insert("path", path);
    object.insert("type", type);
    object.insert("paused", paused);
    object.insert("devices", devices);
    return object;
}

QJsonObject ref(const QString &id, const QString &introducedBy = {})
{
    QJsonObject object;
    object.insert("deviceID", id);
    object.insert("introducedBy", introducedBy);
    return object;
}

QJsonObject connection(bool connected, const QString &address, const std::optional<QString> &type)
{
    QJsonObject object;
    object.insert("connected", connected);
    object.insert("address", address);
    if (type)
        object.insert("type", *type);
    return object;
}

// The "Generated:" line carries the clock; it is checked on its own and
// replaced, so the rest can be compared exactly.
QString withoutClock(QString report)
{
    static const QRegularExpression generated(QStringLiteral("^Generated: (\\S+)\n"),
                                              QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = generated.match(report);
    EXPECT_TRUE(match.hasMatch()) << report.toStdString();
    const QDateTime stamp = QDateTime::fromString(match.captured(1), Qt::ISODate);
    EXPECT_TRUE(stamp.isValid());
    EXPECT_EQ(stamp.timeSpec(), Qt::UTC);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$"))
                    .match(match.captured(1))
                    .hasMatch())
        << match.captured(1).toStdString();
    EXPECT_LE(std::abs(stamp.secsTo(QDateTime::currentDateTimeUtc())), 60);
    return report.replace(match.capturedStart(1), match.capturedLength(1), QStringLiteral("<now>"));
}

class SyncthingEngineDiagnosticsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Unrouted requests get 404, the engine's liveness probe included.
        routes.on("GET /rest/system/ping", Response::json(R"({"ping": "pong"})"));
        rig.start();
    }

    SyncthingEngine &engine() { return rig.engine(); }
    QStringList requestLines() const
    {
        QStringList lines;
        for (const Request &request : rig.requests())
            lines.append(QString::fromUtf8(request.method + ' ' + request.target));
        return lines;
    }

    EngineOnFakeServer rig;
    FakeServerRoutes routes{rig.server()};
};

TEST_F(SyncthingEngineDiagnosticsTest, ReportLayout)
{
    routes.onJson("GET /rest/system/status", json(QJsonObject{{"myID", kMe}}));
    routes.onJson("GET /rest/config/devices",
                  json(QJsonArray{device(kMe, "Studio", false), device(kLaptop, "Laptop", true),
                                  device(kNameless, "", false), device(kLaptop, "Shadow", false)}));
    routes.onJson("GET /rest/system/connections",
                  json(QJsonObject{{"connections",
                                    QJsonObject{{kLaptop, connection(true, "127.0.0.2:22000", "tcp-client")},
                                                {kNameless, connection(true, "127.0.0.3:4000", std::nullopt)},
                                                {kMe, connection(false, "", "tcp-server")}}}}));
    routes.onJson("GET /rest/config/folders",
                  json(QJsonArray{
                      folder("tdw-0000000a", "Photos", "sendreceive", false, "/data/Photos",
                             QJsonArray{ref(kMe), ref(kLaptop, kNameless), ref(kNameless), ref(kStranger)}),
                      folder("tdw-0000000b", "", "sendonly", true, "/data/Empty label", QJsonArray{ref(kMe)}),
                      folder("tdw-0000000c", "Docs", "receiveonly", false, "/data/Docs", QJsonArray{ref(kLaptop)}),
                  }));
    routes.on("GET /rest/db/status", [](const Request &request) {
        const QString id = FakeServerRoutes::queryItem(request, "folder");
        if (id == "tdw-0000000a")
            return Response::json(json(QJsonObject{{"localFiles", 12}, {"localBytes", 1500000000},
                                                   {"globalFiles", 13}, {"globalBytes", 1250000000},
                                                   {"needFiles", 1}, {"needBytes", 0}, {"state", "syncing"},
                                                   {"errors", 0}, {"pullErrors", 2}, {"sequence", 77}}));
        if (id == "tdw-0000000c")
            return Response::json("{}");
        return Response::text(500, "boom");
    });
    routes.on("GET /rest/db/completion", [](const Request &request) {
        const QString folderID = FakeServerRoutes::queryItem(request, "folder");
        const QString deviceID = FakeServerRoutes::queryItem(request, "device");
        if (deviceID == kLaptop && folderID == "tdw-0000000a")
            return Response::json(json(QJsonObject{{"completion", 100}, {"needItems", 0}, {"needBytes", 0}}));
        if (deviceID == kLaptop)
            return Response::json(json(QJsonObject{{"completion", 99.5}, {"needItems", 3}, {"needBytes", 5000001}}));
        if (deviceID == kStranger)
            return Response::json("{}");
        return Response::text(404, "no such device");
    });
    routes.on("GET /rest/system/log", [](const Request &request) {
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
        "DEVICES (4):\n"
        "  MYID777  Studio (this Mac)  — offline\n"
        "  BBBBBBB  Laptop  [PAUSED]  — connected tcp-client  127.0.0.2:22000\n"
        "  CCCCCCC    — connected   127.0.0.3:4000\n"
        "  BBBBBBB  Shadow  — connected tcp-client  127.0.0.2:22000\n"
        "\n"
        "FOLDERS (3):\n"
        "  ▸ \"Photos\"  id=tdw-0000000a\n"
        "    type=sendreceive  paused=false  path=/data/Photos\n"
        "    local 12 files / 1.50 GB   global 13 / 1.25 GB   need 1 / 0.00 GB\n"
        "    state=syncing  errors=0  pullErrors=2  receiveOnlyChanged=0  sequence=77\n"
        "    per-device completion (this Mac's view):\n"
        "      Laptop: 100.00%  need 0 items / 0.00 GB  (introducedBy CCCCCCC)\n"
        "      : completion unavailable\n"
        "      ZZZZZZZ: 0.00%  need ? items / 0.00 GB\n"
        "  ▸ \"\"  id=tdw-0000000b\n"
        "    type=sendonly  paused=true  path=/data/Empty label\n"
        "    per-device completion (this Mac's view):\n"
        "  ▸ \"Docs\"  id=tdw-0000000c\n"
        "    type=receiveonly  paused=false  path=/data/Docs\n"
        "    local ? files / 0.00 GB   global ? / 0.00 GB   need ? / 0.00 GB\n"
        "    state=?  errors=0  pullErrors=0  receiveOnlyChanged=0  sequence=?\n"
        "    per-device completion (this Mac's view):\n"
        "      Laptop: 99.50%  need 3 items / 0.01 GB\n"
        "\n"
        "RECENT DAEMON LOG (last 80):\n");
    for (int i = 121; i <= 200; ++i)
        expected += QStringLiteral("  2025-01-02T03:04:05Z  line %1").arg(i) + (i == 200 ? " key=[API key]\n" : "\n");

    const QString report = awaitTask(engine().diagnosticsReport());
    EXPECT_EQ(withoutClock(report), expected);

    const QStringList expectedRequests{
        "GET /rest/system/status",
        "GET /rest/config/devices",
        "GET /rest/system/connections",
        "GET /rest/config/folders",
        "GET /rest/db/status?folder=tdw-0000000a",
        "GET /rest/db/completion?folder=tdw-0000000a&device=" + kLaptop,
        "GET /rest/db/completion?folder=tdw-0000000a&device=" + kNameless,
        "GET /rest/db/completion?folder=tdw-0000000a&device=" + kStranger,
        "GET /rest/db/status?folder=tdw-0000000b",
        "GET /rest/db/status?folder=tdw-0000000c",
        "GET /rest/db/completion?folder=tdw-0000000c&device=" + kLaptop,
        "GET /rest/system/log",
    };
    EXPECT_EQ(requestLines(), expectedRequests);
}

TEST_F(SyncthingEngineDiagnosticsTest, ReportWhenEveryRequestFails)
{
    rig.server().setDefaultResponse(Response::text(500, "down"));
    const QString report = awaitTask(engine().diagnosticsReport());
    EXPECT_EQ(withoutClock(report), QStringLiteral("TIDEWELLMESH — DIAGNOSTICS\n"
                                                   "Generated: <now>\n"
                                                   "This device: ?…\n"
                                                   "\n"
                                                   "DEVICES (0):\n"
                                                   "\n"
                                                   "FOLDERS (0):\n"
                                                   "\n"));
}

TEST_F(SyncthingEngineDiagnosticsTest, ShortLogAndUndecodableAnswers)
{
    // Answers that do not decode count as failed requests.
    routes.onJson("GET /rest/system/status", "[]");
    routes.onJson("GET /rest/config/devices", json(QJsonArray{device(kLaptop, "Laptop", false)}));
    routes.onJson("GET /rest/system/connections", "{\"connections\": 5}");
    routes.onJson("GET /rest/config/folders", "{}");
    QJsonArray messages;
    for (const char *text : {"one", "", "two", "three", "four", "five"})
        messages.append(QJsonObject{{"message", text}});
    routes.onJson("GET /rest/system/log", json(QJsonObject{{"messages", messages}}));

    const QString report = awaitTask(engine().diagnosticsReport());
    EXPECT_EQ(withoutClock(report), QStringLiteral("TIDEWELLMESH — DIAGNOSTICS\n"
                                                   "Generated: <now>\n"
                                                   "This device: ?…\n"
                                                   "\n"
                                                   "DEVICES (1):\n"
                                                   "  BBBBBBB  Laptop  — offline\n"
                                                   "\n"
                                                   "FOLDERS (0):\n"
                                                   "\n"
                                                   "RECENT DAEMON LOG (last 5):\n"
                                                   "  one\n"
                                                   "  two\n"
                                                   "  three\n"
                                                   "  four\n"
                                                   "  five\n"));
}

TEST_F(SyncthingEngineDiagnosticsTest, StatusRecords)
{
    routes.onJson("GET /rest/config/folders",
                  json(QJsonArray{folder("a", "", "sendreceive", false, "/a", {}),
                                  folder("b", "B", "sendonly", false, "/b", {}),
                                  folder("c", "C", "sendonly", false, "/c", {})}));
    routes.on("GET /rest/db/status", [](const Request &request) {
        const QString id = FakeServerRoutes::queryItem(request, "folder");
        if (id == "a")
            return Response::json(json(QJsonObject{{"state", "idle"}, {"localBytes", 10}, {"globalBytes", 20},
                                                   {"needBytes", 5}, {"needFiles", 2}, {"needItems", 99}}));
        if (id == "b")
            return Response::json(json(QJsonObject{{"state", 3}, {"localBytes", "10"}, {"needBytes", 7.9}}));
        return Response::text(500, "gone");
    });

    const QList<FolderDiagStatus> records = awaitTask(engine().diagnosticsStatus());
    const QList<FolderDiagStatus> expected{
        {"a", "", "idle", 10, 20, 5, 2},
        {"b", "B", "", 0, 0, 7, 0},
        {"c", "C", "", 0, 0, 0, 0},
    };
    EXPECT_EQ(records, expected);
    EXPECT_EQ(requestLines(), (QStringList{"GET /rest/config/folders", "GET /rest/db/status?folder=a",
                                           "GET /rest/db/status?folder=b", "GET /rest/db/status?folder=c"}));
}

TEST_F(SyncthingEngineDiagnosticsTest, StatusRecordsWhenTheFolderListFails)
{
    rig.server().setDefaultResponse(Response::text(503, "busy"));
    EXPECT_TRUE(awaitTask(engine().diagnosticsStatus()).isEmpty());
}

TEST_F(SyncthingEngineDiagnosticsTest, FolderErrorsComeFromFolderStatus)
{
    routes.onJson("GET /rest/config/folders",
                  json(QJsonArray{folder("ok", "", "sendreceive", false, "/a", {}),
                                  folder("broken", "", "sendreceive", false, "/b", {}),
                                  folder("unreadable", "", "sendreceive", false, "/c", {}),
                                  folder("odd", "", "sendreceive", false, "/d", {})}));
    routes.on("GET /rest/db/status", [](const Request &request) {
        const QString id = FakeServerRoutes::queryItem(request, "folder");
        if (id == "ok")
            return Response::json(R"({"state": "idle", "error": ""})");
        if (id == "broken")
            return Response::json(R"({"state": "error", "error": "folder path missing"})");
        if (id == "odd")
            return Response::json(R"({"state": "error", "error": 7})");
        return Response::text(500, "gone");
    });
    // The log's wording is not what errors are read from.
    routes.onJson("GET /rest/system/log",
                  R"j({"messages": [{"when": "t", "message": "Folder is in error state (folder=ok error=\"old\")"}]})j");

    const QMap<QString, QString> errors = awaitTask(engine().recentFolderErrors());
    EXPECT_EQ(errors, (QMap<QString, QString>{{"broken", "folder path missing"}}));
}

TEST_F(SyncthingEngineDiagnosticsTest, PairedDevice)
{
    routes.onJson("GET /rest/config/devices",
                  json(QJsonArray{device(kMe, "Studio", false), device(kLaptop, "Laptop", false)}));
    struct Case
    {
        QString id;
        bool paired;
    };
    const std::vector<Case> cases{
        {kLaptop, true},
        {kMe, true},
        {kLaptop.toLower(), false},
        {kLaptop.left(7), false},
        {QString(kLaptop).remove('-'), false},
        {kStranger, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(awaitTask(engine().isPairedDevice(c.id)), c.paired) << c.id.toStdString();
}

TEST_F(SyncthingEngineDiagnosticsTest, EmptyDeviceIsNotPairedAndAsksNothing)
{
    EXPECT_FALSE(awaitTask(engine().isPairedDevice(QString())));
    EXPECT_TRUE(rig.requests().isEmpty());
}

TEST_F(SyncthingEngineDiagnosticsTest, PairedDeviceWhenTheListFails)
{
    rig.server().setDefaultResponse(Response::text(500, "down"));
    EXPECT_FALSE(awaitTask(engine().isPairedDevice(kLaptop)));
}

TEST(SyncthingEngineDiagnosticsStopped, NeutralValuesWithoutRequests)
{
    EngineOnFakeServer rig;
    SyncthingEngine &engine = rig.engine();
    EXPECT_EQ(awaitTask(engine.diagnosticsReport()), QStringLiteral("Sync engine is not running — start the app first."));
    EXPECT_TRUE(awaitTask(engine.diagnosticsStatus()).isEmpty());
    EXPECT_TRUE(awaitTask(engine.recentFolderErrors()).isEmpty());
    EXPECT_FALSE(awaitTask(engine.isPairedDevice(kLaptop)));
    EXPECT_TRUE(rig.requests().isEmpty());
}

} // namespace
} // namespace tw
