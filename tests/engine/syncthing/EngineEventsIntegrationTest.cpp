// The engine's event stream from real Syncthing instances: the events of a
// pairing, and a burst between two polls that must lose nothing.

#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "FileDatesSupport.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"

#include <QDir>
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

void putFolder(SyncthingInstance &instance, const QString &id, const QStringList &deviceIDs)
{
    const QString path = instance.root() + "/folders/" + id;
    QDir().mkpath(path);
    QJsonArray devices;
    for (const QString &deviceID : deviceIDs)
        devices.append(QJsonObject{{"deviceID", deviceID}});
    const QJsonObject folder{{"id", id}, {"path", path}, {"type", "sendreceive"}, {"devices", devices}};
    const auto response = instance.put("/rest/config/folders/" + id, compact(folder));
    ASSERT_TRUE(response.ok()) << response.body.toStdString();
}

// Polls the engine's stream from where it left off, keeping every event.
class EventLog
{
public:
    explicit EventLog(SyncthingEngine &engine) : m_engine(engine) {}

    QList<SyncEvent> pollOnce()
    {
        const QList<SyncEvent> batch = awaitTask(m_engine.events(m_since));
        for (const SyncEvent &event : batch)
            m_since = std::max(m_since, event.id);
        m_events.append(batch);
        return batch;
    }

    // Polls until some event kept so far satisfies the test.
    std::optional<SyncEvent> waitFor(const std::function<bool(const SyncEvent &)> &test)
    {
        const auto until = std::chrono::steady_clock::now() + 60s;
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

    // Skips what is buffered now (at least Syncthing's start-up events, so
    // this poll answers at once); later waits see only new events.
    void skipToNow()
    {
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

    // B offers a folder A does not have.
    putFolder(b, "tdw-0ffe0001", {bID, aID});
    EXPECT_TRUE(log.waitFor([](const SyncEvent &e) { return e.type == "PendingFoldersChanged"; }));

    // A folder both share: A learns how complete B is.
    putFolder(a, "tdw-5ba4ed01", {aID, bID});
    ASSERT_TRUE(test::writeFile(a.root() + "/folders/tdw-5ba4ed01/hello.txt", "hello from A\n"));
    a.scan("tdw-5ba4ed01");
    putFolder(b, "tdw-5ba4ed01", {bID, aID});
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
}

TEST(EngineEventsIntegrationTest, BurstBetweenPollsLosesNothing)
{
    constexpr int kChanges = 250;
    SyncthingInstance instance;
    instance.start();
    const std::unique_ptr<SyncthingEngine> engine = instance.makeEngine();
    awaitTask(engine->start());
    putFolder(instance, "tdw-b0757001", {instance.deviceID()});

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
