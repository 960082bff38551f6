#include "platform/TailscaleDetector.h"

#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/socket.h>

namespace tw {
namespace {

TEST(TailscaleDetectorTest, AddressRange)
{
    struct Case
    {
        const char *address;
        bool inRange;
    };
    const Case cases[] = {
        {"100.64.0.0", true}, {"100.127.255.255", true}, {"100.63.255.255", false}, {"100.128.0.1", false},
        {"10.64.0.1", false}, {"101.64.0.1", false},
        // Not well-formed dotted quads.
        {"", false}, {"100.64.1", false}, {"100.64.1.2.3", false}, {"100.64..1.2", false},
        {"100.64.256.1", false}, {"+100.64.1.1", false}, {" 100.64.1.1", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(TailscaleDetector::isCGNAT(QString::fromLatin1(c.address)), c.inRange) << c.address;
}

TEST(TailscaleDetectorTest, ChoiceOverInterfaces)
{
    using Entry = TailscaleDetector::InterfaceAddress;
    const unsigned up = IFF_UP | IFF_RUNNING;
    struct Case
    {
        const char *name;
        std::vector<Entry> interfaces;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {"an up interface in range", {{up, AF_INET, "192.168.1.2"}, {up, AF_INET, "100.100.1.7"}}, "100.100.1.7"},
        {"loopback is ignored", {{up | IFF_LOOPBACK, AF_INET, "100.64.0.1"}}, std::nullopt},
        {"a down interface is ignored", {{IFF_RUNNING, AF_INET, "100.64.0.1"}}, std::nullopt},
        {"IPv6 is ignored", {{up, AF_INET6, "fd7a:115c:a1e0::1"}, {up, AF_PACKET, ""}}, std::nullopt},
        {"the first in range wins", {{up, AF_INET, "100.101.0.1"}, {up, AF_INET, "100.102.0.1"}}, "100.101.0.1"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(TailscaleDetector::firstTailscaleIPv4(c.interfaces), c.expected) << c.name;
}

} // namespace
} // namespace tw
