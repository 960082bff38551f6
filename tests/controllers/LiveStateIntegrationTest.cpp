// Two "Macs" on loopback. Anna's live state follows her Syncthing's events;
// after each change, once the events have arrived, it equals a full read of
// the same Syncthing: folders, statuses, error texts, cluster needs, devices,
// who is connected and the connected devices' completions. Connections are
// read every cycle only while a transfer is possible: a transfer shows rates
// above 0 and then 0 again, and the quiet times around it read them at the
// idle pace.

#include "controllers/DeviceController.h"
#include "controllers/DirectoryTimeKeeper.h"
#include "controllers/EventController.h"
#include "controllers/FolderController.h"
#include "controllers/LiveStateFeed.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "engine/syncthing/process/SyncthingSweep.h"

#include "AwaitTask.h"
#include "ManualClock.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tw {
namespace {

const QString shared = "tdw-5a4ed001";
const QString local = "tdw-10ca1001";

struct View
{
    QList<SyncFolder> folders;
    FolderStatusMap statuses;
    FolderTextMap errors;
    ClusterNeedMap needs;
    QList<SyncDevice> devices;
    QMap<QString, bool> connected;  // byte totals and rates move between any two reads
    CompletionMap completion;       // of connected devices: Syncthing still answers for one gone

    bool operator==(const View &) const = default;
};

View viewOf(const FolderController &folders, const DeviceController &devices, const CompletionMap &completion)
{
    View view{folders.folders(), folders.statuses(), folders.folderErrors(), folders.clusterNeeds(),
              devices.devices(), {}, {}};
    for (const DeviceConnection &connection : devices.connections())
        view.connected.insert(connection.id, connection.connected);
    for (auto folder = completion.cbegin(); folder != completion.cend(); ++folder) {
        for (auto device = folder->cbegin(); device != folder->cend(); ++device) {
            if (view.connected.value(device.key()))
                view.completion[folder.key()][device.key()] = *device;
        }
    }
    return view;
}

// Counts the connections asked for, whether Syncthing or the engine's own
// one-second reuse answers them.
class CountingEngine : public SyncthingEngine
{
public:
    using SyncthingEngine::SyncthingEngine;
    QCoro::Task<QList<DeviceConnection>> connections() override
    {
        ++connectionReads;
        return SyncthingEngine::connections();
    }
    int connectionReads = 0;
};

class LiveStateIntegrationTest : public ::testing::Test
{
protected:
    LiveStateIntegrationTest()
    {
        feed = std::make_unique<LiveStateFeed>(*engine, events, folders, devices, clock.clock());
        events.setOnDeviceChange([this] { devices.refreshConnections(); });
        events.start();
    }

    // The directory times kept as the application keeps them.
    void keepDirectoryTimes()
    {
        keeper.emplace(*engine, events, QString());
        keeper->setFolderLookup([this](const QString &id) -> std::optional<DirectoryTimeKeeper::Folder> {
            const auto found = std::ranges::find(folders.folders(), id, &SyncFolder::id);
            if (found == folders.folders().end())
                return std::nullopt;
            return DirectoryTimeKeeper::Folder{.root = found->path, .carries = found->syncMetadata};
        });
        keeper->setOwnDeviceLookup([this] { return anna.deviceID(); });
    }
    ~LiveStateIntegrationTest() override { events.stop(); }

    // A full read as the controllers did it before they followed events,
    // with the connected devices' completions read one by one.
    View fullRead()
    {
        auto reference = anna.startedEngine();
        FolderController folders(*reference);
        DeviceController devices(*reference);
        awaitTask(folders.refresh());
        awaitTask(devices.refresh());
        CompletionMap completion;
        for (const SyncFolder &folder : folders.folders()) {
            for (const QString &device : folder.sharedDeviceIDs) {
                if (devices.connection(device).value_or(DeviceConnection()).connected)
                    completion[folder.id][device] = awaitTask(reference->deviceCompletion(folder.id, device));
            }
        }
        return viewOf(folders, devices, completion);
    }

    // Waits until a full read shows the change, then until the followed
    // state (one polling cycle per look) equals a full read.
    void expectConverged(const char *change, const std::function<bool(const View &)> &shown)
    {
        ASSERT_TRUE(waitUntil([&] { return shown(fullRead()); }, 60000)) << change << ": never seen by a full read";
        EXPECT_TRUE(waitUntil([&] {
            awaitTask(folders.syncFolderList());
            awaitTask(devices.refresh());
            return viewOf(folders, devices, events.completion()) == fullRead();
        }, 60000)) << change << ": the followed state never equalled a full read";
    }

    std::unique_ptr<CountingEngine> pairedEngine()
    {
        anna.start();
        bert.start();
        anna.pairWith(bert);
        auto started = std::make_unique<CountingEngine>(anna.sharedProcess(), realSleeper());
        awaitTask(started->start());
        return started;
    }

    // One polling cycle, the pace's clock 2 s on.
    void cycle()
    {
        clock.advanceMs(2000);
        awaitTask(folders.syncFolderList());
        awaitTask(devices.refresh());
    }

    // Cycles until the pace is idle, then the connections asked for over
    // the next 28 s.
    int readsWhileIdle()
    {
        EXPECT_TRUE(waitUntil([&] {
            cycle();
            return !devices.connectionsDue();
        }, 60000)) << "the pace never went idle";
        const int before = engine->connectionReads;
        for (int i = 0; i < 14; ++i)
            cycle();
        return engine->connectionReads - before;
    }

    SyncthingInstance anna{"127.0.0.8", "Anna"};
    SyncthingInstance bert{"127.0.0.9", "Bert"};
    std::unique_ptr<CountingEngine> engine = pairedEngine();
    ManualClock clock;
    FolderController folders{*engine};
    DeviceController devices{*engine, clock.clock()};
    EventController events{*engine};
    std::optional<DirectoryTimeKeeper> keeper;
    std::unique_ptr<LiveStateFeed> feed;
};

TEST_F(LiveStateIntegrationTest, FollowedStateEqualsAFullReadAfterEachChange)
{
    keepDirectoryTimes();
    const QString bertID = bert.deviceID();
    anna.putFolder(shared, {anna.deviceID(), bertID});
    const QString bertsCopy = bert.putFolder(shared, {anna.deviceID(), bertID});
    const QString localPath = anna.putFolder(local);
    ASSERT_TRUE(anna.waitUntilConnected(bertID));
    awaitTask(folders.syncFolderList());
    const auto status = [](const View &view, const QString &id) { return view.statuses.value(id); };
    const auto paused = [](const View &view) { return std::ranges::find(view.folders, local, &SyncFolder::id)->isPaused; };

    // A directory comes with Bert's time, which Anna's poller puts back.
    const time_t bertsTime = 1'000'000'000;
    ASSERT_TRUE(QDir().mkpath(bertsCopy + "/Shots"));
    SyncthingInstance::writeFile(bertsCopy + "/clip.mov", QByteArray(64 * 1024, 'x'));
    const struct timespec times[2] = {{bertsTime, 0}, {bertsTime, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(bertsCopy + "/Shots").constData(), times, 0), 0);
    bert.request("POST", "/rest/db/scan?folder=" + shared, {}, bert.apiKey());
    expectConverged("a file added on the peer", [&](const View &view) {
        return status(view, shared).localBytes > 64 * 1024 && status(view, shared).needBytes == 0
               && view.completion.value(shared).value(bertID) == 100.0;
    });
    const QString annasShots = anna.root() + "/folders/" + shared + "/Shots";
    EXPECT_TRUE(waitUntil([&] { return QFileInfo(annasShots).lastModified().toSecsSinceEpoch() == bertsTime; }, 60000));

    // A transfer held to 2 MB/s, so that it lasts a few seconds.
    const auto rate = [&] {
        const DeviceConnection link = devices.connection(bertID).value_or(DeviceConnection());
        return link.inBytesPerSecond + link.outBytesPerSecond;
    };
    EXPECT_LE(readsWhileIdle(), 1) << "before the transfer";
    const QByteArray limit = R"({"maxSendKbps":2000,"limitBandwidthInLan":true})";
    ASSERT_TRUE(bert.request("PATCH", "/rest/config/options", limit, bert.apiKey()).ok());
    QByteArray film(8 * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < film.size(); ++i)
        film[i] = char((i * 7919) ^ (i >> 11));
    SyncthingInstance::writeFile(bertsCopy + "/film.mov", film);
    bert.request("POST", "/rest/db/scan?folder=" + shared, {}, bert.apiKey());
    EXPECT_TRUE(waitUntil([&] {
        cycle();
        return rate() > 0;
    }, 60000)) << "no rate during the transfer";
    expectConverged("a transfer from the peer", [&](const View &view) {
        return status(view, shared).localBytes > film.size() && status(view, shared).needBytes == 0;
    });
    EXPECT_TRUE(waitUntil([&] {
        cycle();
        return rate() == 0;
    }, 60000)) << "the rate never went back to 0";
    EXPECT_LE(readsWhileIdle(), 1) << "after the transfer";

    awaitTask(engine->setFolderPaused(local, true));
    expectConverged("a folder paused", paused);
    awaitTask(engine->setFolderPaused(local, false));
    expectConverged("a folder resumed",
                    [&](const View &view) { return !paused(view) && status(view, local).state == FolderState::Idle; });

    NewFolderRequest request;
    request.id = "tdw-add3d001";
    request.path = anna.root() + "/folders/added";
    awaitTask(engine->addFolder(request));
    expectConverged("a folder added", [&](const View &view) { return view.statuses.contains("tdw-add3d001"); });

    ASSERT_TRUE(QDir(localPath).removeRecursively());
    anna.request("POST", "/rest/db/scan?folder=" + local, {}, anna.apiKey());
    expectConverged("a folder whose path was removed", [&](const View &view) {
        return status(view, local).state == FolderState::Error && !view.errors.value(local).isEmpty();
    });

    // Syncthing dies whole and starts again; the poller starts over with it.
    QCoro::waitFor(SyncthingSweep::kill(anna.home(), realSleeper()));
    awaitTask(engine->start());
    events.start();
    expectConverged("Syncthing started again", [&](const View &view) { return view.connected.value(bertID); });

    bert.stop();
    expectConverged("the peer disconnected", [&](const View &view) {
        return !view.connected.value(bertID) && view.needs.value(shared).peersConnected == 0;
    });
}

// Bert removes a directory that holds a file Anna's lines ignore: Syncthing
// cannot remove it and, needing no bytes, stays idle. Anna's folder names the
// item and Syncthing's reason, and counts as failing.
TEST_F(LiveStateIntegrationTest, AnItemSyncthingCannotSyncIsNamedWithItsReason)
{
    const QString id = "tdw-fa11ed01";
    const QString bertID = bert.deviceID();
    const QString annasCopy = anna.putFolder(id, {anna.deviceID(), bertID});
    const QString bertsCopy = bert.putFolder(id, {anna.deviceID(), bertID});
    ASSERT_TRUE(anna.waitUntilConnected(bertID));
    SyncthingInstance::writeFile(bertsCopy + "/d/take.txt", "take");
    bert.request("POST", "/rest/db/scan?folder=" + id, {}, bert.apiKey());
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(annasCopy + "/d/take.txt"); }, 60000));
    ASSERT_TRUE(anna.request("POST", "/rest/db/ignores?folder=" + id, R"({"ignore":["/d/keep.tmp"]})", anna.apiKey()).ok());
    SyncthingInstance::writeFile(annasCopy + "/d/keep.tmp", "Anna's own");

    ASSERT_TRUE(QDir(bertsCopy + "/d").removeRecursively());
    bert.request("POST", "/rest/db/scan?folder=" + id, {}, bert.apiKey());
    EXPECT_TRUE(waitUntil([&] {
        cycle();
        return folders.folderErrors().value(id).startsWith(QStringLiteral("Couldn't sync \u201C\u2068" "d\u2069\u201D here: "));
    }, 60000)) << folders.folderErrors().value(id).toStdString();
    const FolderStatus status = folders.status(id);
    EXPECT_TRUE(status.errorCount > 0 && status.state == FolderState::Idle && status.needBytes == 0);
}

// Bert goes away before Anna has pulled a file of his: Syncthing fails the
// item until a device that has it connects, as it fails every item needed
// right after a relaunch, before any teammate is back. Anna's folder waits
// for the file; nothing of it failed.
TEST_F(LiveStateIntegrationTest, AnItemNoConnectedDeviceHasIsWaitedForNotFailed)
{
    const QString id = "tdw-3a17ed01";
    const QString bertID = bert.deviceID();
    const auto annas = [&](const char *key) {
        return anna.get("/rest/db/status?folder=" + id).json()[QLatin1String(key)].toInteger();
    };
    anna.putFolder(id, {anna.deviceID(), bertID});
    ASSERT_TRUE(anna.request("POST", "/rest/db/ignores?folder=" + id, R"({"ignore":["/film.mov"]})", anna.apiKey()).ok());
    const QString bertsCopy = bert.putFolder(id, {anna.deviceID(), bertID});
    SyncthingInstance::writeFile(bertsCopy + "/film.mov", QByteArray(64 * 1024, 'f'));
    bert.request("POST", "/rest/db/scan?folder=" + id, {}, bert.apiKey());
    ASSERT_TRUE(waitUntil([&] { return annas("globalBytes") >= 64 * 1024; }, 60000)) << "Bert's index never came";
    bert.stop();
    ASSERT_TRUE(anna.request("POST", "/rest/db/ignores?folder=" + id, R"({"ignore":[]})", anna.apiKey()).ok());
    ASSERT_TRUE(waitUntil([&] { return annas("errors") > 0; }, 60000)) << "Syncthing never tried the file";

    const FolderStatus read = awaitTask(engine->folderStatus(id));
    EXPECT_EQ(read.errorCount, 0);
    EXPECT_GE(read.needBytes, 64 * 1024);
    EXPECT_TRUE(waitUntil([&] {
        cycle();
        return folders.status(id) == awaitTask(engine->folderStatus(id));
    }, 60000)) << "the followed status never equalled a read";
    EXPECT_FALSE(folders.status(id).hasErrors());
    EXPECT_TRUE(folders.folderErrors().isEmpty());
}

} // namespace
} // namespace tw
