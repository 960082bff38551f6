#include "lan/PeerAddress.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(PeerAddressTest, ComparesNormalisedHostsEitherWayRound)
{
    const struct
    {
        QString a;
        QString b;
        bool same;
    } cases[] = {
        {"192.168.1.20", "192.168.1.21", false},
        {"::ffff:192.168.1.20", "192.168.1.20", true},
        {"[fe80::1%eth0]", "fe80::1%2", true},
        {"[FD7A:115C:A1E0:0:0:0:0:1]", "fd7a:115c:a1e0::1", true},
        {"127.0.0.2", "127.0.0.1", true},
        {"::ffff:127.0.0.1", "127.0.0.5", true},
        {"[::1]", "127.0.0.1", true},
        {"127.0.0.1", "192.168.1.20", false},
        {"", "", false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(PeerAddress::sameHost(c.a, c.b), c.same) << c.a.toStdString() << " " << c.b.toStdString();
        EXPECT_EQ(PeerAddress::sameHost(c.b, c.a), c.same) << c.b.toStdString() << " " << c.a.toStdString();
    }
}

TEST(PeerAddressTest, TakesTheHostOfAConnectionAddress)
{
    const struct
    {
        QString address;
        std::optional<QString> host;
    } cases[] = {
        {"192.168.1.20:22000", QString("192.168.1.20")},
        {"[fe80::1%eth0]:22000", QString("[fe80::1%eth0]")},
        {"[fe80::1:22000", std::nullopt},
        {"nas.local", QString("nas.local")},
        {"", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PeerAddress::hostOfConnectionAddress(c.address), c.host) << c.address.toStdString();
}

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
        {"127.0.0.2", true},
        {"169.254.10.1", true},
        {"100.100.1.7", true},
        {"100.63.255.255", false},
        {"100.128.0.1", false},
        {"51.15.2.3", false},
        {"[::ffff:192.168.1.20]", true},
        {"[fe80::1%eth0]", true},
        {"[fd7a:115c:a1e0::1]", true},
        {"[2001:db8::1]", false},
        {"relay.example.com", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PeerAddress::isLocalNetworkHost(c.host), c.local) << c.host.toStdString();
}

} // namespace
} // namespace tw
