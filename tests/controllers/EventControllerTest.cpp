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

const QString folderA = QStringLiteral("tdw-0000000a");
const QString folderB = QStringLiteral("tdw-0000000b");
const QString peerD = QStringLiteral("PEER-D");
const QString peerE = QStringLiteral("PEER-E");

SyncEvent event(const QString &type)
{
    SyncEvent e;
    e.type = type;
    return e;
}

SyncEvent completionEvent(std::optional<QString> folder, std::optional<QString> device, std::optional<double> value)
{
    SyncEvent e = event(QStringLiteral("FolderCompletion"));
    e.folder = std::move(folder);
    e.device = std::move(device);
    e.completion = value;
    return e;
}

SyncEvent disconnected(std::optional<QString> device)
{
    SyncEvent e = event(QStringLiteral("DeviceDisconnected"));
    e.device = std::move(device);
    e.connected = false;
    return e;
}

SyncEvent itemFinished(const QString &folder, const QString &item, const QString &itemType, const QString &action)
{
    SyncEvent e = event(QStringLiteral("ItemFinished"));
    e.folder = folder;
    e.item = item;
    e.itemType = itemType;
    e.action = action;
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

QCoro::Task<void> yieldNothing()
{
    co_return;
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
        const auto record = pauses;
        FakeSyncEngine *fake = &engine;
        controller = std::make_unique<EventController>(engine, [record, fake](std::chrono::milliseconds duration) {
            record->append({duration.count(), fake->callCount(QStringLiteral("events"))});
            return yieldBriefly();
        });
        controller->setOnDeviceChange([this] { ++deviceChanges; });
        controller->setOnPending([this] { ++pendingChanges; });
        controller->setFolderMode([](const QString &id) -> std::optional<FolderSyncMode> {
            if (id == folderA)
                return FolderSyncMode::SendReceive;
            if (id == folderB)
                return FolderSyncMode::SendOnly;
            return std::nullopt;
        });
        controller->setFolderPath([this](const QString &id) -> std::optional<QString> {
            if (id == folderA || id == folderB)
                return root.path();
            return std::nullopt;
        });
    }

    ~EventControllerTest() override
    {
        controller.reset();
        // Let the detached loop see that its controller is gone.
        runEventLoopFor(5);
    }

    int polls() const { return engine.callCount(QStringLiteral("events")); }

    // Starts the poller and waits until every queued event has been handled
    // and the poller has found the stream quiet.
    void startAndDrain()
    {
        controller->start();
        ASSERT_TRUE(waitUntil([this] { return !pauses->isEmpty(); }));
    }

    QTemporaryDir root;
    FakeSyncEngine engine;
    std::shared_ptr<QList<Pause>> pauses = std::make_shared<QList<Pause>>();
    std::unique_ptr<EventController> controller;
    int deviceChanges = 0;
    int pendingChanges = 0;
};

struct DispatchCase
{
    const char *name;
    QList<SyncEvent> events;
    CompletionMap expectedCompletion;
    int deviceChanges = 0;
    int pendingChanges = 0;
    QStringList directoryQueries = {};
};

class EventDispatchTest : public EventControllerTest, public ::testing::WithParamInterface<DispatchCase>
{
};

TEST_P(EventDispatchTest, EachEventTypeHasItsEffect)
{
    // Seeded by the owner before the events arrive.
    controller->setCompletion(folderA, peerD, 50);
    controller->setCompletion(folderA, peerE, 10);
    controller->setCompletion(folderB, peerD, 20);
    for (const SyncEvent &e : GetParam().events)
        engine.pushEvent(e);

    startAndDrain();

    EXPECT_EQ(controller->completion(), GetParam().expectedCompletion);
    EXPECT_EQ(deviceChanges, GetParam().deviceChanges);
    EXPECT_EQ(pendingChanges, GetParam().pendingChanges);
    EXPECT_EQ(engine.callsOf(QStringLiteral("directoryModified")), GetParam().directoryQueries);
}

const CompletionMap seeded{{folderA, {{peerD, 50}, {peerE, 10}}}, {folderB, {{peerD, 20}}}};

CompletionMap seededWith(const QString &folder, const QString &device, double value)
{
    CompletionMap map = seeded;
    map[folder][device] = value;
    return map;
}

INSTANTIATE_TEST_SUITE_P(
    Types, EventDispatchTest,
    ::testing::Values(
        DispatchCase{"CompletionStored", {completionEvent(folderA, peerD, 75.5)}, seededWith(folderA, peerD, 75.5)},
        DispatchCase{"CompletionOfANewFolder",
                     {completionEvent(QStringLiteral("tdw-0000000c"), peerE, 100)},
                     seededWith(QStringLiteral("tdw-0000000c"), peerE, 100)},
        DispatchCase{"CompletionWithoutValueIsZero", {completionEvent(folderA, peerD, std::nullopt)},
                     seededWith(folderA, peerD, 0)},
        DispatchCase{"CompletionWithoutDeviceChangesNothing", {completionEvent(folderA, std::nullopt, 90)}, seeded},
        DispatchCase{"ThreeConnectsThreeCalls",
                     {event(QStringLiteral("DeviceConnected")), event(QStringLiteral("DeviceConnected")),
                      event(QStringLiteral("DeviceConnected"))},
                     seeded,
                     3},
        DispatchCase{"DisconnectClearsTheDeviceEverywhere",
                     {disconnected(peerD)},
                     CompletionMap{{folderA, {{peerE, 10}}}, {folderB, {}}},
                     1},
        DispatchCase{"DisconnectWithoutDeviceOnlyCallsBack", {disconnected(std::nullopt)}, seeded, 1},
        DispatchCase{"PendingOffersCallBack",
                     {event(QStringLiteral("PendingDevicesChanged")), event(QStringLiteral("PendingFoldersChanged"))},
                     seeded,
                     0,
                     2},
        DispatchCase{"TypesAreCaseSensitive",
                     {event(QStringLiteral("deviceconnected")), event(QStringLiteral("pendingFoldersChanged"))},
                     seeded},
        DispatchCase{"OtherTypesDoNothing",
                     {event(QStringLiteral("StateChanged")), event(QStringLiteral("ItemStarted"))},
                     seeded},
        DispatchCase{"UpdatedDirectoryIsRestored",
                     {itemFinished(folderA, QStringLiteral("Shots/Day1"), QStringLiteral("dir"),
                                   QStringLiteral("update"))},
                     seeded,
                     0,
                     0,
                     {QStringLiteral("directoryModified(tdw-0000000a, Shots/Day1)")}},
        DispatchCase{"UpdatedFileIsNotRestored",
                     {itemFinished(folderA, QStringLiteral("a.mov"), QStringLiteral("file"), QStringLiteral("update"))},
                     seeded},
        DispatchCase{"DeletedDirectoryIsNotRestored",
                     {itemFinished(folderA, QStringLiteral("Shots"), QStringLiteral("dir"), QStringLiteral("delete"))},
                     seeded},
        DispatchCase{"SendOnlyFolderIsNotRestored",
                     {itemFinished(folderB, QStringLiteral("Shots"), QStringLiteral("dir"), QStringLiteral("update"))},
                     seeded},
        DispatchCase{"UnknownFolderIsNotRestored",
                     {itemFinished(QStringLiteral("tdw-0000000c"), QStringLiteral("Shots"), QStringLiteral("dir"),
                                   QStringLiteral("update"))},
                     seeded},
        DispatchCase{"ItemLeadingOutsideIsNotRestored",
                     {itemFinished(folderA, QStringLiteral("../outside"), QStringLiteral("dir"),
                                   QStringLiteral("update"))},
                     seeded}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(EventControllerTest, PausesOnlyAfterAQuietOrFailedPoll)
{
    engine.pushEvent(event(QStringLiteral("StateChanged")));
    engine.pushEvent(event(QStringLiteral("StateChanged")));
    startAndDrain();
    // Poll 1 brought two events: asked again at once; poll 2 was quiet.
    EXPECT_EQ(pauses->first(), (Pause{1000, 2}));

    engine.failAlways(QStringLiteral("events"), SyncEngineError::backend(QStringLiteral("refused")));
    const int before = polls();
    ASSERT_TRUE(waitUntil([&] { return pauses->size() >= 3; }));
    EXPECT_EQ(pauses->at(1), (Pause{1000, before + 1}));
    EXPECT_EQ(pauses->at(2), (Pause{1000, before + 2}));

    // After the failures the same point of the stream is asked for again.
    for (const QString &call : engine.callsOf(QStringLiteral("events")).mid(1))
        EXPECT_EQ(call, QStringLiteral("events(2)"));
}

TEST_F(EventControllerTest, AsksFromTheHighestIDAndHandlesLowerOnes)
{
    SyncEvent high = event(QStringLiteral("StateChanged"));
    high.id = 7;
    SyncEvent low = completionEvent(folderA, peerD, 33);
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
        return operation == QStringLiteral("events") && polls() == 1 ? waitFor(release) : yieldNothing();
    };
    controller->start();
    ASSERT_EQ(polls(), 1);
    engine.pushEvent(event(QStringLiteral("DeviceConnected")));

    controller->start();
    ASSERT_TRUE(waitUntil([this] { return deviceChanges == 1 && !pauses->isEmpty(); }));
    *release = true;
    runEventLoopFor(30);

    // The old loop's batch was dropped and the old loop ended.
    EXPECT_EQ(deviceChanges, 1);
    const QStringList calls = engine.callsOf(QStringLiteral("events"));
    EXPECT_EQ(calls.mid(0, 3), (QStringList{QStringLiteral("events(0)"), QStringLiteral("events(0)"),
                                            QStringLiteral("events(1)")}));
    EXPECT_EQ(calls.count(QStringLiteral("events(0)")), 2);
}

TEST_F(EventControllerTest, LoopEndsWhenTheControllerIsGone)
{
    startAndDrain();
    controller.reset();
    runEventLoopFor(20);
    const int after = polls();
    runEventLoopFor(30);
    EXPECT_EQ(polls(), after);
}

TEST_F(EventControllerTest, OwnerWritesNotifyOnlyOnChange)
{
    int notified = 0;
    QObject::connect(controller.get(), &EventController::completionChanged, [&notified] { ++notified; });
    controller->setCompletion(folderA, peerD, 40);
    controller->setCompletion(folderA, peerD, 40);
    EXPECT_EQ(notified, 1);
    // An event that repeats the stored value is no change either.
    engine.pushEvent(completionEvent(folderA, peerD, 40));
    engine.pushEvent(disconnected(QStringLiteral("PEER-UNKNOWN")));
    startAndDrain();
    EXPECT_EQ(notified, 1);
}

class DirectoryTimeTest : public EventControllerTest
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("Shots/Day1")));
        ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("Outside")));
        setTimes(dir(), knownAccess, knownModified);
        setTimes(root.filePath(QStringLiteral("Outside")), knownAccess, knownModified);
    }

    QString dir() const { return root.filePath(QStringLiteral("Shots/Day1")); }

    static void setTimes(const QString &path, time_t access, time_t modified)
    {
        const struct timespec times[2] = {{access, 0}, {modified, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    }

    static struct stat statOf(const QString &path)
    {
        struct stat info{};
        ::stat(QFile::encodeName(path).constData(), &info);
        return info;
    }

    static constexpr time_t knownAccess = 1'500'000'000;
    static constexpr time_t knownModified = 1'600'000'000;
    static constexpr qint64 engineModified = 1'234'567'890;
};

TEST_F(DirectoryTimeTest, RestoresOnlyTheModificationTime)
{
    engine.state.directoryModified[folderA][QStringLiteral("Shots/Day1")] = engineModified;
    engine.pushEvent(itemFinished(folderA, QStringLiteral("Shots/Day1"), QStringLiteral("dir"),
                                  QStringLiteral("update")));
    startAndDrain();
    ASSERT_TRUE(waitUntil([this] { return statOf(dir()).st_mtim.tv_sec == engineModified; }));
    EXPECT_EQ(statOf(dir()).st_mtim.tv_nsec, 0);
    EXPECT_EQ(statOf(dir()).st_atim.tv_sec, knownAccess);
}

TEST_F(DirectoryTimeTest, NoTimeFromTheEngineLeavesTheDirectory)
{
    engine.pushEvent(itemFinished(folderA, QStringLiteral("Shots/Day1"), QStringLiteral("dir"),
                                  QStringLiteral("update")));
    startAndDrain();
    runEventLoopFor(20);
    EXPECT_EQ(engine.callCount(QStringLiteral("directoryModified")), 1);
    EXPECT_EQ(statOf(dir()).st_mtim.tv_sec, knownModified);
}

TEST_F(DirectoryTimeTest, WithoutLookupsNothingIsTouched)
{
    controller->setFolderMode({});
    engine.state.directoryModified[folderA][QStringLiteral("Shots/Day1")] = engineModified;
    engine.pushEvent(itemFinished(folderA, QStringLiteral("Shots/Day1"), QStringLiteral("dir"),
                                  QStringLiteral("update")));
    startAndDrain();
    runEventLoopFor(20);
    EXPECT_EQ(statOf(dir()).st_mtim.tv_sec, knownModified);

    controller->setFolderMode([](const QString &) { return std::optional(FolderSyncMode::SendReceive); });
    controller->setFolderPath({});
    controller->start();
    runEventLoopFor(20);
    EXPECT_EQ(statOf(dir()).st_mtim.tv_sec, knownModified);
    EXPECT_EQ(engine.callCount(QStringLiteral("directoryModified")), 0);
}

struct LocationCase
{
    const char *root;
    const char *item;
    std::optional<QString> expected;
};

class ItemLocationTest : public ::testing::TestWithParam<LocationCase>
{
};

TEST_P(ItemLocationTest, JoinsWithOneSeparatorAndStaysInsideTheRoot)
{
    EXPECT_EQ(EventController::itemLocation(QString::fromUtf8(GetParam().root), QString::fromUtf8(GetParam().item)),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ItemLocationTest,
    ::testing::Values(LocationCase{"/srv/Project", "Shots/Day1", QStringLiteral("/srv/Project/Shots/Day1")},
                      LocationCase{"/srv/Project/", "Shots", QStringLiteral("/srv/Project/Shots")},
                      LocationCase{"/", "Shots", QStringLiteral("/Shots")},
                      LocationCase{"/srv/Project", "..hidden", QStringLiteral("/srv/Project/..hidden")},
                      LocationCase{"/srv/Project", "../Other", std::nullopt},
                      LocationCase{"/srv/Project", "Shots/../../Other", std::nullopt},
                      LocationCase{"/srv/Project", "/etc", std::nullopt},
                      LocationCase{"Project", "Shots", std::nullopt},
                      LocationCase{"", "Shots", std::nullopt}));

} // namespace
} // namespace tw
