// How network settings are read from and merged into Syncthing's options.

#include "engine/syncthing/NetworkOptions.h"

#include "QtPrinters.h"

#include <QJsonArray>
#include <gtest/gtest.h>

namespace tw {
namespace {

using List = std::optional<QStringList>;

TEST(NetworkOptions, SettingsFromOptions)
{
    STOptions full;
    full.natEnabled = false;
    full.relaysEnabled = false;
    full.localAnnounceEnabled = true;
    full.globalAnnounceEnabled = false;
    full.listenAddresses = QStringList{"tcp://127.0.0.1:22000", "relay://127.0.0.1:1", "relay://127.0.0.1:2"};
    full.globalAnnounceServers = QStringList{"default", "https://127.0.0.1:3/", "https://127.0.0.1:4/"};
    full.maxRecvKbps = 100;
    full.maxSendKbps = 50;
    full.alwaysLocalNets = QStringList{"10.0.0.0/8", "192.168.1.0/24"};
    const NetworkSettings expected{false, false, true, false, "relay://127.0.0.1:1", "https://127.0.0.1:3/",
                                   100,   50,    "10.0.0.0/8\n192.168.1.0/24"};
    EXPECT_EQ(NetworkOptions::settingsFrom(full), expected);

    // Absent switches read as on, as in Syncthing's defaults.
    EXPECT_EQ(NetworkOptions::settingsFrom(STOptions()), (NetworkSettings{true, true, true, true, "", "", 0, 0, ""}));
}

TEST(NetworkOptions, CustomEntriesRead)
{
    struct Case
    {
        List listen;
        List servers;
        QString relay;
        QString discovery;
    } cases[] = {
        {QStringList{"default"}, QStringList{"default"}, "", ""},
        {QStringList{"tcp://0.0.0.0:22000"}, QStringList{"https://127.0.0.1:9/"}, "", "https://127.0.0.1:9/"},
        // Only the exact word "default" is Syncthing's own entry.
        {QStringList{"Relay://127.0.0.1:1"}, QStringList{"Default"}, "", "Default"},
    };
    for (const Case &c : cases) {
        STOptions options;
        options.listenAddresses = c.listen;
        options.globalAnnounceServers = c.servers;
        const NetworkSettings read = NetworkOptions::settingsFrom(options);
        EXPECT_EQ(read.customRelayURL, c.relay);
        EXPECT_EQ(read.customDiscoveryURL, c.discovery);
    }
}

TEST(NetworkOptions, ListenAddressMerge)
{
    const std::tuple<List, QString, QStringList> cases[] = {
        {std::nullopt, "relay://127.0.0.1:1", {"default", "relay://127.0.0.1:1"}},
        {QStringList{"relay://127.0.0.1:1"}, "", {"default"}},
        {QStringList{"tcp://127.0.0.1:5", "relay://127.0.0.1:1", "quic://127.0.0.1:5", "relay://127.0.0.1:2"},
         "relay://127.0.0.1:3", {"tcp://127.0.0.1:5", "quic://127.0.0.1:5", "relay://127.0.0.1:3"}},
    };
    for (const auto &[current, relay, expected] : cases)
        EXPECT_EQ(NetworkOptions::listenAddresses(current, relay), expected) << relay.toStdString();
}

TEST(NetworkOptions, DiscoveryServerMerge)
{
    const std::tuple<List, QString, QStringList> cases[] = {
        {std::nullopt, "", {"default"}},
        {QStringList{}, "https://127.0.0.1:9/", {"default", "https://127.0.0.1:9/"}},
        {QStringList{"default", "https://127.0.0.1:8/"}, "https://127.0.0.1:9/", {"default", "https://127.0.0.1:9/"}},
        {QStringList{"default", "default"}, "", {"default", "default"}},
    };
    for (const auto &[current, custom, expected] : cases)
        EXPECT_EQ(NetworkOptions::discoveryServers(current, custom), expected) << custom.toStdString();
}

TEST(NetworkOptions, LocalNetworksSplitOnEveryLineBreak)
{
    const std::pair<QString, QStringList> cases[] = {
        {"  \n\t\n \r\n ", {}},
        {"a\nb\rc\r\nd", {"a", "b", "c", "d"}},
        {QString("a\vb\fc") + QChar(0x85) + "d" + QChar(0x2028) + "e" + QChar(0x2029) + "f",
         {"a", "b", "c", "d", "e", "f"}},
        {QString("a") + QChar(0x00A0) + QChar(0x2003) + "\n" + QChar(0x3000) + " b", {"a", "b"}},
        {"10.1.0.0/16 192.168.0.0/16", {"10.1.0.0/16 192.168.0.0/16"}}, // a blank inside a line stays
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(NetworkOptions::splitNetworks(text), expected) << text.toStdString();
}

TEST(NetworkOptions, PatchCarriesExactlyTheNineKeys)
{
    const NetworkSettings settings{true,  false, false, false, "relay://127.0.0.1:1", "https://127.0.0.1:2/",
                                   -5,    7,     " 10.0.0.0/8 \n\n"};
    STOptions current;
    current.listenAddresses = QStringList{"tcp://127.0.0.1:4000", "relay://127.0.0.1:9"};
    current.maxRecvKbps = 99;

    QJsonObject expected;
    expected.insert("natEnabled", true);
    expected.insert("relaysEnabled", false);
    expected.insert("localAnnounceEnabled", false);
    expected.insert("globalAnnounceEnabled", false);
    expected.insert("maxRecvKbps", -5); // limits go out unchanged
    expected.insert("maxSendKbps", 7);
    expected.insert("globalAnnounceServers", QJsonArray{"default", "https://127.0.0.1:2/"});
    expected.insert("listenAddresses", QJsonArray{"tcp://127.0.0.1:4000", "relay://127.0.0.1:1"});
    expected.insert("alwaysLocalNets", QJsonArray{"10.0.0.0/8"});
    EXPECT_EQ(NetworkOptions::patchFor(settings, current), expected);
}

} // namespace
} // namespace tw
