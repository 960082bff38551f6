#include "engine/PairedPeerGate.h"

#include "AwaitTask.h"
#include "FakeSyncEngine.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

const QString peerID = QStringLiteral("PEERDEV-AAAAAAA-BBBBBBB");

struct GateCase
{
    const char *name;
    QString sender;
    QString source;
    bool paired;
    std::optional<QString> connectionAddress;  // absent: no connection entry
    bool connected;
    bool admitted;
};

class PairedPeerGateTest : public ::testing::TestWithParam<GateCase>
{
};

TEST_P(PairedPeerGateTest, AdmitsOnlyPairedDeviceFromItsConnection)
{
    const GateCase &c = GetParam();
    FakeSyncEngine engine;
    if (c.paired)
        engine.state.devices = {SyncDevice{peerID, QStringLiteral("Studio Mac")}};
    if (c.connectionAddress) {
        DeviceConnection connection;
        connection.id = peerID;
        connection.connected = c.connected;
        connection.address = *c.connectionAddress;
        engine.state.connections = {connection};
    }
    EXPECT_EQ(awaitTask(PairedPeerGate::admits(&engine, c.sender, c.source)), c.admitted);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, PairedPeerGateTest,
    ::testing::Values(
        GateCase{"SameHost", peerID, "192.168.1.20", true, QString("192.168.1.20:22000"), true, true},
        GateCase{"ForgedFromAnotherHost", peerID, "192.168.1.66", true, QString("192.168.1.20:22000"), true, false},
        GateCase{"MappedSource", peerID, "::ffff:192.168.1.20", true, QString("192.168.1.20:51234"), true, true},
        GateCase{"BracketedIPv6", peerID, "fe80::1%eth0", true, QString("[fe80::1%eth0]:22000"), true, true},
        GateCase{"LoopbackAliases", peerID, "127.0.0.1", true, QString("127.0.0.2:22000"), true, true},
        GateCase{"RelayedConnection", peerID, "192.168.1.20", true, QString("51.15.2.3:22067"), true, false},
        GateCase{"NotConnected", peerID, "192.168.1.20", true, QString("192.168.1.20:22000"), false, false},
        GateCase{"NoConnection", peerID, "192.168.1.20", true, std::nullopt, false, false},
        GateCase{"NotPaired", peerID, "192.168.1.20", false, QString("192.168.1.20:22000"), true, false},
        GateCase{"IDInOtherCase", peerID.toLower(), "192.168.1.20", true, QString("192.168.1.20:22000"), true, false},
        GateCase{"EmptySender", "", "192.168.1.20", true, QString("192.168.1.20:22000"), true, false},
        GateCase{"EmptyConnectionAddress", peerID, "192.168.1.20", true, QString(""), true, false}),
    [](const auto &info) { return std::string(info.param.name); });

class PairedPeerGateFailureTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        engine.state.devices = {SyncDevice{peerID, QStringLiteral("Studio Mac")}};
        DeviceConnection connection;
        connection.id = peerID;
        connection.connected = true;
        connection.address = QStringLiteral("192.168.1.20:22000");
        engine.state.connections = {connection};
    }

    FakeSyncEngine engine;
};

TEST_F(PairedPeerGateFailureTest, EmptySenderAsksNothing)
{
    EXPECT_FALSE(awaitTask(PairedPeerGate::admits(&engine, QString(), QStringLiteral("192.168.1.20"))));
    EXPECT_TRUE(engine.callLog().isEmpty());
}

TEST_F(PairedPeerGateFailureTest, UnpairedSenderDoesNotReadConnections)
{
    EXPECT_FALSE(awaitTask(PairedPeerGate::admits(&engine, QStringLiteral("OTHER"), QStringLiteral("192.168.1.20"))));
    EXPECT_EQ(engine.callNames(), QStringList{"isPairedDevice"});
}

TEST_F(PairedPeerGateFailureTest, FailingConnectionsRefuse)
{
    engine.failNext(QStringLiteral("connections"), SyncEngineError::notRunning());
    EXPECT_FALSE(awaitTask(PairedPeerGate::admits(&engine, peerID, QStringLiteral("192.168.1.20"))));
    EXPECT_TRUE(awaitTask(PairedPeerGate::admits(&engine, peerID, QStringLiteral("192.168.1.20"))));
}

TEST_F(PairedPeerGateFailureTest, NoEngineRefuses)
{
    EXPECT_FALSE(awaitTask(PairedPeerGate::admits(nullptr, peerID, QStringLiteral("192.168.1.20"))));
}

} // namespace
} // namespace tw
