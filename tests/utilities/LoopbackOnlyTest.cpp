#include "utilities/LoopbackOnly.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(LoopbackOnlyTest, OnlyLoopbackTextsAreLoopbackHosts)
{
    const struct
    {
        const char *host;
        bool loopback;
    } rows[] = {
        {"127.0.0.1", true},
        {"127.0.0.2", true},
        {"127.255.255.254", true},
        {"localhost", true},
        {"LocalHost", true},
        {"::1", true},
        {"[::1]", true},
        {"::ffff:127.0.0.1", true},
        {"192.168.1.50", false},
        {"127.0.0.1.example", false},
        {"localhost.example.org", false},
        {"::ffff:192.168.1.50", false},
        {"::1%lo", false},
        {"128.0.0.1", false},
        {"", false},
    };
    for (const auto &row : rows)
        EXPECT_EQ(isLoopbackHost(QString::fromUtf8(row.host)), row.loopback) << row.host;
}

} // namespace
} // namespace tw
