#include "app/texts/FeedbackDiagnostics.h"

#include "QtPrinters.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace tw {
namespace {

// Two syncs with three folders, two of them switched on; four devices, one
// of them connected.
HealthInputs counted(bool running)
{
    HealthInputs in{.engineRunning = running, .localDeviceID = "ME"};
    ProjectFolder off;
    off.syncEnabled = false;
    in.projects = {Project{.folders = {ProjectFolder{}, off}}, Project{.folders = {ProjectFolder{}}}};
    for (const char *id : {"ME", "A", "B", "C"}) {
        SyncDevice device;
        device.id = id;
        in.devices.append(device);
    }
    in.connections["A"].connected = true;
    in.connections["B"].connected = false;
    return in;
}

const QDateTime stamp(QDate(2026, 3, 7), QTime(14, 5));

TEST(FeedbackDiagnosticsTest, SevenLinesOfCountsAndStates)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QString expected = QStringLiteral("=== TidewellMesh Diagnostics ===\n"
                                            "Date: 7 Mar 2026 ") + english.toString(stamp.time(), QLocale::ShortFormat) +
                             QStringLiteral("\nEngine: Syncthing (fake), running: false\n"
                                            "Projects: 2\n"
                                            "Folders: 3 (2 sync-enabled)\n"
                                            "Devices: 4 (1 connected)\n"
                                            "Sync health: stopped");
    const FeedbackDiagnostics stopped = FeedbackDiagnostics::from(counted(false), "Syncthing (fake)", stamp);
    EXPECT_EQ(stopped.text(english), expected);
    EXPECT_EQ(FeedbackDiagnostics::from(counted(true), "S", stamp).text(english).split('\n').at(2),
              "Engine: S, running: true");
}

TEST(FeedbackDiagnosticsTest, NumbersAreNeverGroupedWhateverTheLocale)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    QLocale::setDefault(german);
    HealthInputs in = counted(true);
    in.projects.resize(1234);
    const QString text = FeedbackDiagnostics::from(in, "S", stamp).text(german);
    QLocale::setDefault(QLocale::c());
    EXPECT_TRUE(text.contains("\nProjects: 1234\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nDate: 7 M\u00e4rz 2026 14:05\n") || text.contains("\nDate: 7 M\u00e4r. 2026 14:05\n"))
        << text.toStdString();
    EXPECT_FALSE(text.endsWith('\n'));
}

TEST(FeedbackDiagnosticsTest, HealthAsOneWord)
{
    using H = SyncHealth;
    const std::pair<SyncHealth, const char *> rows[] = {
        {H::syncing(0.987), "syncing (98%)"}, {H::syncing(0.999), "syncing (99%)"}, {H::syncing(0), "syncing (0%)"},
        {H::stopped(), "stopped"},           {H::allSynced(), "all synced"},      {H::paused(), "paused"},
        {H::offline(), "offline"},           {H::error(), "error"},
    };
    for (const auto &[health, expected] : rows)
        EXPECT_EQ(syncHealthDescription(health), QString::fromUtf8(expected)) << expected;
}

TEST(FeedbackDiagnosticsTest, SizeText)
{
    const std::pair<qint64, const char *> rows[] = {
        {0, "0 KB"},         {500'000, "488 KB"},       {1'048'575, "1024 KB"},
        {1'048'576, "1.0 MB"}, {5'347'738, "5.1 MB"},
    };
    for (const auto &[bytes, expected] : rows)
        EXPECT_EQ(formatBytes(bytes), QString::fromUtf8(expected)) << bytes;
}

TEST(FeedbackDiagnosticsTest, SenderIsTheDeviceNameElseTheAccount)
{
    EXPECT_EQ(feedbackUserName("Studio Mac"), "Studio Mac");
    ASSERT_FALSE(accountShortName().isEmpty());
    EXPECT_EQ(feedbackUserName(QString()), accountShortName());
}

} // namespace
} // namespace tw
