// The guards of a loopback-only run. ctest starts this program with
// TIDEWELL_LOOPBACK_ONLY=1 in a network namespace of its own where only
// loopback is up, so a guard that fails cannot reach beyond this machine.

#include "cluster/NasNodeController.h"
#include "cluster/NodeClient.h"
#include "engine/model/NetworkSettings.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "platform/SpeedTester.h"
#include "utilities/LoopbackOnly.h"
#include "views/kit/OpenExternal.h"

#include "AwaitTask.h"
#include "FakeHttpServer.h"
#include "MemoryKeychain.h"
#include "QtPrinters.h"
#include "ViewTestEnv.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tw {
namespace {

using Request = FakeHttpServer::Request;
using Response = FakeHttpServer::Response;

QJsonObject objectOf(const QByteArray &body) { return QJsonDocument::fromJson(body).object(); }

TEST(LoopbackOnlyRunTest, RunsFlaggedWithOnlyLoopbackUp)
{
    ASSERT_TRUE(loopbackOnlyRun()) << "start this program through ctest";
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        const bool up = interface.flags().testFlag(QNetworkInterface::IsUp);
        EXPECT_TRUE(!up || interface.type() == QNetworkInterface::Loopback) << qPrintable(interface.name());
    }
}

// The adapter attached to a fake Syncthing, as in the engine's own tests.
class LoopbackOnlyEngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid() && server.listen());
        server.setHandler([](const Request &request) {
            if (request.method == "GET" && request.path() == "/rest/config/options")
                return Response::json(R"({"listenAddresses": ["tcp://127.0.0.1:22001"],
                                          "globalAnnounceServers": ["default"]})");
            return Response::json("{}");
        });
        SyncthingProcess::Options options;
        options.loopbackOnly = true;
        auto process = std::make_shared<SyncthingProcess>(AppPaths(dir.path()), QStringList{}, options);
        engine = std::make_unique<SyncthingEngine>(
            std::move(process), [](std::chrono::milliseconds) -> QCoro::Task<void> { co_return; });
        engine->attachEndpoint(server.baseURL(), QStringLiteral("fake-api-key"));
    }

    QList<Request> writes() const
    {
        QList<Request> found;
        for (const Request &request : server.requests())
            if (request.method != "GET")
                found.append(request);
        return found;
    }

    QTemporaryDir dir;
    FakeHttpServer server;
    std::unique_ptr<SyncthingEngine> engine;
};

TEST_F(LoopbackOnlyEngineTest, NetworkSettingsKeepEveryWayOutOff)
{
    NetworkSettings wide;
    wide.customRelayURL = QStringLiteral("relay://relay.example.org:22067/?id=ABC");
    wide.customDiscoveryURL = QStringLiteral("https://discovery.example.org:8443/");
    wide.downLimitKbps = 500;
    awaitTask(engine->applyNetworkSettings(wide));
    ASSERT_EQ(writes().size(), 1);
    const QJsonObject patch = objectOf(writes()[0].body);
    for (const char *key : {"natEnabled", "relaysEnabled", "localAnnounceEnabled", "globalAnnounceEnabled"})
        EXPECT_EQ(patch.value(QLatin1String(key)), QJsonValue(false)) << key;
    EXPECT_EQ(patch.value("listenAddresses"), QJsonArray({"tcp://127.0.0.1:22001"}));
    EXPECT_EQ(patch.value("globalAnnounceServers"), QJsonArray({"default"}));
    EXPECT_EQ(patch.value("maxRecvKbps"), QJsonValue(500));
}

TEST_F(LoopbackOnlyEngineTest, NewDevicesKeepOnlyAddressesOnLoopback)
{
    const struct
    {
        const char *name;
        std::optional<QStringList> given;
        QJsonArray written;
    } rows[] = {
        {"pasted tailnet address dropped",
         QStringList{"dynamic", "tcp://127.0.0.1:22000", "tcp://192.168.1.50:22000"},
         {"dynamic", "tcp://127.0.0.1:22000"}},
        {"IPv6 loopback kept", QStringList{"quic://[::1]:22000", "tcp://[fd00::1]:22000"}, {"quic://[::1]:22000"}},
        {"nothing left becomes dynamic", QStringList{"tcp://100.101.102.103:22000"}, {"dynamic"}},
        {"absent stays dynamic", std::nullopt, {"dynamic"}},
    };
    for (const auto &row : rows) {
        const qsizetype before = writes().size();
        awaitTask(engine->addDevice(NewDeviceRequest{"DEVICE-ID", "Studio", row.given, false}));
        ASSERT_EQ(writes().size(), before + 1) << row.name;
        EXPECT_EQ(objectOf(writes().last().body).value("addresses"), row.written) << row.name;
    }
}

TEST(LoopbackOnlyRunTest, TheSpeedTestStartsNoTool)
{
    QTemporaryDir dir;
    const QString marker = dir.filePath("started");
    QFile tool(dir.filePath("speedtest"));
    ASSERT_TRUE(tool.open(QIODevice::WriteOnly));
    tool.write("#!/bin/sh\ntouch '" + marker.toUtf8() + "'\necho '{\"download\": 1, \"upload\": 1}'\n");
    tool.close();
    tool.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_EQ(awaitTask(SpeedTester::run(tool.fileName())), std::nullopt);
    EXPECT_FALSE(QFile::exists(marker));
}

TEST(LoopbackOnlyRunTest, ANodeOffLoopbackIsNeverContacted)
{
    QTemporaryDir dir;
    MemoryKeychain keychain;
    NasNodeController nas(keychain, AppPaths(dir.path()));
    // Nothing sent means nothing awaited: the task is over before the event
    // loop runs, where any request, even a refused one, would need the loop.
    QCoro::Task<bool> configured = nas.configure("http://192.168.1.50:8384", "key", "NAS");
    ASSERT_TRUE(configured.isReady());
    EXPECT_FALSE(awaitTask(std::move(configured)));
    EXPECT_EQ(nas.lastError(), QStringLiteral("Couldn't reach the node at http://192.168.1.50:8384. Check the address "
                                              "and API key (Syncthing \u2192 Actions \u2192 Settings \u2192 API Key)."));
    EXPECT_TRUE(nas.nodes().isEmpty());

    FakeHttpServer node;
    ASSERT_TRUE(node.listen());
    node.enqueue(Response::json(R"({"myID": "NODE-ID"})"));
    EXPECT_EQ(awaitTask(NodeClient().fetchDeviceID(node.baseURL().toString(), "key")).value, QStringLiteral("NODE-ID"));
}

TEST(LoopbackOnlyRunTest, OpenExternalOpensNoWebPageBeyondLoopback)
{
    UrlCapture recorder;
    const struct
    {
        const char *url;
        bool opened;
    } rows[] = {
        {"https://syncthing.net/", false},
        {"HTTP://192.168.1.50:8384/", false},
        {"http://127.0.0.1:48390/?t=abc", true},
        {"http://[::1]:8384/", true},
        {"https://localhost/", true},
        {"mailto:someone@example.org", true},
    };
    for (const auto &row : rows) {
        recorder.opened.clear();
        const QUrl url(QString::fromUtf8(row.url));
        EXPECT_EQ(openExternal(url), row.opened) << row.url;
        EXPECT_EQ(recorder.opened, row.opened ? QList<QUrl>{url} : QList<QUrl>{}) << row.url;
    }
}

} // namespace
} // namespace tw
