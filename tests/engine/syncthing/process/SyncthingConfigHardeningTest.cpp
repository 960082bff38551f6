#include "QtPrinters.h"
#include "engine/SyncEngineError.h"
#include "engine/syncthing/process/SyncthingConfigHardening.h"

#include <QXmlStreamReader>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tw {
namespace {

// The parts of a configuration as "syncthing generate" writes it that matter
// here; the relay switch is missing, so Syncthing would take its default.
const QByteArray stockConfig = R"(<configuration version="37">
    <options>
        <listenAddress>default</listenAddress>
        <natEnabled>true</natEnabled>
        <minHomeDiskFree unit="%">1</minHomeDiskFree>
    </options>
    <defaults>
        <options><natEnabled>true</natEnabled></options>
    </defaults>
</configuration>
)";

// The texts of every element of that name, in document order.
QStringList valuesOf(const QByteArray &xml, const QString &name)
{
    QStringList values;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == name)
            values.append(reader.readElementText().trimmed());
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return values;
}

// Syncthing's own reading of every switch is checked against a real instance;
// what it never writes (a missing option, nested defaults) is checked here.
TEST(SyncthingConfigHardeningTest, AddsMissingSwitchesAndLeavesEverythingElseAlone)
{
    const QByteArray hardened = SyncthingConfigHardening::harden(stockConfig, "127.0.0.1", 40123);
    EXPECT_EQ(valuesOf(hardened, "relaysEnabled"), QStringList{"false"});
    // Only the top-level options are Syncthing's running options.
    EXPECT_EQ(valuesOf(hardened, "natEnabled"), (QStringList{"false", "true"}));
    EXPECT_TRUE(hardened.contains(R"(<minHomeDiskFree unit="%">1</minHomeDiskFree>)"));
}

TEST(SyncthingConfigHardeningTest, KeepsOnlyAnAlreadyHardenedAddressOnTheSameHost)
{
    const QString fresh = QStringLiteral("tcp://127.0.0.1:40123");
    const QList<std::tuple<const char *, QByteArray, QString>> cases{
        {"hardened before", "<listenAddress> tcp://127.0.0.1:22001 </listenAddress>", "tcp://127.0.0.1:22001"},
        {"another host", "<listenAddress>tcp://0.0.0.0:22001</listenAddress>", fresh},
        {"two addresses, one loopback",
         "<listenAddress>tcp://127.0.0.1:22001</listenAddress><listenAddress>tcp://0.0.0.0:22000</listenAddress>", fresh},
    };
    for (const auto &[label, listen, expected] : cases) {
        const QByteArray config = QByteArray(stockConfig).replace("<listenAddress>default</listenAddress>", listen);
        const QByteArray hardened = SyncthingConfigHardening::harden(config, "127.0.0.1", 40123);
        EXPECT_EQ(valuesOf(hardened, "listenAddress"), QStringList{expected}) << label;
    }
}

TEST(SyncthingConfigHardeningTest, RefusesWhatItCannotHarden)
{
    const QList<std::tuple<const char *, QByteArray, const char *>> cases{
        {"truncated", stockConfig.left(stockConfig.size() / 2), "127.0.0.1"},
        {"options only below the top", "<configuration><defaults><options/></defaults></configuration>", "127.0.0.1"},
        {"host beyond loopback", stockConfig, "192.168.1.5"},
    };
    for (const auto &[label, config, host] : cases) {
        EXPECT_THAT([&] { SyncthingConfigHardening::harden(config, host, 40123); },
                    testing::ThrowsMessage<SyncEngineError>(
                        testing::StartsWith("Could not restrict Syncthing to loopback: ")))
            << label;
    }
}

} // namespace
} // namespace tw
