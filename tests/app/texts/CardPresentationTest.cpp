#include "app/ProjectSelection.h"
#include "app/texts/CardPresentation.h"
#include "controllers/FormatFileSize.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

struct CardRow
{
    SyncHealth health;
    bool oneMac;
    bool catchingUp;
    CardPresentation expected;
};

TEST(CardPresentationTest, FollowsTheHealthTable)
{
    const QString syncing46 = QStringLiteral("Syncing \u2026 46 %");
    const QList<CardRow> rows = {
        {SyncHealth::syncing(0.456), false, false,
         {CardTone::Syncing, syncing46, QStringLiteral("45% \u00B7 syncing"), 0.456}},
        {SyncHealth::syncing(0.429), true, false,
         {CardTone::Syncing, QStringLiteral("Indexing \u2026"), QStringLiteral("42% \u00B7 syncing"), 0.429}},
        // The double 0.29 × 100 is just under 29: its whole part is 28.
        {SyncHealth::syncing(0.29), false, false,
         {CardTone::Syncing, QStringLiteral("Syncing \u2026 29 %"), QStringLiteral("28% \u00B7 syncing"), 0.29}},
        {SyncHealth::stopped(), false, false,
         {CardTone::Offline, QStringLiteral("Stopped"), QStringLiteral("Stopped"), 0}},
        {SyncHealth::allSynced(), false, false,
         {CardTone::Synced, QStringLiteral("Everything synced"), QStringLiteral("All in sync"), 1}},
        {SyncHealth::allSynced(), false, true,
         {CardTone::Synced, QStringLiteral("Everything synced"),
          QStringLiteral("In sync here \u00B7 team still catching up"), 1}},
        {SyncHealth::allSynced(), true, false,
         {CardTone::Synced, QStringLiteral("Only on this Mac"), QStringLiteral("All in sync"), 1}},
        {SyncHealth::paused(), true, false,
         {CardTone::Syncing, QStringLiteral("Paused"), QStringLiteral("Paused"), 0}},
        {SyncHealth::offline(), false, false,
         {CardTone::Offline, QStringLiteral("Drive offline"), QStringLiteral("Drive offline"), 0}},
        {SyncHealth::waiting(), false, true,
         {CardTone::Syncing, QStringLiteral("Waiting for other Macs"), QStringLiteral("Waiting for other Macs"), 0}},
        {SyncHealth::error(), false, true,
         {CardTone::Danger, QStringLiteral("Error \u2014 please check"), QStringLiteral("Error \u2014 please check"),
          0}},
    };
    for (const CardRow &row : rows) {
        const CardPresentation shown = cardPresentation(row.health, row.oneMac, row.catchingUp);
        EXPECT_EQ(shown.tone, row.expected.tone) << row.expected.statusText.toStdString();
        EXPECT_EQ(shown.statusText, row.expected.statusText);
        EXPECT_EQ(shown.healthLine, row.expected.healthLine);
        EXPECT_EQ(shown.progress, row.expected.progress);
    }
}

TEST(CardPresentationTest, SubtitleSizeAndPauseAndNames)
{
    // Count words agree with their number.
    EXPECT_EQ(overviewSubtitle(1, 0, 0), QStringLiteral("1 Mac \u00B7 0 folders \u00B7 ") + formatFileSize(0));
    EXPECT_EQ(overviewSubtitle(2, 1, 0), QStringLiteral("2 Macs \u00B7 1 folder \u00B7 ") + formatFileSize(0));

    Project project;
    ProjectFolder counted;
    counted.syncthingFolderID = QStringLiteral("st-a");
    counted.syncEnabled = false;
    ProjectFolder unstated;
    unstated.syncthingFolderID = QStringLiteral("st-missing");
    unstated.syncEnabled = false;
    ProjectFolder notYetInEngine;
    project.folders = {counted, unstated, notYetInEngine};
    QMap<QString, FolderStatus> statuses;
    statuses[QStringLiteral("st-a")].globalBytes = 1000;
    FolderStatus orphan;
    orphan.globalBytes = 7;
    statuses[QString()] = orphan;  // a folder without an engine ID must not pick this up
    EXPECT_EQ(projectGlobalBytes(project, statuses), 1000);

    EXPECT_FALSE(projectCountsAsPaused(project));  // one folder still syncs
    project.folders[2].syncEnabled = false;
    EXPECT_TRUE(projectCountsAsPaused(project));
    EXPECT_FALSE(projectCountsAsPaused(Project{}));

    const QList<std::pair<QString, bool>> names = {
        {QString(), false},
        {QStringLiteral("  \t "), false},
        {QStringLiteral(" \u00A0 "), false},
        {QStringLiteral("\u2003\u3000"), false},
        {QStringLiteral("\n\n"), true},
        {QStringLiteral(" Film "), true},
    };
    for (const auto &[name, creatable] : names)
        EXPECT_EQ(syncNameCanCreate(name), creatable) << name.toStdString();
}

TEST(ProjectSelectionTest, FollowsTheTransitionTable)
{
    using S = ProjectSelection;
    using P = S::FolderPanel;
    using I = S::Inspecting;
    const S folderA = S::folder(QStringLiteral("a"));
    const S folderAOmit = S::folder(QStringLiteral("a"), P::Omit);
    const S mac = S::device(QStringLiteral("D"));
    struct Row
    {
        const char *what;
        S result;
        S expected;
    };
    const QList<Row> rows = {
        {"same chip again: none", folderA.tapped(I::Folder, QStringLiteral("a")), S{}},
        {"same chip with a panel open: none", folderAOmit.tapped(I::Folder, QStringLiteral("a")), S{}},
        {"another chip: it, panel reset", folderAOmit.tapped(I::Folder, QStringLiteral("b")),
         S::folder(QStringLiteral("b"))},
        {"a card while a panel is open", folderAOmit.tapped(I::Device, QStringLiteral("D")), mac},
        {"a Mac and a folder of the same ID differ", S::device(QStringLiteral("a")).tapped(I::Folder, QStringLiteral("a")),
         folderA},
        {"a callback opens its panel", folderA.opened(P::Archive), S::folder(QStringLiteral("a"), P::Archive)},
        {"back", folderAOmit.back(), folderA},
        {"an add selects the new folder", S::added(QStringLiteral("n")), S::folder(QStringLiteral("n"))},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.result, row.expected) << row.what;

    EXPECT_FALSE(mac.expanded(false));
    EXPECT_TRUE(mac.expanded(true));
    EXPECT_FALSE(folderA.expanded(true));
    EXPECT_TRUE(folderAOmit.expanded(false));
    EXPECT_FALSE(S{}.expanded(true));
}

} // namespace
} // namespace tw
