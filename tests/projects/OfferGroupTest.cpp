#include "cluster/InviteCodec.h"
#include "projects/FolderPlacement.h"
#include "projects/OfferGroup.h"
#include "projects/ProjectController.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

const QString kDash = QStringLiteral(" \u2014 ");

PendingFolder offer(const QString &id, const QString &label, const QString &by)
{
    return {.folderID = id, .label = label, .offeredByDeviceID = by + QStringLiteral("-ID"), .offeredByName = by};
}

TEST(OfferGroupTest, GroupsOffersBySyncPartAndCountsBeforeDeduplication)
{
    const QList<PendingFolder> pending = {
        offer(QStringLiteral("f-audio"), QStringLiteral("Film") + kDash + QStringLiteral("Audio"), QStringLiteral("Ann")),
        offer(QStringLiteral("notes"), QStringLiteral("Notes"), QStringLiteral("Bob")),
        offer(QStringLiteral("notes"), QStringLiteral("Notes"), QStringLiteral("Cid")),
        offer(QStringLiteral("f-video"), QStringLiteral("Film") + kDash + QStringLiteral("Video"), QStringLiteral("Dan")),
        offer(QStringLiteral("notes"), QStringLiteral("Notes"), QStringLiteral("Eve")),
        offer(QStringLiteral("f-raw"), QStringLiteral("Film") + kDash + QStringLiteral("Audio") + kDash +
                                           QStringLiteral("Raw"), QStringLiteral("Fay")),
        offer(QStringLiteral("solo"), kDash + QStringLiteral("Audio"), QStringLiteral("Gus")),
    };
    const QList<PendingFolder> deduped = dedupedFolders(pending);
    ASSERT_EQ(deduped.size(), 5);
    EXPECT_EQ(deduped[1].offeredByName, QStringLiteral("Bob"));

    const QList<OfferGroup> groups = groupedBySync(deduped);
    ASSERT_EQ(groups.size(), 3);
    EXPECT_EQ(groups[0].key, QStringLiteral("sync:Film"));
    EXPECT_EQ(groups[0].sync, QStringLiteral("Film"));
    ASSERT_EQ(groups[0].items.size(), 3);
    EXPECT_EQ(groups[0].items[1].folderID, QStringLiteral("f-video"));
    EXPECT_EQ(ProjectController::folderPartOf(groups[0].items[2].label), QStringLiteral("Audio") + kDash + "Raw");
    EXPECT_EQ(groups[1].key, QStringLiteral("solo:notes"));
    EXPECT_EQ(groups[1].sync, std::nullopt);
    EXPECT_EQ(groups[2].key, QStringLiteral("solo:solo"));
    EXPECT_EQ(ProjectController::folderPartOf(groups[2].items[0].label), QStringLiteral("Audio"));

    EXPECT_EQ(offerCount(pending, QStringLiteral("notes")), 3);
    EXPECT_EQ(offerCount(pending, QStringLiteral("f-audio")), 1);
    EXPECT_EQ(offerCount(pending, QStringLiteral("gone")), 0);
}

TEST(OfferGroupTest, SyncPartNeedsTheSeparatorAndTextBeforeIt)
{
    struct Case { QString label; std::optional<QString> sync; QString folder; };
    const QList<Case> cases = {
        {QStringLiteral("Film") + kDash + QStringLiteral("Audio"), QStringLiteral("Film"), QStringLiteral("Audio")},
        {QStringLiteral("Notes"), std::nullopt, QStringLiteral("Notes")},
        {kDash + QStringLiteral("Audio"), std::nullopt, QStringLiteral("Audio")},
        {QStringLiteral("Film\u2014Audio"), std::nullopt, QStringLiteral("Film\u2014Audio")},
        {QStringLiteral("Film") + kDash, QStringLiteral("Film"), QString()},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(ProjectController::syncPartOf(c.label), c.sync) << c.label.toStdString();
        EXPECT_EQ(ProjectController::folderPartOf(c.label), c.folder) << c.label.toStdString();
    }
}

TEST(OfferGroupTest, TargetIsOneSafeComponentInsideTheChosenFolder)
{
    const QString at = QStringLiteral("/home/x/Projects");
    const QString idName = QStringLiteral("abcd-1234");
    struct Case { QString folderPart; QString component; };
    const QList<Case> cases = {
        {QStringLiteral("Audio"), QStringLiteral("Audio")},
        {QStringLiteral("a/b"), QStringLiteral("ab")},
        {QStringLiteral("../../x"), QStringLiteral("x")},
        {QString(), idName},
        {QStringLiteral(".."), idName},
    };
    for (const Case &c : cases) {
        const PendingFolder folder = offer(idName, QStringLiteral("Film") + kDash + c.folderPart, QStringLiteral("Ann"));
        const FolderPlacement placement = FolderPlacement::of(folder, {}, at);
        EXPECT_EQ(placement.component, c.component) << c.folderPart.toStdString();
        EXPECT_EQ(placement.targetPath, at + QLatin1Char('/') + c.component) << c.folderPart.toStdString();
        EXPECT_EQ(placement.folderPart, c.folderPart);
    }
}

// A place another sync's folder holds, lies in or lies around is never the
// target: a free name is, or nothing where the location lies inside one.
TEST(OfferGroupTest, TargetMeetsNoSyncsFolder)
{
    const QString idName = QStringLiteral("abcd-1234");
    const QList<Project> projects = {
        {.id = "S", .name = "Film", .folders = {{.id = "1", .label = "Footage", .localPath = "/home/x/P/Footage"},
                                                {.id = "2", .label = "Day1", .localPath = "/home/x/W/Cut/Day1/"}}}};
    QList<Project> twice = projects;
    twice[0].folders.append({.id = "3", .label = "F", .localPath = "/home/x/P/Footage (abcd-1234)"});
    struct Case { QList<Project> projects; QString label, location, target; std::optional<QString> inside = {}; };
    const Case rows[] = {
        {projects, ".Footage", "/home/x/P", "/home/x/P/Footage (abcd-1234)"},
        {projects, "Footage", "/home/x/P/", "/home/x/P/Footage (abcd-1234)"},
        {projects, "Footage", "/home/x/Q/../P", "/home/x/P/Footage (abcd-1234)"},
        {twice, "Footage", "/home/x/P", "/home/x/P/Footage (abcd-1234 2)"},
        {projects, "Cut", "/home/x/W", "/home/x/W/Cut (abcd-1234)"},
        {projects, "Footage", "/home/x/P/Footage", "/home/x/P/Footage", "/home/x/P/Footage"},
        {projects, "Raw", "/home/x/P/Footage/Sub", "/home/x/P/Footage/Sub/Raw", "/home/x/P/Footage"},
        {projects, "Raw", "/home/x/P", "/home/x/P/Raw"},
    };
    for (const Case &row : rows) {
        const FolderPlacement placement =
            FolderPlacement::of(offer(idName, row.label, QStringLiteral("Ann")), row.projects, row.location);
        EXPECT_EQ(placement.targetPath, row.target) << row.label.toStdString() << " at " << row.location.toStdString();
        EXPECT_EQ(placement.insideSyncedFolder, row.inside) << row.location.toStdString();
    }
}

TEST(OfferGroupTest, TargetSyncIsTheFirstExactNameMatch)
{
    const QList<Project> projects = {{.id = QStringLiteral("p-lower"), .name = QStringLiteral("film")},
                                     {.id = QStringLiteral("p-1"), .name = QStringLiteral("Film")},
                                     {.id = QStringLiteral("p-2"), .name = QStringLiteral("Film")},
                                     {.id = QStringLiteral("p-notes"), .name = QStringLiteral("Notes")}};
    struct Case { QList<Project> projects; QString label; QString name; std::optional<QString> existing; };
    const QList<Case> cases = {
        {projects, QStringLiteral("Film") + kDash + QStringLiteral("Audio"), QStringLiteral("Film"),
         QStringLiteral("p-1")},
        {projects.mid(0, 1), QStringLiteral("Film") + kDash + QStringLiteral("Audio"), QStringLiteral("Film"),
         std::nullopt},
        {projects, QStringLiteral("Notes"), QStringLiteral("Notes"), QStringLiteral("p-notes")},
        {projects, kDash + QStringLiteral("Audio"), QStringLiteral("Audio"), std::nullopt},
    };
    for (const Case &c : cases) {
        const FolderPlacement placement =
            FolderPlacement::of(offer(QStringLiteral("id"), c.label, QStringLiteral("Ann")), c.projects, std::nullopt);
        EXPECT_EQ(placement.targetSyncName, c.name);
        EXPECT_EQ(placement.existingProjectID, c.existing) << c.label.toStdString();
        EXPECT_EQ(placement.targetPath, std::nullopt);
    }
}

TEST(OfferGroupTest, InviteCodeIsThePrefixedPayloadOfTheLink)
{
    const Invite invite{.deviceID = QStringLiteral("ABC"), .name = QStringLiteral("M\u00E4c >>?"),
                        .project = QStringLiteral("a/b"), .tsIP = QStringLiteral("fd7a:115c::1")};
    const QString code = InviteCodec::code(invite);
    ASSERT_TRUE(code.startsWith(QStringLiteral("TDWSYNC1:")));
    const QString body = code.mid(9);
    EXPECT_FALSE(body.contains(QLatin1Char('+')) || body.contains(QLatin1Char('/')) || body.contains(QLatin1Char('=')));
    EXPECT_EQ(InviteCodec::decode(code), invite);
    EXPECT_EQ(InviteCodec::url(invite)->toString(), InviteCodec::linkPrefix + body);
    EXPECT_EQ(ProjectController::tailnetAddresses(QStringLiteral("fd7a:115c::1")),
              (QStringList{QStringLiteral("dynamic"), QStringLiteral("tcp://[fd7a:115c::1]:22000")}));
}

} // namespace
} // namespace tw
