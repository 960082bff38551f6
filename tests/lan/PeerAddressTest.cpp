#include "lan/PeerAddress.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

// How two addresses compare, how mapped IPv4 is read and how a connection
// address yields its host is shown through the peer gate's table; that
// loopback peers are asked and public hosts never, through the status reader's.
TEST(PeerAddressTest, KnowsLocalLinkLocalAndTailnetHosts)
{
    const struct
    {
        QString host;
        bool local;
    } cases[] = {
        {"10.1.2.3", true},
        {"172.31.255.1", true},
        {"172.32.0.1", false},
        {"192.168.1.20", true},
        {"169.254.10.1", true},
        {"100.100.1.7", true},
        {"100.63.255.255", false},
        {"[fe80::1%eth0]", true},
        {"[fd7a:115c:a1e0::1]", true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PeerAddress::isLocalNetworkHost(c.host), c.local) << c.host.toStdString();
}

} // namespace
} // namespace tw
