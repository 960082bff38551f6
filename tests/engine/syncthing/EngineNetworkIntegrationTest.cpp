// Network settings and global limits against a real Syncthing.
// Every switch stays off: custom relay and discovery addresses are loopback
// addresses where nothing listens.

#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"

#include <QJsonArray>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace tw {
namespace {

const QString kRelay = QStringLiteral("relay://127.0.0.1:1");
const QString kDiscovery = QStringLiteral("https://127.0.0.1:1/");

QStringList stringsOf(const QJsonValue &value)
{
    QStringList strings;
    for (const QJsonValue &entry : value.toArray())
        strings.append(entry.toString());
    return strings;
}

NetworkSettings offWith(QString relay, QString discovery, QString nets)
{
    NetworkSettings settings; // every switch off
    settings.customRelayURL = std::move(relay);
    settings.customDiscoveryURL = std::move(discovery);
    settings.alwaysLocalNets = std::move(nets);
    return settings;
}

TEST(EngineNetworkIntegrationTest, SettingsAndLimitsRoundTripWithEverySwitchOff)
{
    SyncthingInstance instance;
    instance.start();
    const auto engine = instance.startedEngine();
    const auto options = [&] { return instance.get("/rest/config/options").json().object(); };
    // Whatever a step did, Syncthing itself still has every switch off and
    // listens on loopback only.
    const auto expectSwitchesOff = [&] {
        const QJsonObject current = options();
        for (const char *key : {"natEnabled", "relaysEnabled", "localAnnounceEnabled", "globalAnnounceEnabled"})
            EXPECT_EQ(current.value(key), QJsonValue(false)) << key;
        for (const QString &address : stringsOf(current.value("listenAddresses")))
            EXPECT_TRUE(address.contains("://127.")) << address.toStdString();
    };
    const QStringList listenBefore = stringsOf(options().value("listenAddresses"));
    EXPECT_EQ(awaitTask(engine->networkSettings()), offWith({}, {}, {}));

    // How lines split and lists merge is NetworkOptions' own; here Syncthing
    // keeps what was written.
    NetworkSettings custom = offWith(kRelay, kDiscovery, "10.0.0.0/8\n127.0.0.0/8");
    awaitTask(engine->applyNetworkSettings(custom));
    expectSwitchesOff();
    EXPECT_EQ(stringsOf(options().value("listenAddresses")), listenBefore + QStringList{kRelay});
    EXPECT_EQ(stringsOf(options().value("globalAnnounceServers")), (QStringList{"default", kDiscovery}));
    EXPECT_EQ(stringsOf(options().value("alwaysLocalNets")), (QStringList{"10.0.0.0/8", "127.0.0.0/8"}));
    // Limits set alone read back with the other settings.
    awaitTask(engine->setGlobalBandwidth(300, 150));
    custom.downLimitKbps = 300;
    custom.upLimitKbps = 150;
    EXPECT_EQ(awaitTask(engine->networkSettings()), custom);

    // Clearing leaves only the loopback listener and the built-in servers;
    // limits are written with the other settings.
    NetworkSettings cleared = offWith({}, {}, {});
    cleared.downLimitKbps = 1200;
    awaitTask(engine->applyNetworkSettings(cleared));
    EXPECT_EQ(stringsOf(options().value("listenAddresses")), listenBefore);
    EXPECT_EQ(stringsOf(options().value("globalAnnounceServers")), QStringList{"default"});
    EXPECT_EQ(awaitTask(engine->networkSettings()), cleared);
    expectSwitchesOff();
}

} // namespace
} // namespace tw
