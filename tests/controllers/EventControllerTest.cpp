#include "controllers/EventController.h"

#include "FakeSyncEngine.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <qcoro/qcorotimer.h>
#include <sys/stat.h>

using namespace std::chrono_literals;

namespace tw {
namespace {

const QString folderA = "tdw-0000000a";  // send and receive
const QString folderB = "tdw-0000000b";  // send only
const QString peerD = "PEER-D";
const QString peerE = "PEER-E";

SyncEvent ev(const char *type, std::optional<QString> folder = {}, std::optional<QString> device = {},
             std::optional<double> completion = {})
{
    SyncEvent e;
    e.type = QString::fromLatin1(type);
    e.folder = std::move(folder);
    e.device = std::move(device);
    e.completion = completion;
    return e;
}

SyncEvent item(const QString &folder, const char *path, const char *itemType = "dir", const char *action = "update")
{
    SyncEvent e = ev("ItemFinished", folder);
    e.item = QString::fromLatin1(path);
    e.itemType = QString::fromLatin1(itemType);
    e.action = QString::fromLatin1(action);
    return e;
}

QCoro::Task<void> yieldBriefly()
{
    co_await QCoro::sleepFor(1ms);
}

QCoro::Task<void> waitFor(std::shared_ptr<bool> release)
{
    while (!*release)
        co_await QCoro::sleepFor(1ms);
}

struct Poller
{
    Poller()
    {
        controller = std::make_unique<EventController>(engine, [this](std::chrono::milliseconds duration) {
            pauses.append(QString("%1 ms after %2 polls").arg(duration.count()).arg(polls()));
            return yieldBriefly();
        });
        controller->setOnDeviceChange([this] { ++deviceChanges; });
        controller->setOnPending([this] { ++pendingChanges; });
        controller->setFolderMode([](const QString &id) -> std::optional<FolderSyncMode> {
            if (id == folderA || id == folderB)
                return id == folderA ? FolderSyncMode::SendReceive : FolderSyncMode::SendOnly;
            return std::nullopt;
        });
        controller->setFolderPath([this](const QString &id) -> std::optional<QString> {
            return id == folderA || id == folderB ? std::optional(root.path()) : std::nullopt;
        });
    }

    ~Poller()
    {
        controller.reset();
        runEventLoopFor(5);
    }

    int polls() const { return engine.callCount("events"); }

    // Starts the poller and waits until it has found the stream quiet.
    void startAndDrain()
    {
        controller->start();
        ASSERT_TRUE(waitUntil([this] { return !pauses.isEmpty(); }));
    }

    QTemporaryDir root;
    FakeSyncEngine engine;
    QStringList pauses;  // each pause asked for, with the polls made before it
    std::unique_ptr<EventController> controller;
    int deviceChanges = 0;
    int pendingChanges = 0;
};

class EventControllerTest : public ::testing::Test, protected Poller
{
};

struct DispatchCase
{
    const char *name;
    QList<SyncEvent> events;
    CompletionMap completion;
    int deviceChanges = 0;
    int pendingChanges = 0;
    QStringList directoryQueries = {};
};

const CompletionMap seeded{{folderA, {{peerD, 50}, {peerE, 10}}}};

TEST(EventDispatchTest, EachEventTypeHasItsEffect)
{
    const DispatchCase cases[] = {
        {"completion stored", {ev("FolderCompletion", folderB, peerD, 75.5)},
         CompletionMap{{folderA, {{peerD, 50}, {peerE, 10}}}, {folderB, {{peerD, 75.5}}}}},
        {"completion without value is zero", {ev("FolderCompletion", folderA, peerD)},
         CompletionMap{{folderA, {{peerD, 0}, {peerE, 10}}}}},
        {"completion without device changes nothing", {ev("FolderCompletion", folderA, {}, 90)}, seeded},
        {"connects call back each time", {ev("DeviceConnected"), ev("DeviceConnected")}, seeded, 2},
        {"disconnect clears the device", {ev("DeviceDisconnected", {}, peerD), ev("DeviceDisconnected")},
         CompletionMap{{folderA, {{peerE, 10}}}}, 2},
        {"pending offers call back", {ev("PendingDevicesChanged"), ev("PendingFoldersChanged")}, seeded, 0, 2},
        {"other and miscased types do nothing",
         {ev("deviceconnected"), ev("pendingFoldersChanged"), ev("StateChanged")}, seeded},
        // Only an updated directory of a send-and-receive folder, inside it.
        {"directory times asked for updated directories only",
         {item(folderA, "Shots/Day1"), item(folderA, "a.mov", "file"), item(folderA, "Shots", "dir", "delete"),
          item(folderB, "Shots"), item("tdw-0000000c", "Shots"), item(folderA, "../outside")},
         seeded, 0, 0, {"directoryModified(tdw-0000000a, Shots/Day1)"}},
    };
    for (const DispatchCase &c : cases) {
        SCOPED_TRACE(c.name);
        Poller p;
        p.controller->setCompletion(folderA, peerD, 50);
        p.controller->setCompletion(folderA, peerE, 10);
        for (const SyncEvent &e : c.events)
            p.engine.pushEvent(e);
        p.startAndDrain();
        EXPECT_EQ(p.controller->completion(), c.completion);
        EXPECT_EQ(p.deviceChanges, c.deviceChanges);
        EXPECT_EQ(p.pendingChanges, c.pendingChanges);
        EXPECT_EQ(p.engine.callsOf("directoryModified"), c.directoryQueries);
    }
}

TEST_F(EventControllerTest, PausesOnlyAfterAQuietOrFailedPoll)
{
    engine.pushEvent(ev("StateChanged"));
    engine.pushEvent(ev("StateChanged"));
    startAndDrain();
    // Poll 1 brought two events: asked again at once; poll 2 was quiet.
    EXPECT_EQ(pauses.first(), "1000 ms after 2 polls");

    engine.failAlways("events", SyncEngineError::backend("refused"));
    const int before = polls();
    ASSERT_TRUE(waitUntil([&] { return pauses.size() >= 3; }));
    EXPECT_EQ(pauses.mid(1, 2), (QStringList{QString("1000 ms after %1 polls").arg(before + 1),
                                             QString("1000 ms after %1 polls").arg(before + 2)}));
    for (const QString &call : engine.callsOf("events").mid(1))
        EXPECT_EQ(call, "events(2)");
}

TEST_F(EventControllerTest, StartAgainOrStopEndsTheOldLoopAndItsPoll)
{
    // Hold the first poll in flight until released.
    auto release = std::make_shared<bool>(false);
    engine.beforeAnswer = [release, this](QString operation) -> QCoro::Task<void> {
        return waitFor(operation == "events" && polls() == 1 ? release : std::make_shared<bool>(true));
    };
    controller->start();
    ASSERT_EQ(polls(), 1);
    engine.pushEvent(ev("DeviceConnected"));
    controller->start();
    ASSERT_TRUE(waitUntil([this] { return deviceChanges == 1 && !pauses.isEmpty(); }));
    *release = true;
    runEventLoopFor(30);

    EXPECT_EQ(deviceChanges, 1);  // the old loop's batch was dropped
    // Each start ends the poll in flight before it asks anew.
    EXPECT_EQ(engine.callLog().mid(0, 5),
              (QStringList{"cancelEvents()", "events(0)", "cancelEvents()", "events(0)", "events(1)"}));
    EXPECT_EQ(engine.callsOf("events").count("events(0)"), 2);

    controller->stop();
    runEventLoopFor(30);
    EXPECT_EQ(engine.callNames().last(), "cancelEvents");  // and no poll after it
}

SyncEvent numbered(SyncEvent event, qint64 id)
{
    event.id = id;
    return event;
}

TEST_F(EventControllerTest, AsksFromTheHighestIDAndNotifiesOnlyOnChange)
{
    int notified = 0;
    QObject::connect(controller.get(), &EventController::completionChanged, [&notified] { ++notified; });
    controller->setCompletion(folderA, peerD, 40);
    controller->setCompletion(folderA, peerD, 40);
    engine.pushEvent(numbered(ev("StateChanged"), 7));
    engine.pushEvent(numbered(ev("FolderCompletion", folderA, peerD, 33), 4));
    engine.pushEvent(numbered(ev("FolderCompletion", folderA, peerD, 33), 5));
    engine.pushEvent(numbered(ev("DeviceDisconnected", {}, "PEER-UNKNOWN"), 6));
    startAndDrain();
    EXPECT_EQ(controller->completion().value(folderA).value(peerD), 33);
    EXPECT_EQ(notified, 2);
    EXPECT_EQ(engine.callsOf("events").mid(0, 2), (QStringList{"events(0)", "events(7)"}));
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
    struct stat info{};
    ASSERT_TRUE(waitUntil([&] {
        ::stat(QFile::encodeName(dir).constData(), &info);
        return info.st_mtim.tv_sec == 1'234'567'890;
    }));
    EXPECT_EQ(info.st_mtim.tv_nsec, 0);
    EXPECT_EQ(info.st_atim.tv_sec, 1'500'000'000);
    for (const QString &path : {outside.path(), outside.filePath("Day1")}) {
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
        EXPECT_EQ(info.st_mtim.tv_sec, 1'600'000'000) << path.toStdString();
    }
}

TEST(EventControllerLocationTest, JoinsWithOneSeparatorAndStaysInsideTheRoot)
{
    const struct
    {
        const char *root;
        const char *item;
        std::optional<QString> expected;
    } cases[] = {
        {"/srv/Project", "Shots/Day1", "/srv/Project/Shots/Day1"},
        {"/srv/Project/", "Shots", "/srv/Project/Shots"},
        {"/", "Shots", "/Shots"},
        {"/srv/Project", "..hidden", "/srv/Project/..hidden"},
        {"/srv/Project", "Shots/../../Other", std::nullopt},
        {"/srv/Project", "/etc", std::nullopt},
        {"Project", "Shots", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(EventController::itemLocation(QString::fromUtf8(c.root), QString::fromUtf8(c.item)), c.expected)
            << c.root << " + " << c.item;
}

} // namespace
} // namespace tw
