#include "app/DiskShortfall.h"
#include "app/ExclusionIssue.h"
#include "app/NotificationEdges.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(NotificationEdgesTest, PostsOnEdgesOnly)
{
    const QString all = NotificationEdges::allSyncedBody, ask = NotificationEdges::requestBody, disk = NotificationEdges::diskBody;
    NotificationEdges edges;
    edges.setBaselines(true, 2);
    const struct { NotificationObservation now; QStringList posted; } steps[] = {
        {{.allSynced = true, .pendingCount = 1}, {}},
        {{.pendingCount = 2}, {ask}},
        {{.notificationsOn = false, .allSynced = true, .pendingCount = 5, .shortOfSpace = {"a"}}, {}},
        {{.allSynced = true, .pendingCount = 3, .shortOfSpace = {"a", "b"}}, {all, ask, disk}},
        {{.allSynced = true, .pendingCount = 3, .shortOfSpace = {"a", "b", "c"}}, {disk}},
        {{.shortOfSpace = {"c"}}, {}},
    };
    for (const auto &step : steps)
        EXPECT_EQ(edges.evaluate(step.now), step.posted);
}

TEST(NotificationEdgesTest, DiskShortfallNeedsTheMargin)
{
    const FolderStatusMap statuses{{"f", {.id = "f", .needBytes = 500'000'000}}, {"z", {.id = "z"}}};
    const auto shortfall = [&](std::optional<QString> id, qint64 free) {
        return diskShortfall({.localPath = "/v", .syncthingFolderID = id}, statuses, {{"/v", free}});
    };
    EXPECT_EQ(shortfall("f", 1'400'000'000), (DiskShortfall{500'000'000, 1'400'000'000}));
    EXPECT_EQ(shortfall("f", 1'500'000'000), std::nullopt);
    EXPECT_EQ(shortfall("z", 0), std::nullopt);
    EXPECT_EQ(shortfall({}, 0), std::nullopt);
}

TEST(NotificationEdgesTest, ExclusionsNotYetInEffect)
{
    const ProjectFolder folder{.label = "Film", .syncthingFolderID = "f", .excludedDeviceIDs = {"A"}, .pausedDeviceIDs = {"B", "C"}};
    const QList<SyncFolder> engine{{.id = "f", .sharedDeviceIDs = {"ME", "A", "B"}, .introducedDeviceIDs = {"B"}}, {.id = "f"}};
    const QList<Project> projects{{.folders = {folder}}};
    EXPECT_EQ(exclusionConvergenceIssues(projects, engine, {{.id = "A", .name = "Ann"}}),
              (QList<ExclusionIssue>{{"Film", "Ann", false}, {"Film", "B", true}}));
}

} // namespace
} // namespace tw
