#include "controllers/EventController.h"

#include "AwaitTask.h"
#include "FakeSyncEngine.h"
#include "WaitUntil.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <qcoro/qcorotimer.h>
#include <sys/stat.h>
#include <sys/xattr.h>

using namespace std::chrono_literals;

namespace tw {
namespace {

const QString folderA = "tdw-0000000a";  // send and receive
const QString folderB = "tdw-0000000b";  // send only
const QString peerD = "PEER-D", peerE = "PEER-E";

SyncEvent ev(QString type, std::optional<QString> folder = {}, std::optional<QString> device = {},
             std::optional<double> completion = {})
{
    SyncEvent e;
    e.type = std::move(type);
    e.folder = std::move(folder);
    e.device = std::move(device);
    e.completion = completion;
    return e;
}

SyncEvent item(QString folder, QString path, QString itemType = "dir", QString action = "update")
{
    SyncEvent e = ev("ItemFinished", std::move(folder));
    e.item = std::move(path);
    e.itemType = std::move(itemType);
    e.action = std::move(action);
    return e;
}

SyncEvent change(QString path, QString itemType, QString action, QString folder = folderA)
{
    SyncEvent e = item(std::move(folder), std::move(path), std::move(itemType), std::move(action));
    e.type = "LocalChangeDetected";
    return e;
}

// Counts the pauses that have ended in a counter that outlives the poller.
QCoro::Task<void> pauseBriefly(std::shared_ptr<int> ended)
{
    co_await QCoro::sleepFor(1ms);
    ++*ended;
}

class EventControllerTest : public ::testing::Test
{
protected:
    EventControllerTest()
    {
        controller.setOnDeviceChange([this] { ++deviceChanges; });
        controller.setOnPending([this] { ++pendingChanges; });
        QObject::connect(&controller, &EventController::itemPulled,
                         [this](const QString &folder, const QString &path, bool directory, bool deleted) {
                             pulled.append(QStringLiteral("%1 %2%3%4").arg(folder, path, directory ? "/" : "",
                                                                          deleted ? " gone" : ""));
                         });
    }

    // Starts the poller and waits until it has found the stream quiet.
    void startAndDrain()
    {
        controller.start();
        ASSERT_TRUE(waitUntil([this] { return *pausesEnded > 0; }));
    }

    QTemporaryDir root;
    FakeSyncEngine engine;
    std::shared_ptr<int> pausesEnded = std::make_shared<int>(0);
    EventController controller{engine, [this](std::chrono::milliseconds) { return pauseBriefly(pausesEnded); }};
    int deviceChanges = 0, pendingChanges = 0;
    QStringList pulled;
};

// A disconnect clears its device; a connect leaves what was held before it
// no longer current; miscased types do nothing; every item a pull finished
// is told, with whether it is a directory and was removed.
TEST_F(EventControllerTest, EachEventTypeHasItsEffect)
{
    controller.setCompletion(folderA, peerE, 50);
    for (const SyncEvent &e :
         {ev("DeviceDisconnected", {}, peerE), ev("DeviceConnected"), ev("deviceconnected"),
          ev("PendingDevicesChanged"), ev("PendingFoldersChanged"), ev("FolderCompletion", folderB, peerD, 75.5),
          ev("DeviceConnected", {}, peerD), ev("FolderCompletion", folderA, peerD), ev("FolderCompletion", folderA, {}, 90),
          item(folderA, "Shots/Day1"), item(folderA, "a.mov", "file"), item(folderA, "Shots", "dir", "delete"),
          item(folderB, "Shots")})
        engine.pushEvent(e);
    startAndDrain();
    EXPECT_EQ(controller.completion(), (CompletionMap{{folderA, {{peerD, 0}}}, {folderB, {{peerD, 75.5}}}}));
    EXPECT_FALSE(controller.completionCurrent(folderB, peerD));
    EXPECT_EQ(deviceChanges, 3);
    EXPECT_EQ(pendingChanges, 2);
    EXPECT_EQ(pulled, QStringList({folderA + " Shots/Day1/", folderA + " a.mov", folderA + " Shots/ gone",
                                   folderB + " Shots/"}));
}

// The changes found on disk (and those a pull made, in the same order) come
// from their own stream, read from its first: one numbered past it, or past
// the last one read, tells that some went untold; a catch-up and the loop
// answered alike hand each on once.
TEST_F(EventControllerTest, ChangesFoundOnDiskAreToldOnceAndAHoleIsAGap)
{
    const auto found = [](qint64 id, QString path, QString action = "modified") {
        SyncEvent e = change(std::move(path), "file", std::move(action));
        e.id = id;
        return e;
    };
    QStringList told;
    int gaps = 0;
    QObject::connect(&controller, &EventController::localChangeFound,
                     [&](const QString &, const QString &path, bool, bool deleted) {
                         told.append(path + (deleted ? " gone" : ""));
                     });
    QObject::connect(&controller, &EventController::diskStreamGap, [&] { ++gaps; });
    SyncEvent placed = found(3, "c.mov");
    placed.type = "RemoteChangeDetected";
    engine.state.diskEvents = {found(1, "a.mov"), found(2, "b.mov", "deleted"), placed};
    controller.start();
    const int startGaps = gaps;
    ASSERT_TRUE(waitUntil([&] { return told.size() == 2 && pulled.size() == 1; }));
    awaitTask(controller.catchUpDisk());
    EXPECT_EQ(gaps, startGaps);
    engine.state.diskEvents.append(found(5, "d.mov"));
    awaitTask(controller.catchUpDisk());
    ASSERT_TRUE(waitUntil([&] { return told.size() == 3; }));
    runEventLoopFor(50);
    EXPECT_EQ(told, QStringList({"a.mov", "b.mov gone", "d.mov"}));
    EXPECT_EQ(gaps, startGaps + 1);
    EXPECT_EQ(pulled, QStringList{folderA + " c.mov"});
}

struct HeldPoll { bool released = false; bool answered = false; };

// Holds a call until released (none when there is nothing to hold); the
// caller's remaining steps run at once after `answered` is set.
QCoro::Task<void> holdUntilReleased(std::shared_ptr<HeldPoll> poll)
{
    while (poll && !poll->released)
        co_await QCoro::sleepFor(1ms);
    if (poll)
        poll->answered = true;
}

TEST_F(EventControllerTest, StartAgainOrStopEndsTheOldLoopAndItsPoll)
{
    auto held = std::make_shared<HeldPoll>();
    engine.beforeAnswer = [held, this](QString operation) {
        return holdUntilReleased(operation == "events" && engine.callCount("events") == 2 ? held : nullptr);
    };
    engine.pushEvent(ev("DeviceConnected"));
    controller.start();  // handles event 1; its next poll is held
    engine.pushEvent(ev("DeviceConnected"));
    controller.start();  // a restarted engine counts from 1 again: asks from 0
    held->released = true;
    ASSERT_TRUE(waitUntil([&] { return held->answered; }));
    EXPECT_EQ(deviceChanges, 3);  // the old loop dropped its batch
    EXPECT_EQ(engine.callLog().mid(0, 6), (QStringList{"cancelEvents()", "events(0)", "events(1)", "cancelEvents()",
                                                       "events(0)", "events(2)"}));

    // Stopped in its pause: once that pause is over, the loop asks nothing more.
    const int ended = *pausesEnded;
    controller.stop();
    ASSERT_TRUE(waitUntil([&] { return *pausesEnded > ended; }));
    EXPECT_EQ(engine.callLog().last(), "cancelEvents()");  // and no poll after it
}

} // namespace
} // namespace tw
