#include "app/texts/SyncPageTexts.h"
#include "controllers/FormatDuration.h"
#include "controllers/FormatFileSize.h"
#include "controllers/RateText.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using namespace SyncPageTexts;

DeviceConnection link(QString type, double in, double out, bool local = false)
{
    DeviceConnection conn;
    conn.connected = true;
    conn.address = QStringLiteral("127.0.0.1:22000");
    conn.connectionType = std::move(type);
    conn.inBytesPerSecond = in;
    conn.outBytesPerSecond = out;
    conn.isLocal = local;
    return conn;
}

TEST(SyncPageTextsTest, CardSubtitleNamesTheLinkAndTheIncomingRateOnlyWithTraffic)
{
    const struct
    {
        bool thisMac, online;
        std::optional<DeviceConnection> conn;
        QString expected;
    } rows[] = {
        {true, false, std::nullopt, QStringLiteral("This Mac")},
        {false, false, link("relay-client", 5000, 0), QStringLiteral("Offline")},
        {false, true, link("relay-client", 2000, 0), QStringLiteral("Slower (relay) \u00b7 \u2193 ") + rateText(2000)},
        {false, true, link("Relay-Server", 0, 0), QStringLiteral("Online \u00b7 Slower (relay)")},
        {false, true, std::nullopt, QStringLiteral("Online \u00b7 Fast (direct)")},
        {false, true, link("tcp-client", 0.6, 0.3), QStringLiteral("Online \u00b7 Fast (direct)")},
    };
    for (const auto &row : rows)
        EXPECT_EQ(deviceCardSubtitle(row.thisMac, row.online, row.conn), row.expected);
}

TEST(SyncPageTextsTest, ChipDetailTruncatesThePercentAndShowsTheTimeLeftWhileSyncing)
{
    const QString size = formatFileSize(1'500'000);
    const struct
    {
        SyncHealth health;
        std::optional<qint64> bytes;
        std::optional<double> eta;
        QString expected;
    } rows[] = {
        {SyncHealth::allSynced(), std::nullopt, std::nullopt, QStringLiteral("\u2014 \u00b7 \u2713")},
        {SyncHealth::allSynced(), 0, std::nullopt, QStringLiteral("\u2014 \u00b7 \u2713")},
        {SyncHealth::stopped(), 1'500'000, 30.0, size},
        {SyncHealth::syncing(0.429), 1'500'000, std::nullopt, size + QStringLiteral(" \u00b7 42%")},
        {SyncHealth::syncing(0.456), 1'500'000, std::nullopt, size + QStringLiteral(" \u00b7 45%")},
        {SyncHealth::syncing(0.29), 1'500'000, std::nullopt, size + QStringLiteral(" \u00b7 28%")},
        {SyncHealth::syncing(0.5), 1'500'000, 180.0,
         size + QStringLiteral(" \u00b7 50% \u00b7 ") + formatDuration(180)},
        {SyncHealth::paused(), 1'500'000, 30.0, size + QStringLiteral(" \u00b7 paused")},
        {SyncHealth::offline(), 1'500'000, std::nullopt, size + QStringLiteral(" \u00b7 offline")},
        {SyncHealth::error(), 1'500'000, std::nullopt, size + QStringLiteral(" \u00b7 error")},
    };
    for (const auto &row : rows)
        EXPECT_EQ(folderChipDetail(row.health, row.bytes, row.eta), row.expected);
    EXPECT_EQ(formatDuration(180), QStringLiteral("~3 min"));
}

TEST(SyncPageTextsTest, HeaderAndChipStatusDependOnWhetherTheFolderHasPeers)
{
    const struct
    {
        SyncHealth health;
        int peers;
        QString header, chip;
        bool thisMac = true;
    } rows[] = {
        {SyncHealth::syncing(0.456), 0, QStringLiteral("Indexing\u2026"), QStringLiteral("Indexing\u2026")},
        {SyncHealth::syncing(0.456), 2, QStringLiteral("Syncing 46%"), QStringLiteral("Syncing \u2026 46%")},
        {SyncHealth::syncing(0), 1, QStringLiteral("Syncing 0%"), QStringLiteral("Syncing \u2026 0%")},
        {SyncHealth::allSynced(), 0, QStringLiteral("Only on this Mac"), QStringLiteral("Only on this Mac")},
        {SyncHealth::allSynced(), 1, QStringLiteral("Up to date"), QStringLiteral("Everything synced")},
        {SyncHealth::stopped(), 0, QStringLiteral("Stopped"), QStringLiteral("Stopped")},
        {SyncHealth::paused(), 1, QStringLiteral("Paused"), QStringLiteral("Paused")},
        {SyncHealth::offline(), 0, QStringLiteral("Drive offline"), QStringLiteral("Drive offline")},
        // Another Mac's folder: that Mac is offline, not a drive.
        {SyncHealth::offline(), 1, QStringLiteral("Drive offline"), QStringLiteral("Offline"), false},
        {SyncHealth::error(), 3, QStringLiteral("Error"), QStringLiteral("Error \u2014 please check")},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(headerStatus(row.health, row.peers), row.header);
        EXPECT_EQ(chipStatus(row.health, row.peers, row.thisMac), row.chip);
        EXPECT_EQ(folderRowDetail(5'500'000, row.health, row.peers, row.thisMac),
                  formatFileSize(5'500'000) + QStringLiteral(" \u00b7 ") + row.chip);
    }
}

TEST(SyncPageTextsTest, ConnectionLineShowsBothRatesOnlyAboveOneBytePerSecond)
{
    const struct
    {
        bool thisMac, connected;
        std::optional<DeviceConnection> conn;
        QString expected;
    } rows[] = {
        {true, true, std::nullopt, QStringLiteral("This Mac")},
        {false, false, link("tcp-client", 10, 10), QStringLiteral("Offline \u00b7 waiting to reconnect")},
        {false, true, link("tcp-client", 0.6, 0.3), QStringLiteral("Online \u00b7 Fast (direct)")},
        {false, true, link("RELAY-client", 0, 0), QStringLiteral("Online \u00b7 Slower (via relay)")},
        {false, true, link("tcp-client", 1000, 500),
         QStringLiteral("Online \u00b7 Fast (direct) \u00b7 \u2193 ") + rateText(1000) + QStringLiteral(" \u2191 ")
             + rateText(500)},
    };
    for (const auto &row : rows)
        EXPECT_EQ(connLine(row.thisMac, row.connected, row.conn), row.expected);
}

TEST(SyncPageTextsTest, ConnectionTypeReadsTheProtocolCaseSensitivelyAndTheRelayInAnyCase)
{
    const struct
    {
        QString type;
        bool local;
        QString expected;
    } rows[] = {
        {"relay-client", false, "Relay (Internet)"},
        {"ReLaY-server", true, "Relay (LAN)"},
        {"quic-server", true, "Direct QUIC (LAN)"},
        {"tcp-client", false, "Direct TCP (Internet)"},
        {"QUIC-client", false, "Direct QUIC-client (Internet)"},
        {"TCP-server", true, "Direct TCP-server (LAN)"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(connectionTypeLabel(link(row.type, 0, 0, row.local)), row.expected) << row.type.toStdString();
}

TEST(SyncPageTextsTest, TechnicalDetailsListOnlyWhatIsKnown)
{
    DeviceConnection bare = link("tcp-client", 0.6, 0.3);
    const QList<QPair<QString, QString>> few{{"Address", "127.0.0.1:22000"}, {"Connection", "Direct TCP (Internet)"}};
    EXPECT_EQ(technicalDetailRows(bare), few);

    DeviceConnection full = link("tcp-client", 1000, 500);
    full.version = QStringLiteral("v1.27.0");
    full.crypto = QStringLiteral("TLS1.3-TLS_AES_128_GCM_SHA256");
    QList<QPair<QString, QString>> all = few;
    all.append({QStringLiteral("Syncthing version"), QStringLiteral("v1.27.0")});
    all.append({QStringLiteral("Encryption"), QStringLiteral("TLS1.3-TLS_AES_128_GCM_SHA256")});
    all.append({QStringLiteral("Speed"), QStringLiteral("\u2193 ") + rateText(1000) + QStringLiteral(" \u2191 ") + rateText(500)});
    EXPECT_EQ(technicalDetailRows(full), all);
}

} // namespace
} // namespace tw
