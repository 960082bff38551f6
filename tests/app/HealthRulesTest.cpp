#include "app/HealthRules.h"
#include "app/TransferSummary.h"
#include "app/texts/FriendlyFolderErrorMessage.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using S = FolderState;
using H = SyncHealth;
const QString me = "ME", peer = "PEER";

FolderStatus status(const char *id, FolderState state, qint64 global, qint64 need, qint64 failedItems = 0)
{
    return {.id = id, .state = state, .globalBytes = global, .needBytes = need, .errorCount = failedItems};
}

// This Mac with one connected peer; "new" is shared with it, "lone" only with
// a Mac that is away. The peer has taken "done", "coming", "scan" and "rest"
// and needs nothing of them (Syncthing's count of nothing); its index of
// "done" (and "unread", which this Mac has not counted since) is here, it reports content of "coming" of its own, still scans
// "scan" and rests on an empty "rest"; of "quiet" (beside the node) and "trio" (beside a third Mac still scanning) it has sent nothing, nor reports them.
HealthInputs inputs(const QList<FolderStatus> &statuses, bool running = true, bool paused = false)
{
    HealthInputs in{.engineRunning = running, .allPaused = paused, .localDeviceID = me};
    for (const FolderStatus &s : statuses)
        in.folderStatuses.insert(s.id, s);
    in.engineFolders = {{.id = "new", .sharedDeviceIDs = {me, peer}}, {.id = "lone", .sharedDeviceIDs = {me, "GONE"}}};
    in.completion["new"][peer] = 100;
    for (const char *id : {"done", "coming", "scan", "rest", "unread"}) {
        in.engineFolders.append({.id = id, .sharedDeviceIDs = {me, peer}});
        in.participants[id][peer] = 0;
        in.completion[id][peer] = 100;
    }
    in.participants["done"][peer] = in.participants["unread"][peer] = 4;
    in.unreadStatuses = {"unread"};
    in.peerReports[peer]["coming"].globalBytes = 500;
    in.peerReports[peer]["scan"].state = "scanning";
    in.peerReports[peer]["rest"].state = "idle";
    in.connections[peer].connected = true;
    // An always-on node sends no report of its own.
    in.engineFolders.append({.id = "onnode", .sharedDeviceIDs = {me, "NODE"}});
    in.participants["onnode"]["NODE"] = 0;
    in.completion["onnode"]["NODE"] = 100;
    in.connections["NODE"].connected = true;
    in.nodeDeviceIDs = {"NODE"};
    for (const char *id : {"quiet", "trio"}) {
        const QString other = id == QString("trio") ? "THIRD" : "NODE";
        in.engineFolders.append({.id = id, .sharedDeviceIDs = {me, peer, other}});
        in.participants[id][peer] = in.participants[id][other] = 0;
        in.completion[id][peer] = in.completion[id][other] = 100;
    }
    in.peerReports["THIRD"]["trio"].state = "scanning";
    in.connections["THIRD"].connected = true;
    return in;
}

ProjectFolder folder(const char *id, bool enabled = true)
{
    return {.localPath = QString("/v/") + id, .syncEnabled = enabled, .syncthingFolderID = id, .excludedDeviceIDs = {"EXCL"}};
}

TEST(HealthRulesTest, CoreRulePrecedence)
{
    // name, engine running, all paused, statuses, folder IDs, offline flag, expected
    const std::tuple<const char *, bool, bool, QList<FolderStatus>, QStringList, bool, SyncHealth> cases[] = {
        {"stopped wins", false, true, {status("a", S::Error, 0, 0)}, {"a"}, false, H::stopped()},
        {"paused beats error", true, true, {status("a", S::Error, 0, 0)}, {"a"}, false, H::paused()},
        {"error beats activity", true, false, {status("a", S::Error, 0, 0), status("b", S::Syncing, 9, 9)}, {"a", "b"}, false, H::error()},
        {"a removal the engine failed needs no bytes", true, false, {status("a", S::Idle, 9, 0, 1)}, {"a"}, false, H::error()},
        {"a file the engine failed is not syncing", true, false, {status("a", S::Idle, 9, 4, 2), status("b", S::Syncing, 9, 9)}, {"a", "b"}, false, H::error()},
        {"mean of active folders", true, false, {status("a", S::Syncing, 100, 50), status("b", S::Idle, 0, 5), status("c", S::Idle, 9, 0)}, {"a", "b", "c"}, false, H::syncing(0.25)},
        {"nothing to move is capped", true, false, {status("a", S::Syncing, 0, 0)}, {"a"}, false, H::syncing(0.99)},
        {"no status yet", true, false, {}, {"a"}, true, H::syncing(0)},
        {"empty but shared with a connected Mac", true, false, {status("new", S::Idle, 0, 0)}, {"new"}, false, H::syncing(0)},
        {"empty, shared with an absent Mac", true, false, {status("lone", S::Idle, 0, 0)}, {"lone"}, true, H::offline()},
        {"empty, its index exchanged with the connected Mac", true, false, {status("done", S::Idle, 0, 0)}, {"done"}, false, H::allSynced()},
        {"empty, the connected Mac's content not here yet", true, false, {status("coming", S::Idle, 0, 0)}, {"coming"}, false, H::syncing(0)},
        {"empty, the connected Mac takes part but still scans", true, false, {status("scan", S::Idle, 0, 0)}, {"scan"}, false, H::syncing(0)},
        {"empty, the connected Mac rests on an empty folder", true, false, {status("rest", S::Idle, 0, 0)}, {"rest"}, false, H::allSynced()},
        {"empty, the node takes part", true, false, {status("onnode", S::Idle, 0, 0)}, {"onnode"}, false, H::allSynced()},
        {"empty, nothing tells whether the connected Mac has content, beside the node", true, false, {status("quiet", S::Idle, 0, 0)}, {"quiet"}, false, H::waiting()},
        {"untold beside synced", true, false, {status("quiet", S::Idle, 0, 0), status("done", S::Idle, 0, 0)}, {"done", "quiet"}, false, H::waiting()},
        {"three Macs: untold, the third still scans", true, false, {status("trio", S::Idle, 0, 0)}, {"trio"}, false, H::syncing(0)},
        {"this Mac's first scan, its content counted nowhere yet", true, false, {status("done", S::Scanning, 0, 0)}, {"done"}, false, H::syncing(0)},
        {"this Mac's first scan, shared with no connected Mac", true, false, {status("lone", S::Scanning, 0, 0)}, {"lone"}, true, H::offline()},
        {"empty as last counted, before the connected Mac's index", true, false, {status("unread", S::Idle, 0, 0)}, {"unread"}, false, H::syncing(0)},
        {"a rescan of content already counted", true, false, {status("done", S::Scanning, 9, 0)}, {"done"}, false, H::allSynced()},
    };
    for (const auto &[name, running, paused, statuses, ids, offline, expected] : cases)
        EXPECT_EQ(health(ids, offline, inputs(statuses, running, paused)), expected) << name;
}

// The same knowledge of another Mac read by its folder health and by whether
// the team is still catching up.
TEST(HealthRulesTest, AnotherMacsProgress)
{
    // name, report's global and need bytes (a report of global 0 is no use),
    // completion event, connected, folder health, team catching up
    const std::tuple<const char *, qint64, qint64, std::optional<double>, bool, SyncHealth, bool> cases[] = {
        {"own report first", 1000, 500, 100, true, H::syncing(0.5), true},
        {"event at 99.95", 0, 0, 99.95, true, H::allSynced(), false},
        {"event at 99.94", 0, 0, 99.94, true, H::syncing(0.99), true},
        {"nothing known", 0, 0, {}, true, H::syncing(0), false},
        {"not connected", 1000, 500, {}, false, H::offline(), false},
    };
    for (const auto &[name, reportGlobal, reportNeed, event, connected, health, catchingUp] : cases) {
        HealthInputs in = inputs({});
        in.connections[peer].connected = connected;
        in.projects = {{.members = {{.deviceID = me}, {.deviceID = peer}}, .folders = {folder("a")}}};
        in.peerReports[peer]["a"].globalBytes = reportGlobal;
        in.peerReports[peer]["a"].needBytes = reportNeed;
        in.participants["a"][peer] = 4;
        if (event)
            in.completion["a"][peer] = *event;
        EXPECT_EQ(folderHealthOnDevice(folder("a"), peer, in), health) << name;
        EXPECT_EQ(projectTeamCatchingUp(in.projects.first(), in), catchingUp) << name;
    }
    EXPECT_EQ(folderHealthOnDevice(folder("a"), "EXCL", inputs({})), H::paused());
    // Complete by Syncthing's count of nothing: not taken, or no index here yet.
    for (const char *id : {"new", "scan"})
        EXPECT_EQ(folderHealthOnDevice(folder(id), peer, inputs({})), H::syncing(0)) << id;
    EXPECT_EQ(folderHealthOnDevice(folder("quiet"), peer, inputs({})), H::waiting());
    EXPECT_EQ(deviceHealth({.folders = {folder("quiet"), folder("done")}}, peer, inputs({})), H::waiting());
}

TEST(HealthRulesTest, MacWithinSync)
{
    // name, device, engine running, folder a and b switched on, b's drive offline, expected
    const std::tuple<const char *, QString, bool, bool, bool, bool, SyncHealth> cases[] = {
        {"weighted by content", me, true, true, true, false, H::syncing(0.625)},
        {"switched-off folder left out", me, true, true, false, false, H::syncing(0.5)},
        {"everything switched off", me, true, false, false, false, H::paused()},
        {"stopped before a missing drive", me, false, true, true, true, H::stopped()},
        {"missing drive", me, true, true, true, true, H::offline()},
        {"another Mac ignores the switch", peer, true, true, false, false, H::syncing(0.875)},
    };
    for (const auto &[name, device, running, aOn, bOn, bDriveOffline, expected] : cases) {
        HealthInputs in = inputs({status("a", S::Syncing, 300, 150), status("b", S::Idle, 100, 0)}, running);
        in.completion = {{"a", {{peer, 100}}}, {"b", {{peer, 50}}}};
        in.participants = {{"a", {{peer, 4}}}, {"b", {{peer, 4}}}};
        in.volumeOnline["/v/b"] = !bDriveOffline;
        const Project sync{.folders = {folder("a", aOn), folder("b", bOn)}};
        EXPECT_EQ(deviceHealth(sync, device, in), expected) << name;
    }
}

// This Mac receives into "new" (100 bytes); "lone" is a folder of a sync
// shared with the peer, which has taken it, is paused for it, or has not
// accepted the offer yet.
TEST(HealthRulesTest, TransfersDownBeforeUpAndOnlyWholeBytesOfConnectedMacs)
{
    using D = TransferSummary::Direction;
    using T = std::optional<TransferSummary>;
    enum Peer { Takes, Paused, Offered };
    // name, need of "new", size of "lone", peer's percent of it, the peer and it, connected, sync asked for
    const std::tuple<const char *, qint64, qint64, std::optional<double>, Peer, bool, std::optional<QString>, T> cases[] = {
        {"down counts receiving folders only", 10, 500, 60, Takes, true, {}, TransferSummary{D::Down, 10, 100}},
        {"up: 40 % of 500 bytes", 0, 500, 60, Takes, true, "S", TransferSummary{D::Up, 200, 500}},
        {"nothing known: all missing", 0, 500, {}, Takes, true, {}, TransferSummary{D::Up, 500, 500}},
        {"paused for the folder", 0, 500, 60, Paused, true, {}, {}},
        {"offered, not accepted yet", 0, 500, 0, Offered, true, {}, {}},
        {"away", 0, 500, 60, Takes, false, {}, {}},
        {"under one byte", 0, 999, 99.95, Takes, true, {}, {}},
        {"no such sync", 10, 500, 60, Takes, true, "T", {}},
    };
    for (const auto &[name, need, size, percent, standing, connected, sync, expected] : cases) {
        HealthInputs in = inputs({status("new", S::Syncing, 100, need), status("lone", S::Idle, size, 0)});
        in.connections[peer].connected = connected;
        if (percent)
            in.completion["lone"][peer] = *percent;
        if (standing != Offered)
            in.participants["lone"][peer] = 4;
        ProjectFolder lone = folder("lone");
        lone.pausedDeviceIDs = standing == Paused ? QStringList{peer} : QStringList{};
        in.projects = {{.id = "S", .members = {{.deviceID = me}, {.deviceID = peer}}, .folders = {lone}}};
        EXPECT_EQ(summarizeTransfers(in, sync), expected) << name;
    }
    // Only a pull under way receives: not a folder standing on failed items or stopped in error.
    // Without a summary, such a folder is not up to date: it fails in its sync's scope and in all syncs'.
    const std::tuple<S, qint64, T, bool> receiving[] = {{S::Idle, 250, {}, true}, {S::Error, 0, {}, true},
                                                        {S::Syncing, 250, TransferSummary{D::Down, 10, 100}, true},
                                                        {S::Idle, 0, TransferSummary{D::Down, 10, 100}, false}};
    for (const auto &[state, failed, expected, failing] : receiving) {
        HealthInputs in = inputs({status("new", state, 100, 10, failed)});
        in.projects = {{.id = "S", .folders = {folder("lone")}}, {.id = "F", .folders = {folder("new")}}};
        EXPECT_EQ(summarizeTransfers(in), expected) << int(state);
        const std::tuple<std::optional<QString>, bool> scopes[] = {{std::nullopt, failing}, {"F", failing}, {"S", false}, {"T", false}};
        for (const auto &[sync, inScope] : scopes)
            EXPECT_EQ(failingInScope(in, sync), inScope) << int(state) << " " << sync.value_or("all").toStdString();
    }
}

TEST(HealthRulesTest, MacsOfSyncInOrderOnce)
{
    HealthInputs in = inputs({});
    in.nodeDeviceIDs = {"NODE", "Y"};
    in.devices = {{.id = "X", .name = "Studio"}};
    in.engineFolders[0].sharedDeviceIDs = {me, "", peer, "X", "Y"};
    const Project sync{.members = {{.deviceID = me}, {.deviceID = peer, .displayName = "Peer"}, {.displayName = "Empty"}, {.deviceID = peer}, {.deviceID = "NODE", .displayName = "Nas"}},
                       .folders = {folder("new")}};
    const QList<ProjectDeviceRef> expected{{me, "This Mac", true, false}, {peer, "Peer", false, false}, {"NODE", "Nas", false, true}, {"X", "Studio", false, false}, {"Y", "Device", false, true}};
    EXPECT_EQ(projectDevices(sync, in), expected);
}

TEST(HealthRulesTest, Texts)
{
    const QList<std::pair<QString, QString>> cases{
        {H::syncing(0.995).label(), "Syncing \u2026 100 %"},
        {friendlyFolderErrorMessage("insufficient space on disk (current 2.1 % < required 5%)"), "Low disk space \u2014 only 2.1% free, Syncthing needs \u22655%. Free up space (the file manager can show more \u201cfree\u201d space than is really available \u2014 e.g. your backup tool local snapshots or caches count as free there but not for this check)."},
        {friendlyFolderErrorMessage("insufficient space on disk"), "Low disk space on this Mac's drive \u2014 Syncthing paused this folder until there's more room."},
        {friendlyFolderErrorMessage("Insufficient space on disk"), "Insufficient space on disk"},
    };
    for (const auto &[actual, expected] : cases)
        EXPECT_EQ(actual.toStdString(), expected.toStdString());
}

} // namespace
} // namespace tw
