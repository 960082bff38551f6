// The diagnostics report against a fake Syncthing: the exact layout, and what
// each failed request leaves out.

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

QJsonObject device(const QString &id, const QString &name, bool paused = false)
{
    return QJsonObject{{"deviceID", id}, {"name", name}, {"paused", paused}};
}

QJsonObject folder(const QString &id, const QString &label, const QString &type, bool paused, const QJsonArray &devices)
{
    return QJsonObject{{"id", id},         {"label", label},   {"path", "/data/" + label},
                       {"type", type},     {"paused", paused}, {"devices", devices}};
}

QJsonObject ref(const QString &id, const QString &introducedBy = {})
{
    return QJsonObject{{"deviceID", id}, {"introducedBy", introducedBy}};
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

class SyncthingEngineDiagnosticsTest : public ::testing::Test
{
protected:
    void SetUp() override { rig.start(); }

    SyncthingEngine &engine() { return rig.engine(); }

    EngineOnFakeServer rig;
    FakeServerRoutes routes{rig.server()};
};

TEST_F(SyncthingEngineDiagnosticsTest, ReportLayout)
{
    routes.onJson("GET /rest/system/status", json(QJsonObject{{"myID", kMe}}));
    routes.onJson("GET /rest/config/devices",
                  json(QJsonArray{device(kMe, "Studio"), device(kLaptop, "Laptop", true), device(kNameless, "")}));
    routes.onJson("GET /rest/system/connections", json(QJsonObject{{"connections", QJsonObject{
        {kLaptop, QJsonObject{{"connected", true}, {"address", "127.0.0.2:22000"}, {"type", "tcp-client"}}},
        {kNameless, QJsonObject{{"connected", true}, {"address", "127.0.0.3:4000"}}},
        {kMe, QJsonObject{{"connected", false}, {"address", ""}, {"type", "tcp-server"}}}}}}));
    routes.onJson("GET /rest/config/folders", json(QJsonArray{
        folder("tdw-0000000a", "Photos", "sendreceive", false,
               {ref(kMe), ref(kLaptop, kNameless), ref(kNameless), ref(kStranger)}),
        folder("tdw-0000000b", "", "sendonly", true, {ref(kMe)}),
        folder("tdw-0000000c", "Docs", "receiveonly", false, {ref(kLaptop)}),
    }));
    routes.on("GET /rest/db/status", [](const Request &request) {
        const QString id = FakeServerRoutes::queryItem(request, "folder");
        if (id == "tdw-0000000a")
            return Response::json(json(QJsonObject{{"localFiles", 12}, {"localBytes", 1500000000},
                                                   {"globalFiles", 13}, {"globalBytes", 1250000000},
                                                   {"needFiles", 1}, {"needBytes", 0}, {"state", "syncing"},
                                                   {"errors", 0}, {"pullErrors", 2}, {"sequence", 77}}));
        return id == "tdw-0000000c" ? Response::json("{}") : Response::text(500, "boom");
    });
    routes.on("GET /rest/db/completion", [](const Request &request) {
        const QString folderID = FakeServerRoutes::queryItem(request, "folder");
        const QString deviceID = FakeServerRoutes::queryItem(request, "device");
        if (deviceID == kLaptop && folderID == "tdw-0000000a")
            return Response::json(json(QJsonObject{{"completion", 100}, {"needItems", 0}, {"needBytes", 0}}));
        if (deviceID == kLaptop)
            return Response::json(json(QJsonObject{{"completion", 99.5}, {"needItems", 3}, {"needBytes", 5000001}}));
        return deviceID == kStranger ? Response::json("{}") : Response::text(404, "no such device");
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
        "DEVICES (3):\n"
        "  MYID777  Studio (this Mac)  — offline\n"
        "  BBBBBBB  Laptop  [PAUSED]  — connected tcp-client  127.0.0.2:22000\n"
        "  CCCCCCC    — connected   127.0.0.3:4000\n"
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
        "    type=sendonly  paused=true  path=/data/\n"
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
    EXPECT_EQ(withoutClock(awaitTask(engine().diagnosticsReport())), expected);
}

// Without routes every request fails.
TEST_F(SyncthingEngineDiagnosticsTest, EveryFailedRequestLeavesItsPartOut)
{
    EXPECT_EQ(withoutClock(awaitTask(engine().diagnosticsReport())),
              QStringLiteral("TIDEWELLMESH — DIAGNOSTICS\nGenerated: <now>\nThis device: ?…\n\n"
                             "DEVICES (0):\n\nFOLDERS (0):\n\n"));
    EXPECT_TRUE(awaitTask(engine().diagnosticsStatus()).isEmpty());
    EXPECT_TRUE(awaitTask(engine().recentFolderErrors()).isEmpty());
    EXPECT_FALSE(awaitTask(engine().isPairedDevice(kLaptop)));
}

} // namespace
} // namespace tw
