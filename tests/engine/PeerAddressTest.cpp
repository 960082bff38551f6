#include "engine/PeerAddress.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

struct SameHostCase
{
    const char *name;
    QString a;
    QString b;
    bool same;
};

class PeerAddressSameHostTest : public ::testing::TestWithParam<SameHostCase>
{
};

TEST_P(PeerAddressSameHostTest, ComparesNormalisedHosts)
{
    EXPECT_EQ(PeerAddress::sameHost(GetParam().a, GetParam().b), GetParam().same);
    EXPECT_EQ(PeerAddress::sameHost(GetParam().b, GetParam().a), GetParam().same);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, PeerAddressSameHostTest,
    ::testing::Values(SameHostCase{"EqualIPv4", "192.168.1.20", "192.168.1.20", true},
                      SameHostCase{"DifferentIPv4", "192.168.1.20", "192.168.1.21", false},
                      SameHostCase{"IPv4Mapped", "::ffff:192.168.1.20", "192.168.1.20", true},
                      SameHostCase{"IPv4MappedOtherHost", "::ffff:192.168.1.21", "192.168.1.20", false},
                      SameHostCase{"BracketsDropped", "[fe80::1]", "fe80::1", true},
                      SameHostCase{"ZoneDropped", "[fe80::1%eth0]", "fe80::1%2", true},
                      SameHostCase{"IPv6Spellings", "[FD7A:115C:A1E0:0:0:0:0:1]", "fd7a:115c:a1e0::1", true},
                      SameHostCase{"LoopbackRange", "127.0.0.2", "127.0.0.1", true},
                      SameHostCase{"MappedLoopback", "::ffff:127.0.0.1", "127.0.0.5", true},
                      SameHostCase{"IPv6Loopback", "[::1]", "127.0.0.1", true},
                      SameHostCase{"LoopbackIsNotLan", "127.0.0.1", "192.168.1.20", false},
                      SameHostCase{"EmptyMatchesNothing", "", "", false},
                      SameHostCase{"EmptyVersusAddress", "", "10.0.0.1", false}),
    [](const auto &info) { return std::string(info.param.name); });

struct HostCase
{
    const char *name;
    QString address;
    std::optional<QString> host;
};

class PeerAddressHostTest : public ::testing::TestWithParam<HostCase>
{
};

TEST_P(PeerAddressHostTest, TakesHostOfConnectionAddress)
{
    EXPECT_EQ(PeerAddress::hostOfConnectionAddress(GetParam().address), GetParam().host);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, PeerAddressHostTest,
    ::testing::Values(HostCase{"IPv4WithPort", "192.168.1.20:22000", QString("192.168.1.20")},
                      HostCase{"BracketedIPv6KeepsBrackets", "[fe80::1%eth0]:22000", QString("[fe80::1%eth0]")},
                      HostCase{"UnclosedBracketDropped", "[fe80::1:22000", std::nullopt},
                      HostCase{"NoColonUsedWhole", "nas.local", QString("nas.local")},
                      HostCase{"EmptyDropped", "", std::nullopt}),
    [](const auto &info) { return std::string(info.param.name); });

struct LocalCase
{
    const char *name;
    QString host;
    bool local;
};

class PeerAddressLocalTest : public ::testing::TestWithParam<LocalCase>
{
};

TEST_P(PeerAddressLocalTest, KnowsLocalNetworks)
{
    EXPECT_EQ(PeerAddress::isLocalNetworkHost(GetParam().host), GetParam().local);
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, PeerAddressLocalTest,
    ::testing::Values(LocalCase{"Private10", "10.1.2.3", true},
                      LocalCase{"Private172", "172.31.255.1", true},
                      LocalCase{"Public172", "172.32.0.1", false},
                      LocalCase{"Private192", "192.168.1.20", true},
                      LocalCase{"Loopback", "127.0.0.2", true},
                      LocalCase{"LinkLocal", "169.254.10.1", true},
                      LocalCase{"Tailnet", "100.100.1.7", true},
                      LocalCase{"BelowTailnet", "100.63.255.255", false},
                      LocalCase{"AboveTailnet", "100.128.0.1", false},
                      LocalCase{"PublicRelay", "51.15.2.3", false},
                      LocalCase{"MappedPrivate", "[::ffff:192.168.1.20]", true},
                      LocalCase{"MappedPublic", "[::ffff:8.8.8.8]", false},
                      LocalCase{"IPv6Loopback", "[::1]", true},
                      LocalCase{"IPv6LinkLocalWithZone", "[fe80::1%eth0]", true},
                      LocalCase{"TailnetIPv6", "[fd7a:115c:a1e0::1]", true},
                      LocalCase{"GlobalIPv6", "[2001:db8::1]", false},
                      LocalCase{"Name", "relay.example.com", false},
                      LocalCase{"Empty", "", false}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace tw
