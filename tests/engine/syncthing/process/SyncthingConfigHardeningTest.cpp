#include "QtPrinters.h"
#include "engine/SyncEngineError.h"
#include "engine/syncthing/process/SyncthingConfigHardening.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

// Syncthing's own reading of a generated home is checked against a real
// instance; what "generate" never writes is checked here. Both configurations
// lack the relay switch, so Syncthing would take its default.
TEST(SyncthingConfigHardeningTest, KeepsOnlyAHardenedAddressAndAddsMissingSwitches)
{
    const QList<std::pair<QByteArray, QByteArray>> cases{
        {"tcp://127.0.0.1:22001", "tcp://127.0.0.1:22001"},
        {"tcp://0.0.0.0:22001", "tcp://127.0.0.1:40123"},
    };
    for (const auto &[listen, expected] : cases) {
        const QByteArray config = "<configuration><options><listenAddress>" + listen
                                  + "</listenAddress></options></configuration>";
        const QByteArray hardened = SyncthingConfigHardening::harden(config, "127.0.0.1", 40123);
        EXPECT_TRUE(hardened.contains("<listenAddress>" + expected + "</listenAddress>")) << hardened.toStdString();
        EXPECT_TRUE(hardened.contains("<relaysEnabled>false</relaysEnabled>")) << hardened.toStdString();
    }
}

// Only the top-level options are Syncthing's running options.
TEST(SyncthingConfigHardeningTest, RefusesAConfigurationWithoutTopLevelOptions)
{
    const QByteArray config = "<configuration><defaults><options/></defaults></configuration>";
    EXPECT_THROW(SyncthingConfigHardening::harden(config, "127.0.0.1", 40123), SyncEngineError);
}

} // namespace
} // namespace tw
