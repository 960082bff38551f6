// Sharing, a pairing with its offers and events, and the event stream
// against a real Syncthing ("Anna") shared by the suite. The peers of a
// pairing are the test's own: it stops them to see them go.

#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

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

QJsonObject deviceRef(const QString &id, const QString &introducedBy = {}, const QString &password = {})
{
    return QJsonObject{{"deviceID", id}, {"introducedBy", introducedBy}, {"encryptionPassword", password}};
}

bool eventually(const std::function<bool()> &condition) { return waitUntil(condition, 60000); }

// Polls the engine's stream from where it left off, keeping every event.
struct EventLog
{
    explicit EventLog(SyncthingEngine &engine) : engine(engine)
    {
        // Skips what is buffered now (at least Syncthing's start-up events,
        // so this poll answers at once); later waits see only new events.
        pollOnce();
        events.clear();
    }

    QList<SyncEvent> pollOnce()
    {
        const QList<SyncEvent> batch = awaitTask(engine.events(since));
        if (!batch.isEmpty() && batch.first().id != since + 1)
            skippedAt.append(since);
        for (const SyncEvent &event : batch)
            since = std::max(since, event.id);
        events.append(batch);
        return batch;
    }

    // Polls until some event kept so far passes the test.
    std::optional<SyncEvent> waitFor(const std::function<bool(const SyncEvent &)> &test)
    {
        const auto until = std::chrono::steady_clock::now() + 60s;
        for (;;) {
            const auto found = std::find_if(events.cbegin(), events.cend(), test);
            if (found != events.cend())
                return *found;
            if (std::chrono::steady_clock::now() >= until)
                return std::nullopt;
            pollOnce();
        }
    }

    SyncthingEngine &engine;
    qint64 since = 0;
    QList<SyncEvent> events;
    QList<qint64> skippedAt;  // IDs after which a poll did not go on at the next one
};

class EngineDevicesIntegrationTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        a = std::make_unique<SyncthingInstance>(QStringLiteral("127.0.0.1"), QStringLiteral("Anna"));
        a->start();
        engine = a->startedEngine();
    }

    static void TearDownTestSuite()
    {
        engine.reset();
        a.reset();
    }

    static inline std::unique_ptr<SyncthingInstance> a;
    static inline std::unique_ptr<SyncthingEngine> engine;
};

TEST_F(EngineDevicesIntegrationTest, ShareAndUnshareKeepTheOtherEntriesIntroducerAndPassword)
{
    // Well-formed IDs of no real device. In Syncthing's sorted list:
    // introducer, introduced, encrypted, in that order; the newcomer sorts first.
    const QString introducer = "KDKBZY3-AUZRLS7-DV7V6OT-XISS3AW-Y6CZJEY-QAYFNQM-KE6YNXB-UHSBGAA";
    const QString introduced = "LJKIORX-MYVY2IR-JDH5ZAT-KSTDE3Q-XHBCVUR-FAVRMQZ-3X53YJY-2ASTPQF";
    const QString encrypted = "M5TIK5C-MPEDXWY-RPDF4F6-KMZRGS6-YLUVIX4-LWORYRF-NV7JSUP-73YW2QH";
    const QString newcomer = "AONAFAN-MAK5HLD-BK6MWCJ-IYBP7FV-HJ4JJFB-XYJF67L-7WJIF5T-EYXRPAK";
    for (const QString &id : {introducer, introduced, encrypted, newcomer}) {
        // Known but never dialled: paused, at a closed address.
        const QJsonObject device{{"deviceID", id}, {"addresses", QJsonArray{"tcp://127.0.0.1:9"}}, {"paused", true}};
        ASSERT_TRUE(a->put("/rest/config/devices/" + id, compact(device)).ok());
    }
    const QString id = QStringLiteral("tdw-5ace0001");
    const QJsonArray entries{deviceRef(a->deviceID()), deviceRef(introducer), deviceRef(introduced, introducer),
                             deviceRef(encrypted, {}, "pass-word")};
    a->putFolder(id, {}, {{"devices", entries}});
    // The folder's entries as Syncthing keeps them, by device ID.
    const auto folderDevices = [&] {
        QMap<QString, QJsonObject> devices;
        for (const QJsonValue &value : a->get("/rest/config/folders/" + id).json().object().value("devices").toArray())
            devices.insert(value.toObject().value("deviceID").toString(), value.toObject());
        return devices;
    };
    QMap<QString, QJsonObject> expected = folderDevices();
    ASSERT_EQ(expected.value(introduced), deviceRef(introduced, introducer));
    ASSERT_EQ(expected.value(encrypted), deviceRef(encrypted, {}, "pass-word"));

    // Removing the first entry moves every later one to the index before in
    // Syncthing's sorted list; each must keep its own introducer and password.
    awaitTask(engine->unshareFolder(id, introducer));
    expected.remove(introducer);
    EXPECT_EQ(folderDevices(), expected);
    // Shared anew, it comes back as a direct share without a password; a new
    // device lands in front of the others.
    for (const QString &device : {introducer, newcomer}) {
        awaitTask(engine->shareFolder(id, device));
        expected.insert(device, deviceRef(device));
        EXPECT_EQ(folderDevices(), expected);
    }
}

TEST_F(EngineDevicesIntegrationTest, APairingSeenThroughEventsOffersAndStatus)
{
    SyncthingInstance b(QStringLiteral("127.0.0.2"), QStringLiteral("Bert"));
    b.start();
    EventLog log(*engine);
    const QString aID = a->deviceID();
    const QString bID = b.deviceID();
    a->pairWith(b);
    const auto connected = log.waitFor([](const SyncEvent &e) { return e.type == "DeviceConnected"; });
    ASSERT_TRUE(connected);
    EXPECT_EQ(connected->device, bID);

    // B offers a folder A does not have.
    b.putFolder("tdw-0ffe12ed", {bID, aID}, {{"label", "Offered film"}});
    const PendingFolder offer{"tdw-0ffe12ed", "Offered film", bID, "Bert"};
    EXPECT_TRUE(log.waitFor([](const SyncEvent &e) { return e.type == "PendingFoldersChanged"; }));
    ASSERT_TRUE(eventually([&] { return awaitTask(engine->pendingFolders()).contains(offer); }));
    awaitTask(engine->dismissPendingFolder("tdw-0ffe12ed", bID));
    EXPECT_FALSE(awaitTask(engine->pendingFolders()).contains(offer));

    // C knows A, A does not know C: A records C as asking to connect.
    SyncthingInstance c(QStringLiteral("127.0.0.3"), QStringLiteral("Carl"));
    c.start();
    const QString cID = c.deviceID();
    ASSERT_TRUE(c.request("PATCH", "/rest/config/devices/" + cID, compact({{"name", "Carl's box"}}), c.apiKey()).ok());
    const QJsonObject aOnC{{"deviceID", aID}, {"addresses", QJsonArray{a->listenAddress()}}};
    ASSERT_TRUE(c.put("/rest/config/devices/" + aID, compact(aOnC)).ok());
    const auto asking = [&]() -> std::optional<PendingDevice> {
        for (const PendingDevice &device : awaitTask(engine->pendingDevices())) {
            if (device.id == cID)
                return device;
        }
        return std::nullopt;
    };
    ASSERT_TRUE(eventually([&] { return asking().has_value(); }));
    EXPECT_EQ(asking()->name, "Carl's box");
    EXPECT_FALSE(asking()->address.isEmpty());
    // C would ask again on its next dial.
    c.stop();
    awaitTask(engine->dismissPendingDevice(cID));
    EXPECT_FALSE(asking());

    b.stop();
    const auto disconnected = log.waitFor([](const SyncEvent &e) { return e.type == "DeviceDisconnected"; });
    ASSERT_TRUE(disconnected);
    EXPECT_EQ(disconnected->device, bID);
}

TEST_F(EngineDevicesIntegrationTest, BurstBetweenPollsLosesNothing)
{
    constexpr int kChanges = 250;
    a->putFolder("tdw-b0757001");
    EventLog log(*engine);
    const qint64 since = log.since;
    for (int i = 0; i < kChanges; ++i)
        ASSERT_TRUE(a->request("PATCH", "/rest/config/folders/tdw-b0757001", compact({{"label", QString::number(i)}}),
                               a->apiKey()).ok());

    const QList<SyncEvent> first = log.pollOnce();
    ASSERT_FALSE(first.isEmpty());
    EXPECT_EQ(first.first().id, since + 1) << "the oldest events of the burst were dropped";
    const auto saves = [&] {
        return std::count_if(log.events.cbegin(), log.events.cend(),
                             [](const SyncEvent &e) { return e.type == "ConfigSaved"; });
    };
    // Syncthing itself drops an event for a subscriber that falls behind (a
    // starved machine shows gaps inside a batch); what is ours is that each
    // poll goes on right after the last ID seen and nothing comes twice.
    const auto missing = [&] { return log.events.last().id - log.events.first().id + 1 - log.events.size(); };
    EXPECT_TRUE(log.waitFor([&](const SyncEvent &) { return saves() + missing() >= kChanges; }));
    EXPECT_TRUE(log.skippedAt.isEmpty()) << "a poll skipped what followed event " << log.skippedAt.value(0);
    for (qsizetype i = 1; i < log.events.size(); ++i)
        ASSERT_GT(log.events[i].id, log.events[i - 1].id);
}

} // namespace
} // namespace tw
