#include "QtPrinters.h"
#include "engine/SyncEngineError.h"
#include "engine/syncthing/SyncthingConfigHardening.h"

#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace tw {
namespace {

// The parts of a configuration as "syncthing generate" writes it that matter here.
const QByteArray stockConfig = R"(<configuration version="37">
    <device id="AAAAAAA-BBBBBBB" name="vm" compression="metadata">
        <address>dynamic</address>
    </device>
    <gui enabled="true" tls="false">
        <address>127.0.0.1:8384</address>
        <user>tidewell-x</user>
        <apikey>KEEPME</apikey>
    </gui>
    <options>
        <listenAddress>default</listenAddress>
        <globalAnnounceServer>default</globalAnnounceServer>
        <globalAnnounceEnabled>true</globalAnnounceEnabled>
        <localAnnounceEnabled>true</localAnnounceEnabled>
        <localAnnouncePort>21027</localAnnouncePort>
        <relaysEnabled>true</relaysEnabled>
        <startBrowser>true</startBrowser>
        <natEnabled>true</natEnabled>
        <urAccepted>0</urAccepted>
        <autoUpgradeIntervalH>12</autoUpgradeIntervalH>
        <minHomeDiskFree unit="%">1</minHomeDiskFree>
        <crashReportingEnabled>true</crashReportingEnabled>
    </options>
    <defaults>
        <device id="" compression="metadata">
            <address>dynamic</address>
        </device>
        <options><natEnabled>true</natEnabled></options>
    </defaults>
</configuration>
)";

// Every element path ("configuration/options/natEnabled") with its texts.
QMultiMap<QString, QString> elements(const QByteArray &xml)
{
    QMultiMap<QString, QString> found;
    QXmlStreamReader reader(xml);
    QStringList path;
    QString text;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            path.append(reader.name().toString());
            text.clear();
        } else if (reader.isCharacters()) {
            text += reader.text();
        } else if (reader.isEndElement()) {
            found.insert(path.join('/'), text.trimmed());
            path.removeLast();
            text.clear();
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return found;
}

QString option(const QMultiMap<QString, QString> &found, const QString &name)
{
    const QStringList values = found.values(QStringLiteral("configuration/options/") + name);
    EXPECT_EQ(values.size(), 1) << name.toStdString();
    return values.value(0);
}

TEST(SyncthingConfigHardeningTest, SwitchesOffEveryOutwardFeatureAndListensOnLoopbackOnly)
{
    const auto found = elements(SyncthingConfigHardening::harden(stockConfig, "127.0.0.2", 40123));
    EXPECT_EQ(found.values("configuration/options/listenAddress"), QStringList{"tcp://127.0.0.2:40123"});
    const QList<std::pair<const char *, const char *>> expected{
        {"globalAnnounceEnabled", "false"}, {"localAnnounceEnabled", "false"}, {"relaysEnabled", "false"},
        {"natEnabled", "false"},            {"urAccepted", "-1"},             {"crashReportingEnabled", "false"},
        {"autoUpgradeIntervalH", "0"},      {"startBrowser", "false"},
    };
    for (const auto &[name, value] : expected)
        EXPECT_EQ(option(found, name), value) << name;
}

TEST(SyncthingConfigHardeningTest, LeavesEverythingElseAlone)
{
    const auto found = elements(SyncthingConfigHardening::harden(stockConfig, "127.0.0.1", 40123));
    EXPECT_EQ(found.value("configuration/gui/apikey"), "KEEPME");
    EXPECT_EQ(found.value("configuration/gui/user"), "tidewell-x");
    EXPECT_EQ(option(found, "globalAnnounceServer"), "default");
    EXPECT_EQ(option(found, "minHomeDiskFree"), "1");
    EXPECT_EQ(found.values("configuration/device/address"), QStringList{"dynamic"});
    // Only the top-level options are Syncthing's running options.
    EXPECT_EQ(found.value("configuration/defaults/options/natEnabled"), "true");
    const QByteArray hardened = SyncthingConfigHardening::harden(stockConfig, "127.0.0.1", 40123);
    EXPECT_TRUE(hardened.contains(R"(<minHomeDiskFree unit="%">1</minHomeDiskFree>)"));
    EXPECT_TRUE(hardened.contains(R"(<device id="AAAAAAA-BBBBBBB" name="vm" compression="metadata">)"));
}

struct ListenCase
{
    const char *label;
    QByteArray listen; // the <listenAddress> elements inside <options>
    const char *expected;
};

class ListenAddressTest : public ::testing::TestWithParam<ListenCase>
{
};

TEST_P(ListenAddressTest, KeepsOnlyAnAlreadyHardenedAddressOnTheSameHost)
{
    QByteArray config = stockConfig;
    config.replace("<listenAddress>default</listenAddress>", GetParam().listen);
    const auto found = elements(SyncthingConfigHardening::harden(config, "127.0.0.1", 40123));
    EXPECT_EQ(found.values("configuration/options/listenAddress"), QStringList{GetParam().expected})
        << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListenAddressTest,
    ::testing::Values(
        ListenCase{"stock default", "<listenAddress>default</listenAddress>", "tcp://127.0.0.1:40123"},
        ListenCase{"hardened before", "<listenAddress>tcp://127.0.0.1:22001</listenAddress>", "tcp://127.0.0.1:22001"},
        ListenCase{"hardened with blanks", "<listenAddress> tcp://127.0.0.1:22001 </listenAddress>", "tcp://127.0.0.1:22001"},
        ListenCase{"other loopback host", "<listenAddress>tcp://127.0.0.2:22001</listenAddress>", "tcp://127.0.0.1:40123"},
        ListenCase{"all interfaces", "<listenAddress>tcp://0.0.0.0:22001</listenAddress>", "tcp://127.0.0.1:40123"},
        ListenCase{"quic", "<listenAddress>quic://127.0.0.1:22001</listenAddress>", "tcp://127.0.0.1:40123"},
        ListenCase{"no port", "<listenAddress>tcp://127.0.0.1</listenAddress>", "tcp://127.0.0.1:40123"},
        ListenCase{"port zero", "<listenAddress>tcp://127.0.0.1:0</listenAddress>", "tcp://127.0.0.1:40123"},
        ListenCase{"with a path", "<listenAddress>tcp://127.0.0.1:22001/x</listenAddress>", "tcp://127.0.0.1:40123"},
        ListenCase{"two addresses, one loopback",
                   "<listenAddress>tcp://127.0.0.1:22001</listenAddress><listenAddress>tcp://0.0.0.0:22000</listenAddress>",
                   "tcp://127.0.0.1:40123"},
        ListenCase{"none at all", "", "tcp://127.0.0.1:40123"}),
    [](const auto &info) { return "case" + std::to_string(info.index); });

TEST(SyncthingConfigHardeningTest, AddsOptionsThatAreMissing)
{
    QByteArray config = stockConfig;
    config.replace("<relaysEnabled>true</relaysEnabled>", "");
    config.replace("<urAccepted>0</urAccepted>", "");
    const auto found = elements(SyncthingConfigHardening::harden(config, "127.0.0.1", 40123));
    EXPECT_EQ(option(found, "relaysEnabled"), "false");
    EXPECT_EQ(option(found, "urAccepted"), "-1");
}

TEST(SyncthingConfigHardeningTest, IsStableWhenAppliedAgain)
{
    const QByteArray once = SyncthingConfigHardening::harden(stockConfig, "127.0.0.1", 40123);
    const QByteArray twice = SyncthingConfigHardening::harden(once, "127.0.0.1", 50000);
    EXPECT_EQ(elements(once), elements(twice));
}

struct RefusedCase
{
    const char *label;
    QByteArray config;
    const char *host;
};

class RefusedConfigTest : public ::testing::TestWithParam<RefusedCase>
{
};

TEST_P(RefusedConfigTest, RefusesWhatItCannotHarden)
{
    try {
        SyncthingConfigHardening::harden(GetParam().config, GetParam().host, 40123);
        FAIL() << GetParam().label << " was accepted";
    } catch (const SyncEngineError &error) {
        EXPECT_EQ(error.kind(), SyncEngineError::Kind::Backend) << GetParam().label;
        EXPECT_TRUE(error.errorDescription().startsWith("Could not restrict Syncthing to loopback: "))
            << error.errorDescription().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedConfigTest,
    ::testing::Values(RefusedCase{"truncated", stockConfig.left(stockConfig.size() / 2), "127.0.0.1"},
                      RefusedCase{"empty", "", "127.0.0.1"},
                      RefusedCase{"no options", "<configuration version=\"37\"><gui/></configuration>", "127.0.0.1"},
                      RefusedCase{"options only below the top", "<configuration><defaults><options/></defaults></configuration>", "127.0.0.1"},
                      RefusedCase{"another document", "<html><options/></html>", "127.0.0.1"},
                      RefusedCase{"host beyond loopback", stockConfig, "192.168.1.5"},
                      RefusedCase{"all interfaces", stockConfig, "0.0.0.0"},
                      RefusedCase{"a host name", stockConfig, "localhost"},
                      RefusedCase{"IPv6 loopback", stockConfig, "::1"}),
    [](const auto &info) { return "case" + std::to_string(info.index); });

TEST(SyncthingConfigHardeningTest, RewritesTheFileInPlaceKeepingItPrivate)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("config.xml");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(stockConfig);
    file.close();
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));

    EXPECT_EQ(SyncthingConfigHardening::hardenFile(path, "127.0.0.3", 40999), "tcp://127.0.0.3:40999");
    EXPECT_EQ(SyncthingConfigHardening::hardenFile(path, "127.0.0.3", 41000), "tcp://127.0.0.3:40999");

    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(option(elements(file.readAll()), "listenAddress"), "tcp://127.0.0.3:40999");
    EXPECT_EQ(QFile::permissions(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

} // namespace
} // namespace tw
