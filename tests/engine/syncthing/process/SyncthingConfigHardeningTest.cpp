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

// The floors are Syncthing's own defence of a user's disk: only a throwaway
// home loses them, and only the home's and the new folders' floors.
TEST(SyncthingConfigHardeningTest, TurnsOffOnlyTheHomesAndNewFoldersDiskFloorsWhenAsked)
{
    const QByteArray config = "<configuration><folder id=\"a\"><minDiskFree unit=\"%\">1</minDiskFree></folder>"
                              "<options><minHomeDiskFree unit=\"%\">1</minHomeDiskFree></options>"
                              "<defaults><folder><minDiskFree unit=\"%\">1</minDiskFree></folder></defaults>"
                              "</configuration>";
    struct Row
    {
        SyncthingConfigHardening::DiskFloors floors;
        QByteArray home;
        QByteArray newFolders;
    };
    const QList<Row> rows{
        {SyncthingConfigHardening::DiskFloors::Kept, "<minHomeDiskFree unit=\"%\">1</minHomeDiskFree>",
         "<defaults><folder><minDiskFree unit=\"%\">1</minDiskFree>"},
        {SyncthingConfigHardening::DiskFloors::Off, "<minHomeDiskFree unit=\"%\">0</minHomeDiskFree>",
         "<defaults><folder><minDiskFree unit=\"%\">0</minDiskFree>"},
    };
    for (const Row &row : rows) {
        const QByteArray hardened = SyncthingConfigHardening::harden(config, "127.0.0.1", 40123, row.floors);
        EXPECT_TRUE(hardened.contains(row.home)) << hardened.toStdString();
        EXPECT_TRUE(hardened.contains(row.newFolders)) << hardened.toStdString();
        EXPECT_TRUE(hardened.contains("<folder id=\"a\"><minDiskFree unit=\"%\">1</minDiskFree>"))
            << hardened.toStdString();
    }
    const QByteArray bare = SyncthingConfigHardening::harden(
        "<configuration><options/></configuration>", "127.0.0.1", 40123, SyncthingConfigHardening::DiskFloors::Off);
    EXPECT_TRUE(bare.contains("<minHomeDiskFree>0</minHomeDiskFree>")) << bare.toStdString();
}

} // namespace
} // namespace tw
