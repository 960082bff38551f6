#include "platform/TailscaleDetector.h"

#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/socket.h>

namespace tw {
namespace {

TEST(TailscaleDetectorTest, TheFirstUpIPv4InterfaceInRangeOtherThanLoopback)
{
    using Entry = TailscaleDetector::InterfaceAddress;
    const unsigned up = IFF_UP | IFF_RUNNING;
    const std::pair<std::vector<Entry>, std::optional<QString>> cases[] = {
        {{{up, AF_INET, "192.168.1.2"}, {up, AF_INET, "100.101.0.1"}, {up, AF_INET, "100.102.0.1"}}, "100.101.0.1"},
        {{{up | IFF_LOOPBACK, AF_INET, "100.64.0.1"}}, std::nullopt},
        {{{IFF_RUNNING, AF_INET, "100.64.0.1"}}, std::nullopt},
        {{{up, AF_INET6, "fd7a:115c:a1e0::1"}, {up, AF_PACKET, ""}}, std::nullopt},
        // The edges of 100.64.0.0/10.
        {{{up, AF_INET, "100.63.255.255"}, {up, AF_INET, "100.128.0.0"}, {up, AF_INET, "100.127.255.255"}},
         "100.127.255.255"},
        {{{up, AF_INET, "100.64.0.0"}}, "100.64.0.0"},
    };
    for (const auto &[interfaces, expected] : cases)
        EXPECT_EQ(TailscaleDetector::firstTailscaleIPv4(interfaces), expected)
            << interfaces.front().address.toStdString();
}

} // namespace
} // namespace tw
