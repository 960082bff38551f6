#include "app/StatusPage.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(StatusPageTest, WholePage)
{
    // This Mac at 43 % and a connected teammate with nothing counted yet; both
    // names and the sync's name need escaping, and the teammate's would turn
    // the page's words around were it not isolated.
    HealthInputs in{.engineRunning = true, .deviceName = "Mo's <Mac>", .localDeviceID = "ME"};
    in.engineFolders = {SyncFolder{.id = "f", .sharedDeviceIDs = {"ME", "PEER"}}};
    in.folderStatuses.insert("f", {.id = "f", .state = FolderState::Syncing, .globalBytes = 1000, .needBytes = 574});
    in.connections["PEER"].connected = true;
    ProjectFolder folder{.localPath = "/v/f", .syncthingFolderID = "f"};
    in.projects = {{.name = "R&amp;D \"film\"", .members = {{.deviceID = "PEER", .displayName = u"Ann & \u202EBo"_qs}}, .folders = {folder}}};
    QString page = dashboardHTML(in, [](const QString &) { return std::optional<double>(125); });
    // The style rules are a constant; everything around them is compared.
    const qsizetype styleStart = page.indexOf("<style>\n") + 8;
    EXPECT_EQ(page.remove(styleStart, page.indexOf("</style>") - styleStart),
        "<!doctype html><html lang=en><head><meta charset=utf-8>\n"
        "<meta name=viewport content=\"width=device-width,initial-scale=1\">\n"
        "<meta http-equiv=refresh content=5>\n"
        "<title>TidewellMesh \u2014 \u2068Mo&#39;s &lt;Mac&gt;\u2069</title>\n<style>\n"
        "</style></head><body>\n<h1>TidewellMesh</h1>\n"
        "<p class=muted>Live status from \u201c<bdi>\u2068Mo&#39;s &lt;Mac&gt;\u2069</bdi>\u201d \u00b7 refreshes every 5s \u00b7 read-only</p>\n"
        "<div class=card><div class=head><span class=name><bdi>\u2068R&amp;amp;D &quot;film&quot;\u2069</bdi></span>"
        "<span class=badge style=\"color:#ff9f0a\">Syncing 43%</span></div>"
        "<div class=dev><span class=dot style=\"background:#ff9f0a\"></span>"
        "<span class=dn><bdi>\u2068Mo&#39;s &lt;Mac&gt;\u2069</bdi></span><span class=ds>Syncing 43%</span></div>"
        "<div class=dev><span class=dot style=\"background:#ff9f0a\"></span>"
        "<span class=dn><bdi>\u2068Ann &amp; \u202EBo\u2069</bdi></span><span class=ds>Syncing 0% \u00b7 ~2 min</span></div>"
        "</div>\n</body></html>");
    EXPECT_TRUE(dashboardHTML({}, {}).endsWith("Mac\u201d \u00b7 refreshes every 5s \u00b7 read-only</p>\n"
                                               "<p class=muted>No syncs yet.</p>\n</body></html>"));
}

TEST(StatusPageTest, Tokens)
{
    const struct { QString presented, stored; bool match; } rows[] = {
        {"s3cr\u00e9t", "s3cr\u00e9t", true}, {"s3cr", "s3cr\u00e9t", false}, {"", "", false}, {"s3cr\u00e9u", "s3cr\u00e9t", false},
    };
    for (const auto &row : rows)
        EXPECT_EQ(tokensMatch(row.presented, row.stored), row.match) << row.presented.toStdString();
}

} // namespace
} // namespace tw
