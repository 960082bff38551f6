// The engine's event stream from real Syncthing instances: the events of a
// pairing, and a burst between two polls that must lose nothing.

#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

using namespace std::chrono_literals;

namespace tw {
namespace {

QByteArray compact(const QJsonObject &object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

QJsonObject folderConfig(SyncthingInstance &instance, const QString &id, const QString &label,
                         const QStringList &deviceIDs)
{
    const QString path = instance.root() + "/folders/" + id;
    QDir().mkpath(path);
    QJsonArray devices;
    for (const QString &deviceID : deviceIDs)
        devices.append(QJsonObject{{"deviceID", deviceID}});
    return QJsonObject{{"id", id}, {"label", label}, {"path", path}, {"type", "sendreceive"}, {"devices", devices}};
}

void putFolder(SyncthingInstance &instance, const QJsonObject &folder)
{
    const auto response = instance.put("/rest/config/folders/" + folder.value("id").toString(), compact(folder));
    ASSERT_TRUE(response.ok()) << response.body.toStdString();
}

// Polls the engine's stream from where it left off, keeping every event.
class EventLog
{
public:
    explicit EventLog(SyncthingEngine &engine) : m_engine(engine) {}

    // One long poll; answers what it brought.
    QList<SyncEvent> pollOnce()
    {
        const QList<SyncEvent> batch = awaitTask(m_engine.events(m_since));
        for (const SyncEvent &event : batch)
            m_since = std::max(m_since, event.id);
        m_events.append(batch);
        return batch;
    }

    // Polls until some event kept so far satisfies the test.
    std::optional<SyncEvent> waitFor(const std::function<bool(const SyncEvent &)> &test,
                                     std::chrono::seconds deadline = 60s)
    {
        const auto until = std::chrono::steady_clock::now() + deadline;
        for (;;) {
            for (const SyncEvent &event : m_events) {
                if (test(event))
                    return event;
            }
            if (std::chrono::steady_clock::now() >= until)
                return std::nullopt;
            pollOnce();
        }
    }

    // Skips what is buffered now, so later waits see only new events.
    void skipToNow()
    {
        // The stream always holds Syncthing's start-up events, so this poll
        // answers at once.
        pollOnce();
        m_events.clear();
    }

    qint64 since() const { return m_since; }
    const QList<SyncEvent> &events() const { return m_events; }

private:
    SyncthingEngine &m_engine;
    qint64 m_since = 0;
    QList<SyncEvent> m_events;
};

TEST(EngineEventsIntegrationTest, EventsOfAPairing)
{
    SyncthingInstance a(QStringLiteral("127.0.0.1"), QStringLiteral("Anna"));
    SyncthingInstance b(QStringLiteral("127.0.0.2"), QStringLiteral("Bert"));
    a.start();
    b.start();
    const std::unique_ptr<SyncthingEngine> engine = a.makeEngine();
    awaitTask(engine->start());
    EventLog log(*engine);
    log.skipToNow();

    const QString aID = a.deviceID();
    const QString bID = b.deviceID();
    a.pairWith(b);
    const auto connected = log.waitFor([&](const SyncEvent &e) { return e.type == "DeviceConnected"; });
    ASSERT_TRUE(connected);
    EXPECT_EQ(connected->device, bID);
    EXPECT_EQ(connected->connected, true);

    // B offers a folder A does not have.
    putFolder(b, folderConfig(b, "tdw-0ffe0001", "Offered", {bID, aID}));
    EXPECT_TRUE(log.waitFor([](const SyncEvent &e) { return e.type == "PendingFoldersChanged"; }));

    // A folder both share: A learns how complete B is.
    QFile file(a.root() + "/folders/tdw-5ba4ed01/hello.txt");
    putFolder(a, folderConfig(a, "tdw-5ba4ed01", "Shared", {aID, bID}));
    QDir().mkpath(a.root() + "/folders/tdw-5ba4ed01");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("hello from A\n");
    file.close();
    a.scan("tdw-5ba4ed01");
    putFolder(b, folderConfig(b, "tdw-5ba4ed01", "Shared", {bID, aID}));
    const auto completion = log.waitFor([&](const SyncEvent &e) {
        return e.type == "FolderCompletion" && e.folder == "tdw-5ba4ed01" && e.completion == 100.0;
    });
    ASSERT_TRUE(completion);
    EXPECT_EQ(completion->device, bID);
    EXPECT_EQ(completion->needBytes, 0);

    b.stop();
    const auto disconnected = log.waitFor([](const SyncEvent &e) { return e.type == "DeviceDisconnected"; });
    ASSERT_TRUE(disconnected);
    EXPECT_EQ(disconnected->device, bID);
    EXPECT_EQ(disconnected->connected, false);

    // Every poll continued where the last one ended.
    for (qsizetype i = 1; i < log.events().size(); ++i)
        EXPECT_EQ(log.events()[i].id, log.events()[i - 1].id + 1);
}

TEST(EngineEventsIntegrationTest, BurstBetweenPollsLosesNothing)
{
    constexpr int kChanges = 250;
    SyncthingInstance instance;
    instance.start();
    const std::unique_ptr<SyncthingEngine> engine = instance.makeEngine();
    awaitTask(engine->start());
    const QJsonObject folder = folderConfig(instance, "tdw-b0757001", "Burst", {instance.deviceID()});
    putFolder(instance, folder);

    EventLog log(*engine);
    log.skipToNow();
    const qint64 since = log.since();
    for (int i = 0; i < kChanges; ++i) {
        const auto response =
            instance.patch("/rest/config/folders/tdw-b0757001", compact({{"label", QStringLiteral("Burst %1").arg(i)}}));
        ASSERT_TRUE(response.ok()) << response.body.toStdString();
    }

    const QList<SyncEvent> first = log.pollOnce();
    ASSERT_FALSE(first.isEmpty());
    EXPECT_EQ(first.first().id, since + 1) << "the oldest events of the burst were dropped";
    EXPECT_GT(first.size(), 200) << "one answer holds the whole burst";
    const auto saves = [&] {
        return std::count_if(log.events().cbegin(), log.events().cend(),
                             [](const SyncEvent &e) { return e.type == "ConfigSaved"; });
    };
    const auto until = std::chrono::steady_clock::now() + 30s;
    while (saves() < kChanges && std::chrono::steady_clock::now() < until)
        log.pollOnce();
    // The folder's own creation may save once more after the skip.
    EXPECT_GE(saves(), kChanges);
    for (qsizetype i = 1; i < log.events().size(); ++i)
        ASSERT_EQ(log.events()[i].id, log.events()[i - 1].id + 1) << "a gap after event " << log.events()[i - 1].id;

}

} // namespace
} // namespace tw
