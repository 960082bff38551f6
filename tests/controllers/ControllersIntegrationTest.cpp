// The engine, folder, device and event controllers over real Syncthing
// instances on loopback: two "Macs" that share one folder.

#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/EventController.h"
#include "controllers/FolderController.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "engine/syncthing/process/SyncthingSweep.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <memory>

using namespace std::chrono_literals;

namespace tw {

void PrintTo(const ClusterNeed &need, std::ostream *out)
{
    *out << "{need " << need.remoteNeedBytes << ", connected " << need.peersConnected << ", total " << need.peersTotal
         << "}";
}

namespace {

const QString filmID = "tdw-c0ffee01";

bool eventually(const std::function<bool()> &condition, std::chrono::milliseconds deadline = 60s)
{
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        runEventLoopFor(200);
    }
    return true;
}

QCoro::Task<void> refreshConnectionsDetached(QPointer<DeviceController> devices)
{
    if (devices)
        co_await devices->refreshConnections();
}

template<typename T>
std::optional<T> listed(const FolderController *folders, const QString &id, T SyncFolder::*field)
{
    for (const SyncFolder &folder : folders->folders())
        if (folder.id == id)
            return folder.*field;
    return std::nullopt;
}

// One Mac: its Syncthing, its engine and the four controllers, wired the way
// the application wires them.
class Mac
{
public:
    Mac(const QString &host, const QString &name)
        : instance(host, name), defaults(defaultsDir.filePath("TidewellSync/defaults.json"))
    {
        instance.start();
        // Interim: an engine on the instance's running supervisor, which outlives it.
        engine = std::make_unique<SyncthingEngine>(
            std::shared_ptr<SyncthingProcess>(&instance.process(), [](SyncthingProcess *) {}), realSleeper());
        engineController = std::make_unique<EngineController>(*engine, defaults);
        folders = std::make_unique<FolderController>(*engine);
        devices = std::make_unique<DeviceController>(*engine);
        events = std::make_unique<EventController>(*engine);

        FolderController *list = folders.get();
        events->setFolderMode([list](const QString &id) { return listed(list, id, &SyncFolder::mode); });
        events->setFolderPath([list](const QString &id) { return listed(list, id, &SyncFolder::path); });
        QPointer<DeviceController> deviceList(devices.get());
        events->setOnDeviceChange([this, deviceList] {
            ++deviceChanges;
            refreshConnectionsDetached(deviceList);
        });
        QObject::connect(engineController.get(), &EngineController::engineStarted, events.get(),
                         &EventController::start);
    }

    ~Mac()
    {
        // The poller first; its long poll ends when Syncthing goes.
        events.reset();
        devices.reset();
        folders.reset();
        engineController.reset();
        instance.stop();
        runEventLoopFor(300);
        engine.reset();
    }

    void start()
    {
        QCoro::waitFor(engineController->start());
        QCoro::waitFor(devices->refresh());
    }

    void addFolder(const QString &id, const QString &peerID)
    {
        NewFolderRequest request;
        request.id = id;
        request.label = "Film";
        request.path = instance.root() + "/Film";
        QDir().mkpath(request.path);
        awaitTask(engine->addFolder(request));
        awaitTask(engine->shareFolder(id, peerID));
    }

    QString folderPath(const QString &relative) const { return instance.root() + "/Film/" + relative; }

    SyncthingInstance instance;
    QTemporaryDir defaultsDir;
    UserDefaults defaults;
    std::unique_ptr<SyncthingEngine> engine;
    std::unique_ptr<EngineController> engineController;
    std::unique_ptr<FolderController> folders;
    std::unique_ptr<DeviceController> devices;
    std::unique_ptr<EventController> events;
    int deviceChanges = 0;
};

void writeFile(const QString &path, qsizetype size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(size, 'x'));
}

struct stat statOf(const QString &path)
{
    struct stat info{};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info;
}

TEST(ControllersIntegrationTest, TwoMacsSharingAFolder)
{
    Mac anna("127.0.0.2", "Anna");
    Mac bert("127.0.0.3", "Bert");
    anna.start();
    bert.start();
    ASSERT_TRUE(anna.engineController->status().isRunning);
    const QString annaID = anna.instance.deviceID();
    const QString bertID = bert.instance.deviceID();
    EXPECT_EQ(anna.devices->localDeviceID(), annaID);
    anna.instance.pairWith(bert.instance);
    anna.addFolder(filmID, bertID);
    bert.addFolder(filmID, annaID);
    QCoro::waitFor(anna.folders->refresh());

    ASSERT_TRUE(eventually([&] {
        QCoro::waitFor(anna.devices->refresh());
        const auto connection = anna.devices->connection(bertID);
        return connection && connection->connected;
    })) << "Bert never showed as connected";

    const qsizetype fileSize = 256 * 1024;
    for (int i = 0; i < 3; ++i)
        writeFile(anna.folderPath(QString("clip%1.mov").arg(i)), fileSize);
    anna.instance.scan(filmID);
    ASSERT_TRUE(eventually([&] {
        QCoro::waitFor(bert.folders->syncFolderList());
        const FolderStatus status = bert.folders->status(filmID);
        return status.localBytes == 3 * fileSize && status.needBytes == 0;
    })) << "Bert never received the files";
    ASSERT_TRUE(eventually([&] {
        return anna.events->completion().value(filmID).value(bertID, -1) == 100.0;
    })) << "Bert's completion never reached 100 %";
    EXPECT_DOUBLE_EQ(bert.folders->status(filmID).completion, 1.0);
    QCoro::waitFor(anna.folders->refreshStatuses());
    EXPECT_EQ(anna.folders->clusterNeeds().value(filmID), (ClusterNeed{0, 1, 1}));

    const time_t bertsTime = 1'000'000'000;
    const QString day = "Shots/Day1";
    ASSERT_TRUE(QDir().mkpath(bert.folderPath(day)));
    const struct timespec times[2] = {{bertsTime, 0}, {bertsTime, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(bert.folderPath(day)).constData(), times, 0), 0);
    bert.instance.scan(filmID);
    EXPECT_TRUE(eventually([&] { return statOf(anna.folderPath(day)).st_mtim.tv_sec == bertsTime; }))
        << "Anna's copy keeps time " << statOf(anna.folderPath(day)).st_mtim.tv_sec;

    // Syncthing dies whole (monitor and child) and is started again: the
    // poller follows the new instance's events.
    QCoro::waitFor(SyncthingSweep::kill(anna.instance.home(), realSleeper()));
    anna.deviceChanges = 0;
    anna.start();
    EXPECT_TRUE(eventually([&] { return anna.deviceChanges > 0; })) << "No event heard after the restart";

    bert.instance.stop();
    EXPECT_TRUE(eventually([&] { return !anna.events->completion().value(filmID).contains(bertID); }))
        << "Bert's completion stayed after he left";
    EXPECT_TRUE(eventually([&] {
        const auto connection = anna.devices->connection(bertID);
        return connection && !connection->connected;
    })) << "Bert still shows as connected";
}

} // namespace
} // namespace tw
