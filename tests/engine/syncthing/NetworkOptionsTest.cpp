// How network settings are merged into Syncthing's options. Reading them
// back, and the limits, are left to the real-instance tests.

#include "engine/syncthing/NetworkOptions.h"

#include "QtPrinters.h"

#include <QJsonArray>
#include <gtest/gtest.h>

namespace tw {
namespace {

// Only the exact word "default" is Syncthing's own entry; one's own relay or
// discovery server replaces the earlier ones; networks split at every line
// break, a blank inside a line stays.
TEST(NetworkOptions, PatchCarriesExactlyTheNineKeys)
{
    const NetworkSettings settings{true, false, false, false, "relay://127.0.0.1:1", "https://127.0.0.1:2/",
                                   5,    7,     QString(" 10.0.0.0/8 \n") + QChar(0x2028) + QChar(0x3000) + "a b"};
    STOptions current;
    current.listenAddresses = QStringList{"tcp://127.0.0.1:4000", "relay://127.0.0.1:9"};
    current.globalAnnounceServers = QStringList{"default", "Default", "https://127.0.0.1:8/"};
    const QJsonObject expected{
        {"natEnabled", true}, {"relaysEnabled", false}, {"localAnnounceEnabled", false},
        {"globalAnnounceEnabled", false}, {"maxRecvKbps", 5}, {"maxSendKbps", 7},
        {"globalAnnounceServers", QJsonArray{"default", "https://127.0.0.1:2/"}},
        {"listenAddresses", QJsonArray{"tcp://127.0.0.1:4000", "relay://127.0.0.1:1"}},
        {"alwaysLocalNets", QJsonArray{"10.0.0.0/8", "a b"}}};
    EXPECT_EQ(NetworkOptions::patchFor(settings, current), expected);
}

} // namespace
} // namespace tw
