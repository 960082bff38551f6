// The live state that follows Syncthing's events against a full read of the
// same Syncthing: after each change, once the events have arrived, both give
// the same folders, statuses, error texts, cluster needs, devices,
// connections and completions.

#include "controllers/DeviceController.h"
#include "controllers/EventController.h"
#include "controllers/FolderController.h"
#include "controllers/LiveStateFeed.h"
#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QDir>
#include <algorithm>
#include <gtest/gtest.h>

namespace tw {
namespace {

const QString shared = "tdw-5a4ed001";
const QString local = "tdw-10ca1001";

// What the views read, with the connections reduced to who is connected
// (byte totals and rates move between any two reads).
struct View
{
    QList<SyncFolder> folders;
    FolderStatusMap statuses;
    FolderTextMap errors;
    ClusterNeedMap needs;
    QList<SyncDevice> devices;
    QMap<QString, bool> connected;
    CompletionMap completion;

    bool operator==(const View &) const = default;
};

class LiveStateIntegrationTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        anna = new SyncthingInstance("127.0.0.8", "Anna");
        bert = new SyncthingInstance("127.0.0.9", "Bert");
        anna->start();
        bert->start();
        anna->pairWith(*bert);
    }
    static void TearDownTestSuite()
    {
        delete anna;
        delete bert;
    }

    LiveStateIntegrationTest()
    {
        engine = anna->startedEngine();
        reference = anna->startedEngine();
        folders = std::make_unique<FolderController>(*engine);
        devices = std::make_unique<DeviceController>(*engine);
        events = std::make_unique<EventController>(*engine);
        feed = std::make_unique<LiveStateFeed>(*engine, *events, *folders, *devices);
        events->start();
    }
    ~LiveStateIntegrationTest() override { events->stop(); }

    View followed()
    {
        awaitTask(folders->syncFolderList());
        awaitTask(devices->refresh());
        return view(*folders, *devices, events->completion());
    }

    // A full read as the controllers did it before they followed events,
    // with the completions of connected devices read one by one.
    View fullRead()
    {
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
        return view(folders, devices, completion);
    }

    static View view(const FolderController &folders, const DeviceController &devices, CompletionMap completion)
    {
        View view{folders.folders(), folders.statuses(), folders.folderErrors(), folders.clusterNeeds(),
                  devices.devices(), {}, {}};
        for (const DeviceConnection &connection : devices.connections())
            view.connected.insert(connection.id, connection.connected);
        // Only connected devices' completions count: Syncthing still answers
        // for one that has gone.
        for (auto folder = completion.cbegin(); folder != completion.cend(); ++folder) {
            for (auto device = folder->cbegin(); device != folder->cend(); ++device) {
                if (view.connected.value(device.key()))
                    view.completion[folder.key()][device.key()] = *device;
            }
        }
        return view;
    }

    // Waits until a full read shows the change, then until the followed
    // state equals a full read.
    void expectConverged(const char *change, const std::function<bool(const View &)> &shown)
    {
        ASSERT_TRUE(waitUntil([&] { return shown(fullRead()); }, 60000)) << change << ": never seen by a full read";
        View lastFollowed;
        View lastFull;
        const bool equal = waitUntil([&] {
            lastFollowed = followed();
            lastFull = fullRead();
            return lastFollowed == lastFull && shown(lastFollowed);
        }, 60000);
        EXPECT_TRUE(equal) << change << ": followed statuses " << ::testing::PrintToString(lastFollowed.statuses.keys())
                           << " differ from a full read";
    }

    static inline SyncthingInstance *anna = nullptr;
    static inline SyncthingInstance *bert = nullptr;
    std::unique_ptr<SyncthingEngine> engine;
    std::unique_ptr<SyncthingEngine> reference;
    std::unique_ptr<FolderController> folders;
    std::unique_ptr<DeviceController> devices;
    std::unique_ptr<EventController> events;
    std::unique_ptr<LiveStateFeed> feed;
};

TEST_F(LiveStateIntegrationTest, FollowedStateEqualsAFullReadAfterEachChange)
{
    const QString bertID = bert->deviceID();
    const QStringList both{anna->deviceID(), bertID};
    anna->putFolder(shared, both);
    bert->putFolder(shared, both);
    const QString localPath = anna->putFolder(local);
    ASSERT_TRUE(anna->waitUntilConnected(bertID));
    followed();
    const auto status = [](const View &view, const QString &id) { return view.statuses.value(id); };
    const auto paused = [](const View &view, const QString &id) {
        return std::ranges::any_of(view.folders, [&](const SyncFolder &f) { return f.id == id && f.isPaused; });
    };

    SyncthingInstance::writeFile(bert->root() + "/folders/" + shared + "/clip.mov", QByteArray(64 * 1024, 'x'));
    bert->request("POST", "/rest/db/scan?folder=" + shared, {}, bert->apiKey());
    expectConverged("a file added on the peer", [&](const View &view) {
        return status(view, shared).globalBytes == 64 * 1024 && status(view, shared).needBytes == 0
               && view.completion.value(shared).value(bertID) == 100.0;
    });

    awaitTask(engine->setFolderPaused(local, true));
    expectConverged("a folder paused", [&](const View &view) { return paused(view, local); });
    awaitTask(engine->setFolderPaused(local, false));
    expectConverged("a folder resumed", [&](const View &view) {
        return !paused(view, local) && status(view, local).state == FolderState::Idle;
    });

    NewFolderRequest request;
    request.id = "tdw-add3d001";
    request.label = "Added";
    request.path = anna->root() + "/folders/added";
    awaitTask(engine->addFolder(request));
    expectConverged("a folder added through the engine",
                    [&](const View &view) { return view.statuses.contains("tdw-add3d001"); });

    ASSERT_TRUE(QDir(localPath).removeRecursively());
    anna->request("POST", "/rest/db/scan?folder=" + local, {}, anna->apiKey());
    expectConverged("a folder whose path was removed", [&](const View &view) {
        return status(view, local).state == FolderState::Error && !view.errors.value(local).isEmpty();
    });

    bert->stop();
    expectConverged("a peer disconnected", [&](const View &view) {
        return !view.connected.value(bertID) && view.needs.value(shared).peersConnected == 0;
    });
}

} // namespace
} // namespace tw
