// One Mac reads another's folder status end to end: two real Syncthing
// instances paired on 127.0.0.1 and 127.0.0.2.

#include "lan/DiagServer.h"

#include "AwaitTask.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"
#include "controllers/PeerDiagController.h"
#include "lan/PairedPeerGate.h"
#include "lan/PeerAddress.h"
#include "engine/syncthing/SyncthingEngine.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

using namespace std::chrono_literals;

namespace tw {
namespace {

const QString kFolderID = QStringLiteral("tdw-5a7e0001");
const QByteArray kContent = QByteArrayLiteral("status travels between Macs\n").repeated(300);

// What the application installs as the status handler.
QCoro::Task<QByteArray> encodedStatus(QPointer<SyncEngine> engine)
{
    if (!engine)
        co_return QByteArrayLiteral("[]");
    const QList<FolderDiagStatus> records = co_await engine->diagnosticsStatus();
    co_return FolderDiagStatus::encodeList(records);
}

// Mac B's host as Mac A's engine sees it, as the application derives it.
QString hostOf(SyncEngine &engine, const QString &deviceID)
{
    for (const DeviceConnection &connection : awaitTask(engine.connections())) {
        if (connection.id == deviceID && connection.connected)
            return PeerAddress::hostOfConnectionAddress(connection.address).value_or(QString());
    }
    return QString();
}

TEST(DiagServerIntegrationTest, PairedMacReadsTheOthersFolderStatus)
{
    SyncthingInstance macA{QStringLiteral("127.0.0.1"), QStringLiteral("Mac A")};
    SyncthingInstance macB{QStringLiteral("127.0.0.2"), QStringLiteral("Mac B")};
    macA.start();
    macB.start();
    macA.pairWith(macB);
    ASSERT_TRUE(macA.waitUntilConnected(macB.deviceID()));
    ASSERT_TRUE(macB.waitUntilConnected(macA.deviceID()));
    const std::unique_ptr<SyncthingEngine> engineA = macA.makeEngine();
    const std::unique_ptr<SyncthingEngine> engineB = macB.makeEngine();
    awaitTask(engineA->start());
    awaitTask(engineB->start());

    const QString folderPath = macB.root() + "/folders/shared";
    QDir().mkpath(folderPath);
    QFile file(folderPath + "/notes.txt");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(kContent) == kContent.size());
    file.close();
    const QJsonObject folder{{"id", kFolderID},        {"label", "Film Project"}, {"path", folderPath},
                             {"type", "sendreceive"}, {"rescanIntervalS", 3600}, {"fsWatcherEnabled", false}};
    ASSERT_TRUE(macB.put("/rest/config/folders/" + kFolderID, QJsonDocument(folder).toJson()).ok());
    ASSERT_TRUE(waitUntil(
        [&] {
            const QJsonObject status = macB.get("/rest/db/status?folder=" + kFolderID).json().object();
            return status.value("state").toString() == "idle" && status.value("localBytes").toInteger() == kContent.size();
        },
        60000));

    // Mac B's LAN status server, listening on the address Mac A knows it by.
    const QString host = hostOf(*engineA, macB.deviceID());
    ASSERT_TRUE(host.startsWith("127.")) << host.toStdString();
    DiagServer::Options options;
    options.address = QHostAddress(host);
    options.port = 0;
    DiagServer server(options);
    server.isKnownPeer = PairedPeerGate::forEngine(engineB.get());
    server.statusProvider = [engine = QPointer<SyncEngine>(engineB.get())] { return encodedStatus(engine); };
    server.start();
    ASSERT_TRUE(server.isRunning());
    PeerDiagController reader(PeerDiagController::Options{server.serverPort(), 4000ms});

    // An ID Mac B has never been paired with, sent from the same machine.
    const QString stranger = QStringLiteral("AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG-HHHHHHH");
    awaitTask(reader.refresh({{macB.deviceID(), host}}, stranger));
    EXPECT_EQ(reader.reachable(), (PeerReachabilityMap{{macB.deviceID(), false}}));
    EXPECT_TRUE(reader.peerStatus().isEmpty());

    awaitTask(reader.refresh({{macB.deviceID(), host}}, awaitTask(engineA->localDeviceID())));
    EXPECT_EQ(reader.reachable(), (PeerReachabilityMap{{macB.deviceID(), true}}));
    const FolderDiagStatus expected{kFolderID, "Film Project", "idle", kContent.size(), kContent.size(), 0, 0};
    EXPECT_EQ(reader.status(macB.deviceID(), kFolderID), expected);
    EXPECT_EQ(reader.peerStatus().value(macB.deviceID()).size(), 1);
}

} // namespace
} // namespace tw
