#include "lan/PairedPeerGate.h"

#include "AwaitTask.h"
#include "FakeSyncEngine.h"
#include "ManualClock.h"

#include <gtest/gtest.h>
#include <tuple>
#include <vector>

#include <qcoro/qcorotimer.h>

using namespace std::chrono_literals;

namespace tw {
namespace {

const QString peerID = QStringLiteral("PEERDEV-AAAAAAA-BBBBBBB");

void arrange(FakeSyncEngine &engine, QString connectionAddress, bool paired = true, bool connected = true,
             QString type = QStringLiteral("tcp-client"))
{
    if (paired)
        engine.state.devices = {SyncDevice{peerID, QStringLiteral("Studio Mac")}};
    DeviceConnection connection;
    connection.id = peerID;
    connection.connected = connected;
    connection.address = std::move(connectionAddress);
    connection.connectionType = std::move(type);
    connection.isLocal = true;
    engine.state.connections = {connection};
}

QCoro::Task<void> answerFromTheEventLoop(QString)
{
    co_await QCoro::sleepFor(1ms);
}

TEST(PairedPeerGateTest, AdmitsAPairedDeviceOnlyFromTheHostOfItsConnection)
{
    const struct
    {
        QString source;
        QString connectionAddress;
        bool paired;
        bool connected;
        bool admitted;
        QString type = QStringLiteral("tcp-client");
    } cases[] = {
        // The burst test below admits the device from its own IPv4 host.
        // Device IDs are no secret: a paired device's ID sent from another host is refused.
        {"192.168.1.66", "192.168.1.20:22000", true, true, false},
        {"192.168.1.20", "192.168.1.20:22000", true, false, false},
        {"192.168.1.20", "192.168.1.20:22000", false, true, false},
        {"::ffff:192.168.1.20", "192.168.1.20:22000", true, true, true},
        {"fe80::1%2", "[fe80::1%eth0]:22000", true, true, true},
        // A client that connects to 127.0.0.2 arrives from 127.0.0.1.
        {"127.0.0.1", "[::1]:22000", true, true, true},
        {"127.0.0.1", "192.168.1.20:22000", true, true, false},
        {"", "", true, true, false},
        // Through a relay the address is the relay's.
        {"192.168.1.20", "192.168.1.20:22067", true, true, false, "relay-client"},
    };
    for (const auto &c : cases) {
        FakeSyncEngine engine;
        arrange(engine, c.connectionAddress, c.paired, c.connected, c.type);
        EXPECT_EQ(awaitTask(PairedPeerGate(&engine).admits(peerID, c.source)), c.admitted)
            << c.source.toStdString() << " " << c.connectionAddress.toStdString();
    }
}

TEST(PairedPeerGateTest, BurstsShareOneRefreshInTwoSecondsAndAFailedOneRefusesUntilThen)
{
    FakeSyncEngine engine;
    arrange(engine, QStringLiteral("192.168.1.20:22000"));
    engine.failNext(QStringLiteral("connections"), SyncEngineError::notRunning());
    engine.beforeAnswer = answerFromTheEventLoop;  // so each burst overlaps its refresh
    ManualClock clock;
    PairedPeerGate gate(&engine, clock.clock());
    // Advance while each burst waits, refreshes, admitted; the last refresh is stale when it lands (a slow engine).
    const std::tuple<qint64, int, int> bursts[] = {{0, 1, 0}, {1999, 1, 0}, {1, 1, 0}, {2000, 2, 100}};
    for (const auto &[advanceMs, refreshes, admitted] : bursts) {
        std::vector<QCoro::Task<bool>> requests;
        for (int i = 0; i < 100; ++i)
            requests.push_back(gate.admits(peerID, QStringLiteral("192.168.1.20")));
        clock.advanceMs(advanceMs);
        int admittedInBurst = 0;
        for (QCoro::Task<bool> &request : requests)
            admittedInBurst += awaitTask(std::move(request)) ? 1 : 0;
        EXPECT_EQ(admittedInBurst, admitted);
        EXPECT_EQ(engine.callCount(QStringLiteral("devices")), refreshes);
        EXPECT_EQ(engine.callCount(QStringLiteral("connections")), refreshes);
    }
    EXPECT_FALSE(awaitTask(PairedPeerGate(nullptr).admits(peerID, QStringLiteral("192.168.1.20"))));
}

} // namespace
} // namespace tw
