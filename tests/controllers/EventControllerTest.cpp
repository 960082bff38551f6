#include "controllers/DirectoryTimes.h"
#include "controllers/EventController.h"
#include "creationdates/FileDates.h"

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

// Makes a directory below root with this modification time and, when given,
// this time to carry.
void makeDirectory(const QString &root, const QString &path, qint64 modified, std::optional<qint64> carried = {})
{
    const QByteArray name = QFile::encodeName(root + '/' + path);
    ASSERT_TRUE(QDir().mkpath(root + '/' + path));
    if (carried) {
        const QByteArray text = QByteArray::number(*carried);
        ASSERT_EQ(::setxattr(name.constData(), FileDates::modifiedAttributeName, text.constData(), text.size(), 0), 0);
    }
    const struct timespec times[2] = {{0, UTIME_OMIT}, {modified, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, name.constData(), times, 0), 0);
}

qint64 modifiedAt(const QString &path) { return QFileInfo(path).lastModified().toSecsSinceEpoch(); }

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
        controller.setFolderMode([](const QString &id) {
            return id == folderA ? FolderSyncMode::SendReceive : FolderSyncMode::SendOnly;
        });
        controller.setFolderPath([this](const QString &) { return std::optional(root.path()); });
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
};

// A disconnect clears its device; a connect leaves what was held before it
// no longer current; miscased types do nothing; directory times are asked
// only for an updated directory (or an item's directory) of a send-and-receive
// folder, inside it, and once for all of a folder's updates.
TEST_F(EventControllerTest, EachEventTypeHasItsEffect)
{
    controller.setCompletion(folderA, peerE, 50);
    for (const SyncEvent &e :
         {ev("DeviceDisconnected", {}, peerE), ev("DeviceConnected"), ev("deviceconnected"),
          ev("PendingDevicesChanged"), ev("PendingFoldersChanged"), ev("FolderCompletion", folderB, peerD, 75.5),
          ev("DeviceConnected", {}, peerD), ev("FolderCompletion", folderA, peerD), ev("FolderCompletion", folderA, {}, 90),
          item(folderA, "Shots/Day1"), item(folderA, "Shots"), item(folderA, "a.mov", "file"), item(folderA, "Shots", "dir", "delete"),
          item(folderB, "Shots"), item(folderA, "../outside"), item(folderA, "/etc")})
        engine.pushEvent(e);
    startAndDrain();
    EXPECT_EQ(controller.completion(), (CompletionMap{{folderA, {{peerD, 0}}}, {folderB, {{peerD, 75.5}}}}));
    EXPECT_FALSE(controller.completionCurrent(folderB, peerD));
    EXPECT_EQ(deviceChanges, 3);
    EXPECT_EQ(pendingChanges, 2);
    ASSERT_TRUE(waitUntil([&] { return engine.callCount("directoryTimes") > 0; }));
    runEventLoopFor(50);
    EXPECT_EQ(engine.callsOf("directoryTimes"), QStringList{"directoryTimes(tdw-0000000a)"});
    EXPECT_EQ(engine.callCount("directoryModified"), 0);
}

// A pull lands its directories over many batches of events: the tree is read
// again only for a directory not read yet, or once a peer's index came.
TEST_F(EventControllerTest, APullReadsTheTreeAgainOnlyForADirectoryNotReadOrANewIndex)
{
    engine.state.directoryModified[folderA] = {{"Shots", 1}, {"Shots/Day1", 2}};
    SyncEvent pulling = ev("StateChanged", folderA);
    pulling.fromState = FolderState::Idle;
    pulling.toState = FolderState::Syncing;
    const auto batch = [this](const QList<SyncEvent> &events) {
        const int polls = engine.callCount("events");
        for (const SyncEvent &e : events)
            engine.pushEvent(e);
        ASSERT_TRUE(waitUntil([&] { return engine.callCount("events") > polls + 1; }));
    };
    startAndDrain();
    const struct { QList<SyncEvent> events; int reads; } steps[] = {
        {{pulling, item(folderA, "Shots")}, 1},
        {{item(folderA, "Shots"), item(folderA, "Shots/Day1")}, 2},
        {{item(folderA, "Shots/Day1"), item(folderA, "Shots/Day1/a.mov", "file"), item(folderA, "Shots")}, 2},
        {{ev("RemoteIndexUpdated", folderA, peerD)}, 2},
        {{item(folderA, "Shots")}, 3},
        {{item(folderA, "Shots/Day1")}, 3},
    };
    for (const auto &step : steps) {
        batch(step.events);
        EXPECT_EQ(engine.callCount("directoryTimes"), step.reads) << step.reads;
    }
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

TEST_F(EventControllerTest, RestoresOnlyTheModificationTimeOfADirectoryNeverThroughALink)
{
    const QString dir = root.filePath("Shots/Day1");
    QTemporaryDir outside;
    ASSERT_TRUE(QDir().mkpath(dir) && QDir().mkpath(outside.filePath("Day1")));
    ASSERT_TRUE(QFile::link(outside.path(), root.filePath("Linked")));
    ASSERT_TRUE(QFile::link(outside.filePath("Day1"), root.filePath("Shots/Link")));
    const struct timespec times[2] = {{1'500'000'000, 0}, {1'600'000'000, 0}};
    for (const QString &path : {dir, outside.path(), outside.filePath("Day1")})
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    // The links' restores are asked for first and answered first.
    for (const char *path : {"Linked/Day1", "Shots/Link", "Shots/Day1"}) {
        engine.state.directoryModified[folderA][path] = 1'234'567'890;
        engine.pushEvent(item(folderA, path));
    }
    startAndDrain();
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(dir).lastModified().toSecsSinceEpoch() == 1'234'567'890; }));
    EXPECT_EQ(QFileInfo(dir).lastRead().toSecsSinceEpoch(), 1'500'000'000);
    EXPECT_EQ(QFileInfo(outside.path()).lastModified().toSecsSinceEpoch(), 1'600'000'000);
    EXPECT_EQ(QFileInfo(outside.filePath("Day1")).lastModified().toSecsSinceEpoch(), 1'600'000'000);
}

// Only the scanner's changes stamp a directory with its own time: a file
// added, removed or changed stamps its directory; a directory reported
// changed that carries no time yet (Syncthing reports one new here so) is
// stamped with the one it was made in. A directory that carries a time, the
// folder's root, one whose restore is due, and a folder whose directories
// carry no times stamp nothing; a file made here while its directory's
// restore was due moves that directory on to its birth once restored.
TEST_F(EventControllerTest, ALocalChangeStampsOnlyTheDirectoriesItChanged)
{
    controller.setFolderCarriesTimes([](const QString &id) { return id == folderA; });
    qint64 time = 1'500'000'000;
    for (const char *path : {"Added", "Made/Sub", "Removed", "Pulled", "Elsewhere"})
        makeDirectory(root.path(), path, ++time);
    makeDirectory(root.path(), "Filled", ++time, 1'400'000'000);
    for (const char *path : {"Saved", "Placed", "Raced"})
        makeDirectory(root.path(), path, ++time, 1'400'000'000);
    makeDirectory(root.path(), "Unstamped", ++time);
    // The pull began before the saves, by the engine's clock.
    SyncEvent pulling = ev("StateChanged", folderA), pulled = ev("StateChanged", folderA);
    pulling.fromState = pulled.toState = FolderState::Idle;
    pulling.toState = pulled.fromState = FolderState::Syncing;
    pulling.loggedAtMs = QDateTime::currentMSecsSinceEpoch() - 1000;
    for (const char *path : {"Saved/new.txt", "Placed/pulled.mov", "Raced/new.txt", "Unstamped/new.txt"}) {
        QFile made(root.filePath(path));
        ASSERT_TRUE(made.open(QIODevice::WriteOnly));
    }
    for (const SyncEvent &e : {pulling, item(folderA, "Pulled/b.mov", "file"), change("Added/new.mov", "file", "modified"),
                               change("Made/Sub", "dir", "modified"), change("Removed/old.mov", "file", "deleted"),
                               change("Filled", "dir", "modified"), change("top.txt", "file", "modified"),
                               change("Pulled/a.mov", "file", "modified"), item(folderA, "Saved/b.mov", "file"),
                               change("Saved/new.txt", "file", "modified"), item(folderA, "Placed/pulled.mov", "file"),
                               change("Placed/pulled.mov", "file", "modified"), item(folderA, "Raced/b.mov", "file"),
                               item(folderA, "Unstamped/b.mov", "file"),
                               change("Elsewhere/a.mov", "file", "modified", folderB), pulled})
        engine.pushEvent(e);
    startAndDrain();
    ASSERT_TRUE(waitUntil([&] { return engine.callCount("scanPaths") > 0; }));
    QStringList stamped;
    for (const char *path : {"Added", "Made", "Made/Sub", "Removed", "Filled", "Pulled", "Elsewhere"})
        if (DirectoryTimes::carried(root.path(), path) == modifiedAt(root.filePath(path)))
            stamped.append(path);
    EXPECT_EQ(stamped, QStringList({"Added", "Made", "Made/Sub", "Removed"}));
    const auto movedOn = [&](const char *path) {
        const qint64 now = modifiedAt(root.filePath(path));
        return now > 1'400'000'000 && DirectoryTimes::carried(root.path(), path) == now;
    };
    EXPECT_TRUE(waitUntil([&] { return movedOn("Saved"); }));
    // A file made before the restore put its directory back, scanned after
    // a file the pull placed there.
    engine.pushEvent(change("Raced/b.mov", "file", "modified"));
    engine.pushEvent(change("Raced/new.txt", "file", "modified"));
    EXPECT_TRUE(waitUntil([&] { return movedOn("Raced"); }));
    // Saved into a directory that came without its time, which comes later.
    engine.pushEvent(change("Unstamped/new.txt", "file", "modified"));
    makeDirectory(root.path(), "Unstamped", 1'400'000'000, 1'400'000'000);
    engine.pushEvent(item(folderA, "Unstamped"));
    EXPECT_TRUE(waitUntil([&] { return movedOn("Unstamped"); }));
    // What a pull placed, reported again by a scan, is no save: the restore holds.
    EXPECT_EQ(modifiedAt(root.filePath("Placed")), 1'400'000'000);
    ASSERT_TRUE(waitUntil([&] { return engine.callCount("scanPaths") == 4; }));
    // A pull of a version that won over this computer's stamp, without its
    // time: the stamped time comes back and is sent again.
    const qint64 stampedTime = modifiedAt(root.filePath("Added"));
    ASSERT_EQ(::removexattr(QFile::encodeName(root.filePath("Added")).constData(), FileDates::modifiedAttributeName), 0);
    makeDirectory(root.path(), "Added", stampedTime + 500);
    engine.pushEvent(item(folderA, "Added"));
    EXPECT_TRUE(waitUntil([&] { return DirectoryTimes::carried(root.path(), "Added") == stampedTime && movedOn("Added"); }));
    ASSERT_TRUE(waitUntil([&] { return engine.callCount("scanPaths") == 5; }));
    // A teammate's later time there is theirs to put back: a version that
    // takes it away then brings back neither. A save after each pull marks
    // when the stamping it started is over.
    int restores = 0;
    QObject::connect(&controller, &EventController::directoryTimesRestored, [&] { ++restores; });
    const auto pullThenSave = [&](const char *directory, const char *saved) {
        const int before = restores, scans = engine.callCount("scanPaths");
        engine.pushEvent(item(folderA, directory));
        ASSERT_TRUE(waitUntil([&] { return restores > before; }));
        ASSERT_TRUE(QFile(root.filePath(saved)).open(QIODevice::WriteOnly));
        engine.pushEvent(change(saved, "file", "modified"));
        ASSERT_TRUE(waitUntil([&] { return engine.callCount("scanPaths") == scans + 1; }));
    };
    makeDirectory(root.path(), "Added", stampedTime + 700, stampedTime + 700);
    pullThenSave("Added", "Made/Sub/new.txt");
    ASSERT_EQ(::removexattr(QFile::encodeName(root.filePath("Added")).constData(), FileDates::modifiedAttributeName), 0);
    pullThenSave("Added", "Removed/new.txt");
    EXPECT_EQ(DirectoryTimes::carried(root.path(), "Added"), std::nullopt);
    // Nor does a directory a pull deleted, made again under its name.
    engine.pushEvent(item(folderA, "Made", "dir", "delete"));
    ASSERT_EQ(::removexattr(QFile::encodeName(root.filePath("Made")).constData(), FileDates::modifiedAttributeName), 0);
    pullThenSave("Made", "Elsewhere/new.txt");
    EXPECT_EQ(DirectoryTimes::carried(root.path(), "Made"), std::nullopt);
    for (const QString &call : engine.callsOf("scanPaths"))
        EXPECT_TRUE(call.startsWith("scanPaths(" + folderA)) << call.toStdString();
}

} // namespace
} // namespace tw
