#include "engine/PairedPeerGate.h"

#include "AwaitTask.h"
#include "FakeSyncEngine.h"

#include <gtest/gtest.h>

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
    return awaitTask(PairedPeerGate::admits(&engine, sender, source));
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

TEST(PairedPeerGateTest, FailingOrMissingEngineRefuses)
{
    FakeSyncEngine engine;
    arrange(engine, true, QStringLiteral("192.168.1.20:22000"));
    engine.failNext(QStringLiteral("connections"), SyncEngineError::notRunning());
    EXPECT_FALSE(admits(engine, peerID, QStringLiteral("192.168.1.20")));
    EXPECT_TRUE(admits(engine, peerID, QStringLiteral("192.168.1.20")));
    EXPECT_FALSE(awaitTask(PairedPeerGate::admits(nullptr, peerID, QStringLiteral("192.168.1.20"))));
}

} // namespace
} // namespace tw
