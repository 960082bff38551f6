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

void arrange(FakeSyncEngine &engine, bool paired, std::optional<QString> connectionAddress, bool connected = true)
{
    if (paired)
        engine.state.devices = {SyncDevice{peerID, QStringLiteral("Studio Mac")}};
    if (connectionAddress) {
        DeviceConnection connection;
        connection.id = peerID;
        connection.connected = connected;
        connection.address = *connectionAddress;
        engine.state.connections = {connection};
    }
}

bool admits(FakeSyncEngine &engine, const QString &sender, const QString &source)
{
    return awaitTask(PairedPeerGate(&engine).admits(sender, source));
}

QCoro::Task<void> answerFromTheEventLoop(QString)
{
    co_await QCoro::sleepFor(1ms);
}

TEST(PairedPeerGateTest, AdmitsOnlyAPairedDeviceFromItsConnection)
{
    const struct
    {
        const char *name;
        QString sender;
        QString source;
        bool paired;
        std::optional<QString> connectionAddress;
        bool connected;
        bool admitted;
    } cases[] = {
        {"same host", peerID, "192.168.1.20", true, QString("192.168.1.20:22000"), true, true},
        {"forged from another host", peerID, "192.168.1.66", true, QString("192.168.1.20:22000"), true, false},
        {"bracketed IPv6", peerID, "fe80::1%eth0", true, QString("[fe80::1%eth0]:22000"), true, true},
        {"not connected", peerID, "192.168.1.20", true, QString("192.168.1.20:22000"), false, false},
        {"no connection", peerID, "192.168.1.20", true, std::nullopt, false, false},
        {"not paired", peerID, "192.168.1.20", false, QString("192.168.1.20:22000"), true, false},
        {"empty sender", "", "192.168.1.20", true, QString("192.168.1.20:22000"), true, false},
    };
    for (const auto &c : cases) {
        FakeSyncEngine engine;
        arrange(engine, c.paired, c.connectionAddress, c.connected);
        EXPECT_EQ(admits(engine, c.sender, c.source), c.admitted) << c.name;
    }
}

TEST(PairedPeerGateTest, BurstsShareOneRefreshInTwoSecondsAndAFailedOneRefusesUntilThen)
{
    FakeSyncEngine engine;
    arrange(engine, true, QStringLiteral("192.168.1.20:22000"));
    engine.failNext(QStringLiteral("connections"), SyncEngineError::notRunning());
    engine.beforeAnswer = answerFromTheEventLoop;  // so each burst overlaps its refresh
    ManualClock clock;
    PairedPeerGate gate(&engine, clock.clock());
    const std::tuple<qint64, int, int> bursts[] = {{0, 1, 0}, {1999, 1, 0}, {1, 2, 100}};  // advance, refreshes, admitted
    for (const auto &[advanceMs, refreshes, admitted] : bursts) {
        clock.advanceMs(advanceMs);
        std::vector<QCoro::Task<bool>> requests;
        for (int i = 0; i < 100; ++i)
            requests.push_back(gate.admits(peerID, QStringLiteral("192.168.1.20")));
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
