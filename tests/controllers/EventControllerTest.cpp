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

const QString folderA = QStringLiteral("tdw-0000000a");  // send and receive
const QString folderB = QStringLiteral("tdw-0000000b");  // send only
const QString peerD = QStringLiteral("PEER-D");
const QString peerE = QStringLiteral("PEER-E");

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

// Each pause the poller asks for, with the number of polls made before it.
struct Pause
{
    qint64 ms;
    int pollsBefore;
    bool operator==(const Pause &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Pause &pause)
{
    return os << pause.ms << "ms after " << pause.pollsBefore << " polls";
}

class EventControllerTest : public ::testing::Test
{
protected:
    EventControllerTest()
    {
        controller = std::make_unique<EventController>(engine, [this](std::chrono::milliseconds duration) {
            pauses.append({duration.count(), polls()});
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

    ~EventControllerTest() override
    {
        controller.reset();
        runEventLoopFor(5);
    }

    int polls() const { return engine.callCount(QStringLiteral("events")); }

    // Starts the poller and waits until it has found the stream quiet.
    void startAndDrain()
    {
        controller->start();
        ASSERT_TRUE(waitUntil([this] { return !pauses.isEmpty(); }));
    }

    QTemporaryDir root;
    FakeSyncEngine engine;
    QList<Pause> pauses;
    std::unique_ptr<EventController> controller;
    int deviceChanges = 0;
    int pendingChanges = 0;
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

class EventDispatchTest : public EventControllerTest, public ::testing::WithParamInterface<DispatchCase>
{
};

TEST_P(EventDispatchTest, EachEventTypeHasItsEffect)
{
    controller->setCompletion(folderA, peerD, 50);
    controller->setCompletion(folderA, peerE, 10);
    for (const SyncEvent &e : GetParam().events)
        engine.pushEvent(e);
    startAndDrain();
    EXPECT_EQ(controller->completion(), GetParam().completion);
    EXPECT_EQ(deviceChanges, GetParam().deviceChanges);
    EXPECT_EQ(pendingChanges, GetParam().pendingChanges);
    EXPECT_EQ(engine.callsOf(QStringLiteral("directoryModified")), GetParam().directoryQueries);
}

const CompletionMap seeded{{folderA, {{peerD, 50}, {peerE, 10}}}};

INSTANTIATE_TEST_SUITE_P(
    Types, EventDispatchTest,
    ::testing::Values(
        DispatchCase{"CompletionStored", {ev("FolderCompletion", folderB, peerD, 75.5)},
                     CompletionMap{{folderA, {{peerD, 50}, {peerE, 10}}}, {folderB, {{peerD, 75.5}}}}},
        DispatchCase{"CompletionWithoutValueIsZero", {ev("FolderCompletion", folderA, peerD)},
                     CompletionMap{{folderA, {{peerD, 0}, {peerE, 10}}}}},
        DispatchCase{"CompletionWithoutDeviceChangesNothing", {ev("FolderCompletion", folderA, {}, 90)}, seeded},
        DispatchCase{"ConnectsCallBackEachTime", {ev("DeviceConnected"), ev("DeviceConnected")}, seeded, 2},
        DispatchCase{"DisconnectClearsTheDevice", {ev("DeviceDisconnected", {}, peerD), ev("DeviceDisconnected")},
                     CompletionMap{{folderA, {{peerE, 10}}}}, 2},
        DispatchCase{"PendingOffersCallBack", {ev("PendingDevicesChanged"), ev("PendingFoldersChanged")}, seeded, 0, 2},
        DispatchCase{"OtherAndMiscasedTypesDoNothing",
                     {ev("deviceconnected"), ev("pendingFoldersChanged"), ev("StateChanged")}, seeded},
        // Only an updated directory of a send-and-receive folder, inside it.
        DispatchCase{"DirectoryTimesAskedForUpdatedDirectoriesOnly",
                     {item(folderA, "Shots/Day1"), item(folderA, "a.mov", "file"),
                      item(folderA, "Shots", "dir", "delete"), item(folderB, "Shots"),
                      item(QStringLiteral("tdw-0000000c"), "Shots"), item(folderA, "../outside")},
                     seeded, 0, 0, {QStringLiteral("directoryModified(tdw-0000000a, Shots/Day1)")}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(EventControllerTest, PausesOnlyAfterAQuietOrFailedPoll)
{
    engine.pushEvent(ev("StateChanged"));
    engine.pushEvent(ev("StateChanged"));
    startAndDrain();
    // Poll 1 brought two events: asked again at once; poll 2 was quiet.
    EXPECT_EQ(pauses.first(), (Pause{1000, 2}));

    engine.failAlways(QStringLiteral("events"), SyncEngineError::backend(QStringLiteral("refused")));
    const int before = polls();
    ASSERT_TRUE(waitUntil([&] { return pauses.size() >= 3; }));
    EXPECT_EQ(pauses.at(1), (Pause{1000, before + 1}));
    EXPECT_EQ(pauses.at(2), (Pause{1000, before + 2}));
    for (const QString &call : engine.callsOf(QStringLiteral("events")).mid(1))
        EXPECT_EQ(call, QStringLiteral("events(2)"));
}

TEST_F(EventControllerTest, AsksFromTheHighestIDAndHandlesLowerOnes)
{
    SyncEvent high = ev("StateChanged");
    high.id = 7;
    SyncEvent low = ev("FolderCompletion", folderA, peerD, 33);
    low.id = 4;
    engine.pushEvent(high);
    engine.pushEvent(low);
    startAndDrain();
    EXPECT_EQ(controller->completion().value(folderA).value(peerD), 33);
    EXPECT_EQ(engine.callsOf(QStringLiteral("events")).mid(0, 2),
              (QStringList{QStringLiteral("events(0)"), QStringLiteral("events(7)")}));
}

TEST_F(EventControllerTest, StartAgainDropsTheOldLoopAndBeginsAtZero)
{
    // Hold the first poll in flight until released.
    auto release = std::make_shared<bool>(false);
    engine.beforeAnswer = [release, this](QString operation) -> QCoro::Task<void> {
        return waitFor(operation == QStringLiteral("events") && polls() == 1 ? release : std::make_shared<bool>(true));
    };
    controller->start();
    ASSERT_EQ(polls(), 1);
    engine.pushEvent(ev("DeviceConnected"));
    controller->start();
    ASSERT_TRUE(waitUntil([this] { return deviceChanges == 1 && !pauses.isEmpty(); }));
    *release = true;
    runEventLoopFor(30);

    EXPECT_EQ(deviceChanges, 1);  // the old loop's batch was dropped
    const QStringList calls = engine.callsOf(QStringLiteral("events"));
    EXPECT_EQ(calls.mid(0, 3), (QStringList{QStringLiteral("events(0)"), QStringLiteral("events(0)"),
                                            QStringLiteral("events(1)")}));
    EXPECT_EQ(calls.count(QStringLiteral("events(0)")), 2);
}

TEST_F(EventControllerTest, CompletionNotifiesOnlyOnChange)
{
    int notified = 0;
    QObject::connect(controller.get(), &EventController::completionChanged, [&notified] { ++notified; });
    controller->setCompletion(folderA, peerD, 40);
    controller->setCompletion(folderA, peerD, 40);
    engine.pushEvent(ev("FolderCompletion", folderA, peerD, 40));
    engine.pushEvent(ev("DeviceDisconnected", {}, QStringLiteral("PEER-UNKNOWN")));
    startAndDrain();
    EXPECT_EQ(notified, 1);
}

TEST_F(EventControllerTest, RestoresOnlyTheModificationTimeOfADirectory)
{
    const QString dir = root.filePath(QStringLiteral("Shots/Day1"));
    ASSERT_TRUE(QDir().mkpath(dir));
    const struct timespec times[2] = {{1'500'000'000, 0}, {1'600'000'000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(dir).constData(), times, 0), 0);
    engine.state.directoryModified[folderA][QStringLiteral("Shots/Day1")] = 1'234'567'890;
    engine.pushEvent(item(folderA, "Shots/Day1"));
    startAndDrain();
    struct stat info{};
    ASSERT_TRUE(waitUntil([&] {
        ::stat(QFile::encodeName(dir).constData(), &info);
        return info.st_mtim.tv_sec == 1'234'567'890;
    }));
    EXPECT_EQ(info.st_mtim.tv_nsec, 0);
    EXPECT_EQ(info.st_atim.tv_sec, 1'500'000'000);
}

TEST(EventControllerLocationTest, JoinsWithOneSeparatorAndStaysInsideTheRoot)
{
    const struct
    {
        const char *root;
        const char *item;
        std::optional<QString> expected;
    } cases[] = {
        {"/srv/Project", "Shots/Day1", QStringLiteral("/srv/Project/Shots/Day1")},
        {"/srv/Project/", "Shots", QStringLiteral("/srv/Project/Shots")},
        {"/", "Shots", QStringLiteral("/Shots")},
        {"/srv/Project", "..hidden", QStringLiteral("/srv/Project/..hidden")},
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
