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

    const NetworkSettings read = NetworkOptions::settingsFrom(full);
    EXPECT_FALSE(read.natTraversalEnabled);
    EXPECT_FALSE(read.relayEnabled);
    EXPECT_TRUE(read.localDiscoveryEnabled);
    EXPECT_FALSE(read.globalDiscoveryEnabled);
    EXPECT_EQ(read.customRelayURL, "relay://127.0.0.1:1"); // the first relay of two
    EXPECT_EQ(read.customDiscoveryURL, "https://127.0.0.1:3/");
    EXPECT_EQ(read.downLimitKbps, 100);
    EXPECT_EQ(read.upLimitKbps, 50);
    EXPECT_EQ(read.alwaysLocalNets, "10.0.0.0/8\n192.168.1.0/24");
}

TEST(NetworkOptions, AbsentOptionsReadAsDefaults)
{
    NetworkSettings expected;
    expected.natTraversalEnabled = true;
    expected.relayEnabled = true;
    expected.localDiscoveryEnabled = true;
    expected.globalDiscoveryEnabled = true;
    EXPECT_EQ(NetworkOptions::settingsFrom(STOptions()), expected);
}

TEST(NetworkOptions, CustomEntriesRead)
{
    struct Case
    {
        List listen;
        List servers;
        QString relay;
        QString discovery;
    };
    const std::vector<Case> cases{
        {QStringList{"default"}, QStringList{"default"}, "", ""},
        {QStringList{}, QStringList{}, "", ""},
        {QStringList{"tcp://0.0.0.0:22000", "quic://0.0.0.0:22000"}, QStringList{"https://127.0.0.1:9/"}, "",
         "https://127.0.0.1:9/"},
        {QStringList{"relay://127.0.0.1:1/?id=X", "default"}, QStringList{"default", "default"}, "relay://127.0.0.1:1/?id=X", ""},
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
    struct Case
    {
        List current;
        QString relay;
        QStringList expected;
    };
    const std::vector<Case> cases{
        {std::nullopt, "", {"default"}},
        {std::nullopt, "relay://127.0.0.1:1", {"default", "relay://127.0.0.1:1"}},
        {QStringList{"relay://127.0.0.1:1"}, "", {"default"}},
        {QStringList{}, "", {"default"}},
        {QStringList{"tcp://127.0.0.1:5", "relay://127.0.0.1:1", "quic://127.0.0.1:5", "relay://127.0.0.1:2"},
         "relay://127.0.0.1:3", {"tcp://127.0.0.1:5", "quic://127.0.0.1:5", "relay://127.0.0.1:3"}},
        {QStringList{"default", "relay://127.0.0.1:1"}, "relay://127.0.0.1:1", {"default", "relay://127.0.0.1:1"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(NetworkOptions::listenAddresses(c.current, c.relay), c.expected) << c.relay.toStdString();
}

TEST(NetworkOptions, DiscoveryServerMerge)
{
    struct Case
    {
        List current;
        QString custom;
        QStringList expected;
    };
    const std::vector<Case> cases{
        {std::nullopt, "", {"default"}},
        {QStringList{}, "https://127.0.0.1:9/", {"default", "https://127.0.0.1:9/"}},
        // An earlier custom server never survives an apply.
        {QStringList{"default", "https://127.0.0.1:8/"}, "https://127.0.0.1:9/", {"default", "https://127.0.0.1:9/"}},
        {QStringList{"https://127.0.0.1:8/"}, "", {"default"}},
        {QStringList{"default", "default"}, "", {"default", "default"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(NetworkOptions::discoveryServers(c.current, c.custom), c.expected) << c.custom.toStdString();
}

TEST(NetworkOptions, LocalNetworksSplitOnEveryLineBreak)
{
    struct Case
    {
        QString text;
        QStringList expected;
    };
    const std::vector<Case> cases{
        {"", {}},
        {"  \n\t\n \r\n ", {}},
        {"10.0.0.0/8", {"10.0.0.0/8"}},
        {"  10.0.0.0/8\t ", {"10.0.0.0/8"}},
        {"a\nb\rc\r\nd", {"a", "b", "c", "d"}},
        {QString("a\vb\fc") + QChar(0x85) + "d" + QChar(0x2028) + "e" + QChar(0x2029) + "f",
         {"a", "b", "c", "d", "e", "f"}},
        {QString("a") + QChar(0x00A0) + QChar(0x2003) + "\n" + QChar(0x3000) + " b", {"a", "b"}},
        {"10.1.0.0/16 192.168.0.0/16", {"10.1.0.0/16 192.168.0.0/16"}}, // a blank inside a line stays
    };
    for (const Case &c : cases)
        EXPECT_EQ(NetworkOptions::splitNetworks(c.text), c.expected) << c.text.toStdString();
}

TEST(NetworkOptions, PatchCarriesExactlyTheNineKeys)
{
    NetworkSettings settings;
    settings.natTraversalEnabled = false;
    settings.relayEnabled = false;
    settings.localDiscoveryEnabled = false;
    settings.globalDiscoveryEnabled = false;
    settings.customRelayURL = "relay://127.0.0.1:1";
    settings.customDiscoveryURL = "https://127.0.0.1:2/";
    settings.downLimitKbps = -5; // limits go out unchanged
    settings.upLimitKbps = 7;
    settings.alwaysLocalNets = " 10.0.0.0/8 \n\n";
    STOptions current;
    current.listenAddresses = QStringList{"tcp://127.0.0.1:4000", "relay://127.0.0.1:9"};
    current.maxRecvKbps = 99;

    const QJsonObject patch = NetworkOptions::patchFor(settings, current);
    QJsonObject expected;
    expected.insert("natEnabled", false);
    expected.insert("relaysEnabled", false);
    expected.insert("localAnnounceEnabled", false);
    expected.insert("globalAnnounceEnabled", false);
    expected.insert("maxRecvKbps", -5);
    expected.insert("maxSendKbps", 7);
    expected.insert("globalAnnounceServers", QJsonArray{"default", "https://127.0.0.1:2/"});
    expected.insert("listenAddresses", QJsonArray{"tcp://127.0.0.1:4000", "relay://127.0.0.1:1"});
    expected.insert("alwaysLocalNets", QJsonArray{"10.0.0.0/8"});
    EXPECT_EQ(patch, expected);
}

TEST(NetworkOptions, RoundTripKeepsOneCustomEntryEach)
{
    STOptions options;
    options.listenAddresses = QStringList{"default", "relay://127.0.0.1:1", "relay://127.0.0.1:2"};
    options.globalAnnounceServers = QStringList{"default", "https://127.0.0.1:3/", "https://127.0.0.1:4/"};
    const QJsonObject patch = NetworkOptions::patchFor(NetworkOptions::settingsFrom(options), options);
    EXPECT_EQ(patch.value("listenAddresses").toArray(), (QJsonArray{"default", "relay://127.0.0.1:1"}));
    EXPECT_EQ(patch.value("globalAnnounceServers").toArray(), (QJsonArray{"default", "https://127.0.0.1:3/"}));
}

TEST(NetworkOptions, BandwidthPatchHasOnlyTheLimits)
{
    QJsonObject expected;
    expected.insert("maxRecvKbps", 300);
    expected.insert("maxSendKbps", 0);
    EXPECT_EQ(NetworkOptions::bandwidthPatch(300, 0), expected);
}

} // namespace
} // namespace tw
