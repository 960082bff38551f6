// One Mac reads another's folder status end to end: two real Syncthing
// instances paired on 127.0.0.1 and 127.0.0.2.

#include "lan/DiagServer.h"

#include "AwaitTask.h"
#include "SyncthingInstance.h"
#include "controllers/PeerDiagController.h"
#include "lan/PairedPeerGate.h"
#include "engine/syncthing/SyncthingEngine.h"

#include <QJsonObject>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

using namespace std::chrono_literals;

namespace tw {
namespace {

const QString kFolderID = QStringLiteral("tdw-5a7e0001");

// The status handler: this Mac's folder status as the peers read it.
QCoro::Task<QByteArray> encodedStatus(SyncEngine *engine)
{
    const QList<FolderDiagStatus> records = co_await engine->diagnosticsStatus();
    co_return FolderDiagStatus::encodeList(records);
}

TEST(DiagServerIntegrationTest, PairedMacReadsTheOthersFolderStatus)
{
    SyncthingInstance macA{QStringLiteral("127.0.0.1"), QStringLiteral("Mac A")};
    SyncthingInstance macB{QStringLiteral("127.0.0.2"), QStringLiteral("Mac B")};
    macA.start();
    macB.start();
    macA.pairWith(macB);
    ASSERT_TRUE(macA.waitUntilConnected(macB.deviceID()) && macB.waitUntilConnected(macA.deviceID()));
    const std::unique_ptr<SyncthingEngine> engineB = macB.startedEngine();
    macB.putFolder(kFolderID, {}, {{"label", "Film Project"}, {"rescanIntervalS", 3600}, {"fsWatcherEnabled", false}});
    ASSERT_TRUE(macB.waitUntilIndexed(kFolderID, 0));

    // Mac B's LAN status server, reached at the address Mac A knows it by.
    DiagServer server({.address = QHostAddress(macB.host()), .port = 0});
    server.isKnownPeer = PairedPeerGate::forEngine(engineB.get());
    server.statusProvider = [engine = engineB.get()] { return encodedStatus(engine); };
    server.start();
    PeerDiagController reader(PeerDiagController::Options{server.serverPort(), 4000ms});
    awaitTask(reader.refresh({{macB.deviceID(), macB.host()}}, macA.deviceID()));
    const FolderDiagStatus expected{kFolderID, "Film Project", "idle", 0, 0, 0, 0};
    EXPECT_EQ(reader.status(macB.deviceID(), kFolderID), expected);
}

} // namespace
} // namespace tw
