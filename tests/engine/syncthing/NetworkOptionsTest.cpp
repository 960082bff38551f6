// How network settings are merged into Syncthing's options. Reading them
// back, and the limits, are left to the real-instance tests.

#include "engine/syncthing/NetworkOptions.h"

#include "QtPrinters.h"

#include <QJsonArray>
#include <gtest/gtest.h>

namespace tw {
namespace {

using List = std::optional<QStringList>;

// A relay or discovery server of one's own replaces the earlier ones and
// keeps the rest of Syncthing's list.
TEST(NetworkOptions, ListMerges)
{
    using Merge = QStringList (*)(const List &, const QString &);
    const std::tuple<Merge, List, QString, QStringList> cases[] = {
        {&NetworkOptions::listenAddresses, QStringList{"relay://127.0.0.1:1"}, "", {"default"}},
        {&NetworkOptions::discoveryServers, QStringList{}, "https://127.0.0.1:9/", {"default", "https://127.0.0.1:9/"}},
        // Only the exact word "default" is Syncthing's own entry.
        {&NetworkOptions::discoveryServers, QStringList{"default", "Default", "https://127.0.0.1:8/"},
         "https://127.0.0.1:9/", {"default", "https://127.0.0.1:9/"}},
    };
    for (const auto &[merge, current, own, expected] : cases)
        EXPECT_EQ(merge(current, own), expected) << own.toStdString();
}

TEST(NetworkOptions, LocalNetworksSplitOnEveryLineBreak)
{
    const std::pair<QString, QStringList> cases[] = {
        {QString("a\nb\rc\r\nd\ve\ff") + QChar(0x85) + "g" + QChar(0x2028) + "h" + QChar(0x2029) + "i",
         {"a", "b", "c", "d", "e", "f", "g", "h", "i"}},
        {QString("a") + QChar(0x00A0) + QChar(0x2003) + "\n" + QChar(0x3000) + " b", {"a", "b"}},
        {"10.1.0.0/16 192.168.0.0/16", {"10.1.0.0/16 192.168.0.0/16"}}, // a blank inside a line stays
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(NetworkOptions::splitNetworks(text), expected) << text.toStdString();
}

TEST(NetworkOptions, PatchCarriesExactlyTheNineKeys)
{
    const NetworkSettings settings{true, false, false, false, "relay://127.0.0.1:1", "https://127.0.0.1:2/",
                                   5,    7,     " 10.0.0.0/8 \n\n"};
    STOptions current;
    current.listenAddresses = QStringList{"tcp://127.0.0.1:4000", "relay://127.0.0.1:9"};
    const QJsonObject expected{
        {"natEnabled", true}, {"relaysEnabled", false}, {"localAnnounceEnabled", false},
        {"globalAnnounceEnabled", false}, {"maxRecvKbps", 5}, {"maxSendKbps", 7},
        {"globalAnnounceServers", QJsonArray{"default", "https://127.0.0.1:2/"}},
        {"listenAddresses", QJsonArray{"tcp://127.0.0.1:4000", "relay://127.0.0.1:1"}},
        {"alwaysLocalNets", QJsonArray{"10.0.0.0/8"}}};
    EXPECT_EQ(NetworkOptions::patchFor(settings, current), expected);
}

} // namespace
} // namespace tw
