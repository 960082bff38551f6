#include "lan/PeerAddress.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

// Every address the engine reports for a connection, as the URL that both a
// paired Mac's status and a removal are asked at, and the host the request
// connects to. Nothing of a text no URL can be made of.
TEST(PeerAddressTest, EachConnectionAddressGivesOneRequestUrlOrNone)
{
    const struct
    {
        const char *address;
        const char *url;  // empty: none
        const char *host;
    } rows[] = {
        {"192.168.1.20:22000", "http://192.168.1.20:48390/purge", "192.168.1.20"},
        {"192.168.1.5", "http://192.168.1.5:48390/purge", "192.168.1.5"},
        {"[fd00::2]:22000", "http://[fd00::2]:48390/purge", "fd00::2"},
        {"[FD00:0::2]:22000", "http://[fd00::2]:48390/purge", "fd00::2"},
        {"[fe80::bcad:5bff:fea1:9a4f%eth0]:22000", "http://[fe80::bcad:5bff:fea1:9a4f%25eth0]:48390/purge",
         "fe80::bcad:5bff:fea1:9a4f%eth0"},
        {"[fe80::1%enp0s31f6]:22000", "http://[fe80::1%25enp0s31f6]:48390/purge", "fe80::1%enp0s31f6"},
        {"laptop-b.local:22000", "http://laptop-b.local:48390/purge", "laptop-b.local"},
        {"[fe80::1%eth0/x]:22000", "", ""},
        {"[fe80::1%]:22000", "", ""},
        {"[fe80::1%eth 0]:22000", "", ""},
        {"[fe80::1:22000", "", ""},
        {"[laptop-b]:22000", "", ""},
        {"192.168.1.20%eth0:22000", "", ""},
        {"user@laptop-b:22000", "", ""},
        {"laptop b:22000", "", ""},
        {"laptop-b/status?x:22000", "", ""},
        {"", "", ""},
    };
    for (const auto &row : rows) {
        const std::optional<QString> host = PeerAddress::hostOfConnectionAddress(row.address);
        const std::optional<QUrl> url = host ? PeerAddress::requestUrl(*host, 48390, "/purge") : std::nullopt;
        EXPECT_EQ(url ? url->toString(QUrl::FullyEncoded) : QString(), row.url) << row.address;
        EXPECT_EQ(url ? url->host() : QString(), row.host) << row.address;
    }
}

} // namespace
} // namespace tw
