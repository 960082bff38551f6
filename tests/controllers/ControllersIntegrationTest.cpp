// The event poller over real Syncthing instances on loopback: two "Macs"
// that share one folder.

#include "controllers/EventController.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "engine/syncthing/process/SyncthingSweep.h"

#include "AwaitTask.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFileInfo>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

namespace tw {
namespace {

const QString filmID = "tdw-c0ffee01";

bool eventually(const std::function<bool()> &condition) { return waitUntil(condition, 60000); }

// One Mac: its Syncthing, its engine and its event poller, for one shared
// folder.
class Mac
{
public:
    Mac(const QString &host, const QString &name) : instance(host, name)
    {
        instance.start();
        engine = instance.makeEngine();
        events = std::make_unique<EventController>(*engine);
        events->setFolderMode([](const QString &) { return FolderSyncMode::SendReceive; });
        events->setFolderPath([this](const QString &) { return std::optional(film()); });
        events->setOnDeviceChange([this] { ++deviceChanges; });
    }

    ~Mac()
    {
        // The poller first; its long poll ends when Syncthing goes.
        events.reset();
        instance.stop();
        runEventLoopFor(300);
        engine.reset();
    }

    void start()
    {
        awaitTask(engine->start());
        events->start();
    }

    QString film() const { return instance.root() + "/folders/" + filmID; }

    SyncthingInstance instance;
    std::unique_ptr<SyncthingEngine> engine;
    std::unique_ptr<EventController> events;
    int deviceChanges = 0;
};

std::optional<bool> isConnected(SyncEngine &engine, const QString &deviceID)
{
    const QList<DeviceConnection> connections = awaitTask(engine.connections());
    const auto found = std::ranges::find(connections, deviceID, &DeviceConnection::id);
    return found == connections.end() ? std::nullopt : std::optional(found->connected);
}

TEST(ControllersIntegrationTest, TwoMacsSharingAFolder)
{
    Mac anna("127.0.0.2", "Anna");
    Mac bert("127.0.0.3", "Bert");
    anna.start();
    bert.start();
    const QString bertID = bert.instance.deviceID();
    anna.instance.pairWith(bert.instance);
    SyncthingInstance::writeFile(anna.film() + "/clip.mov", QByteArray(256 * 1024, 'x'));
    const QStringList both{anna.instance.deviceID(), bertID};
    anna.instance.putFolder(filmID, both);
    bert.instance.putFolder(filmID, both);
    ASSERT_TRUE(eventually([&] { return anna.events->completion().value(filmID).value(bertID, -1) == 100.0; }))
        << "Bert's completion never reached 100 %";

    const time_t bertsTime = 1'000'000'000;
    const QString day = "/Shots/Day1";
    ASSERT_TRUE(QDir().mkpath(bert.film() + day));
    const struct timespec times[2] = {{bertsTime, 0}, {bertsTime, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(bert.film() + day).constData(), times, 0), 0);
    awaitTask(bert.engine->scanFolder(filmID));
    const QString annasCopy = anna.film() + day;
    EXPECT_TRUE(eventually([&] { return QFileInfo(annasCopy).lastModified().toSecsSinceEpoch() == bertsTime; }))
        << "Anna's copy never took Bert's time";

    // Syncthing dies whole (monitor and child) and is started again: the
    // poller, started over, follows the new instance's events.
    QCoro::waitFor(SyncthingSweep::kill(anna.instance.home(), realSleeper()));
    anna.deviceChanges = 0;
    anna.start();
    EXPECT_TRUE(eventually([&] { return anna.deviceChanges > 0; })) << "No event heard after the restart";
    // Only a connection of the new instance ends with a disconnect it reports.
    ASSERT_TRUE(eventually([&] { return isConnected(*anna.engine, bertID) == true; }));

    // What a disconnect does to the completion map is the dispatch table's
    // to show: Syncthing may still report a completion computed just before.
    const int changesBeforeLeaving = anna.deviceChanges;
    bert.instance.stop();
    EXPECT_TRUE(eventually([&] {
        return anna.deviceChanges > changesBeforeLeaving && isConnected(*anna.engine, bertID) == false;
    })) << "Anna's restarted poller never heard Bert leave";
}

} // namespace
} // namespace tw
