// One Mac reads another's folder status end to end: two real Syncthing
// instances paired on 127.0.0.1 and 127.0.0.2, the LAN status server of the
// second answering through its engine, the status reader of the first asking.

#include "engine/DiagServer.h"

#include "AwaitTask.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"
#include "controllers/PeerDiagController.h"
#include "engine/PairedPeerGate.h"
#include "engine/PeerAddress.h"
#include "engine/syncthing/SyncthingEngine.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

using namespace std::chrono_literals;

namespace tw {
namespace {

const QString kFolderID = QStringLiteral("tdw-5a7e0001");
const QByteArray kContent = QByteArrayLiteral("status travels between Macs\n").repeated(300);

bool eventually(const std::function<bool()> &condition, std::chrono::milliseconds deadline = 60s)
{
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        runEventLoopFor(200);
    }
    return true;
}

// What the application installs as the status handler: the engine's records
// as the JSON array peers read.
QCoro::Task<QByteArray> encodedStatus(QPointer<SyncEngine> engine)
{
    if (!engine)
        co_return QByteArrayLiteral("[]");
    const QList<FolderDiagStatus> records = co_await engine->diagnosticsStatus();
    co_return FolderDiagStatus::encodeList(records);
}

class DiagServerIntegrationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        macA.start();
        macB.start();
        macA.pairWith(macB);
        ASSERT_TRUE(macA.waitUntilConnected(macB.deviceID()));
        ASSERT_TRUE(macB.waitUntilConnected(macA.deviceID()));
        engineA = macA.makeEngine();
        engineB = macB.makeEngine();
        awaitTask(engineA->start());
        awaitTask(engineB->start());

        const QString folderPath = macB.root() + "/folders/shared";
        QDir().mkpath(folderPath);
        QFile file(folderPath + "/notes.txt");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(kContent);
        file.close();
        const QJsonObject folder{{"id", kFolderID},           {"label", "Film Project"},   {"path", folderPath},
                                 {"type", "sendreceive"},    {"rescanIntervalS", 3600}, {"fsWatcherEnabled", false}};
        const SyncthingInstance::Response added = macB.put("/rest/config/folders/" + kFolderID, QJsonDocument(folder).toJson());
        ASSERT_TRUE(added.ok()) << added.status << " " << added.body.toStdString() << added.error.toStdString();
        ASSERT_TRUE(eventually([&] {
            const QJsonObject status = macB.get("/rest/db/status?folder=" + kFolderID).json().object();
            return status.value("state").toString() == "idle" && status.value("localBytes").toInteger() == kContent.size();
        }));
    }

    void TearDown() override
    {
        server.reset();
        if (engineA)
            awaitTask(engineA->stop());
        if (engineB)
            awaitTask(engineB->stop());
    }

    // Mac B's host as Mac A's engine sees it, as the application derives it.
    QString hostOfB()
    {
        for (const DeviceConnection &connection : awaitTask(engineA->connections())) {
            if (connection.id == macB.deviceID() && connection.connected)
                return PeerAddress::hostOfConnectionAddress(connection.address).value_or(QString());
        }
        return QString();
    }

    // Mac B's LAN status server, listening on the address Mac A knows it by.
    void startServerOfB(const QString &host)
    {
        DiagServer::Options options;
        options.address = QHostAddress(host);
        options.port = 0;
        server = std::make_unique<DiagServer>(options);
        server->isKnownPeer = PairedPeerGate::forEngine(engineB.get());
        server->statusProvider = [engine = QPointer<SyncEngine>(engineB.get())] { return encodedStatus(engine); };
        server->start();
        ASSERT_TRUE(server->isRunning());
    }

    SyncthingInstance macA{QStringLiteral("127.0.0.1"), QStringLiteral("Mac A")};
    SyncthingInstance macB{QStringLiteral("127.0.0.2"), QStringLiteral("Mac B")};
    std::unique_ptr<SyncthingEngine> engineA;
    std::unique_ptr<SyncthingEngine> engineB;
    std::unique_ptr<DiagServer> server;
};

TEST_F(DiagServerIntegrationTest, PairedMacReadsTheOthersFolderStatus)
{
    const QString host = hostOfB();
    ASSERT_FALSE(host.isEmpty());
    ASSERT_TRUE(host.startsWith("127.")) << host.toStdString();
    startServerOfB(host);

    PeerDiagController reader(PeerDiagController::Options{server->serverPort(), 4000ms});
    const QString idA = awaitTask(engineA->localDeviceID());
    awaitTask(reader.refresh({{macB.deviceID(), host}}, idA));

    EXPECT_EQ(reader.reachable(), (PeerReachabilityMap{{macB.deviceID(), true}}));
    const FolderDiagStatus expected{kFolderID, "Film Project", "idle", kContent.size(), kContent.size(), 0, 0};
    EXPECT_EQ(reader.status(macB.deviceID(), kFolderID), expected);
    EXPECT_EQ(reader.peerStatus().value(macB.deviceID()).size(), 1);
}

TEST_F(DiagServerIntegrationTest, DeviceThatIsNotPairedIsRefused)
{
    const QString host = hostOfB();
    ASSERT_FALSE(host.isEmpty());
    startServerOfB(host);

    PeerDiagController reader(PeerDiagController::Options{server->serverPort(), 4000ms});
    // An ID Mac B has never been paired with, sent from the same machine.
    const QString stranger = QStringLiteral("AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG-HHHHHHH");
    awaitTask(reader.refresh({{macB.deviceID(), host}}, stranger));
    EXPECT_EQ(reader.reachable(), (PeerReachabilityMap{{macB.deviceID(), false}}));
    EXPECT_TRUE(reader.peerStatus().isEmpty());

    // Once Mac B's server is gone, the last good report stays readable.
    awaitTask(reader.refresh({{macB.deviceID(), host}}, awaitTask(engineA->localDeviceID())));
    ASSERT_EQ(reader.reachable(), (PeerReachabilityMap{{macB.deviceID(), true}}));
    server->stop();
    awaitTask(reader.refresh({{macB.deviceID(), host}}, awaitTask(engineA->localDeviceID())));
    EXPECT_EQ(reader.reachable(), (PeerReachabilityMap{{macB.deviceID(), false}}));
    EXPECT_TRUE(reader.status(macB.deviceID(), kFolderID).has_value());
}

} // namespace
} // namespace tw
