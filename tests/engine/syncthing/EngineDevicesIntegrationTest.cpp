// Devices, sharing, pending offers and sync status against real Syncthing
// instances on loopback.

#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "MadeUpDeviceID.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// A device this instance knows but never dials: paused, with a closed
// loopback address.
void addIdleDevice(SyncthingInstance &instance, const QString &deviceID)
{
    const QJsonObject device{{"deviceID", deviceID}, {"name", "idle"},
                             {"addresses", QJsonArray{"tcp://127.0.0.1:9"}}, {"paused", true}};
    ASSERT_TRUE(instance.put("/rest/config/devices/" + deviceID, compact(device)).ok());
}

void putFolder(SyncthingInstance &instance, const QString &id, const QString &label, const QJsonArray &devices)
{
    const QString path = instance.root() + "/folders/" + id;
    QDir().mkpath(path);
    const QJsonObject folder{{"id", id}, {"label", label}, {"path", path}, {"devices", devices}};
    const auto response = instance.put("/rest/config/folders/" + id, compact(folder));
    ASSERT_TRUE(response.ok()) << response.body.toStdString();
}

QJsonObject deviceRef(const QString &id, const QString &introducedBy = {}, const QString &password = {})
{
    return QJsonObject{{"deviceID", id}, {"introducedBy", introducedBy}, {"encryptionPassword", password}};
}

// A device entry of a folder as compact JSON text, readable in failures.
QString entry(const QString &id, const QString &introducedBy = {}, const QString &password = {})
{
    return QString::fromUtf8(compact(deviceRef(id, introducedBy, password)));
}

// The folder's device entries as Syncthing keeps them, by device ID.
QMap<QString, QString> folderDevices(SyncthingInstance &instance, const QString &folderID)
{
    QMap<QString, QString> devices;
    const auto response = instance.get("/rest/config/folders/" + folderID);
    for (const QJsonValue &value : response.json().object().value("devices").toArray()) {
        const QJsonObject device = value.toObject();
        devices.insert(device.value("deviceID").toString(), QString::fromUtf8(compact(device)));
    }
    return devices;
}

bool eventually(const std::function<bool()> &condition) { return waitUntil(condition, 60000); }

std::unique_ptr<SyncthingEngine> startedEngine(SyncthingInstance &instance)
{
    std::unique_ptr<SyncthingEngine> engine = instance.makeEngine();
    awaitTask(engine->start());
    return engine;
}

TEST(EngineDevicesIntegrationTest, OffersOfOtherDevicesAreListedAndDismissed)
{
    SyncthingInstance a(QStringLiteral("127.0.0.1"), QStringLiteral("Anna"));
    SyncthingInstance b(QStringLiteral("127.0.0.2"), QStringLiteral("Bert"));
    SyncthingInstance c(QStringLiteral("127.0.0.3"), QStringLiteral("Carl"));
    a.start();
    b.start();
    c.start();
    const auto engine = startedEngine(a);

    // B, paired with A, offers a folder.
    a.pairWith(b);
    ASSERT_TRUE(a.waitUntilConnected(b.deviceID()));
    putFolder(b, "tdw-0ffe12ed", "Offered film", QJsonArray{deviceRef(b.deviceID()), deviceRef(a.deviceID())});
    const PendingFolder offer{"tdw-0ffe12ed", "Offered film", b.deviceID(), "Bert"};
    ASSERT_TRUE(eventually([&] { return awaitTask(engine->pendingFolders()).contains(offer); }));
    awaitTask(engine->dismissPendingFolder("tdw-0ffe12ed", b.deviceID()));
    EXPECT_FALSE(awaitTask(engine->pendingFolders()).contains(offer));

    // C knows A, A does not know C: A records C as asking to connect.
    const QString cID = c.deviceID();
    ASSERT_TRUE(c.patch("/rest/config/devices/" + cID, compact({{"name", "Carl's box"}})).ok());
    const QJsonObject aOnC{{"deviceID", a.deviceID()}, {"name", "Anna"},
                           {"addresses", QJsonArray{a.listenAddress()}}};
    ASSERT_TRUE(c.put("/rest/config/devices/" + a.deviceID(), compact(aOnC)).ok());
    std::optional<PendingDevice> asking;
    ASSERT_TRUE(eventually([&] {
        for (const PendingDevice &device : awaitTask(engine->pendingDevices())) {
            if (device.id == cID)
                asking = device;
        }
        return asking.has_value();
    }));
    EXPECT_EQ(asking->name, "Carl's box");
    EXPECT_FALSE(asking->address.isEmpty());
    // C would ask again on its next dial.
    c.stop();
    awaitTask(engine->dismissPendingDevice(cID));
    for (const PendingDevice &device : awaitTask(engine->pendingDevices()))
        EXPECT_NE(device.id, cID);
}

TEST(EngineDevicesIntegrationTest, ShareAndUnshareKeepTheOtherEntriesIntroducerAndPassword)
{
    SyncthingInstance a;
    a.start();
    const auto engine = startedEngine(a);
    // In Syncthing's sorted list: introducer, introduced, encrypted, in that
    // order; the newcomer sorts first.
    const QString introducer = madeUpDeviceID('K');
    const QString introduced = madeUpDeviceID('L');
    const QString encrypted = madeUpDeviceID('M');
    const QString newcomer = madeUpDeviceID('A');
    for (const QString &id : {introducer, introduced, encrypted, newcomer})
        addIdleDevice(a, id);
    putFolder(a, "tdw-5ace0001", "Shared",
              QJsonArray{deviceRef(a.deviceID()), deviceRef(introducer), deviceRef(introduced, introducer),
                         deviceRef(encrypted, {}, "pass-word")});
    const QMap<QString, QString> before = folderDevices(a, "tdw-5ace0001");
    ASSERT_EQ(before.value(introduced), entry(introduced, introducer));
    ASSERT_EQ(before.value(encrypted), entry(encrypted, {}, "pass-word"));

    // Removing the first entry moves every later one to the index before in
    // Syncthing's sorted list; each must keep its own introducer and password.
    awaitTask(engine->unshareFolder("tdw-5ace0001", introducer));
    QMap<QString, QString> expected = before;
    expected.remove(introducer);
    EXPECT_EQ(folderDevices(a, "tdw-5ace0001"), expected);
    // Shared anew, it comes back as a direct share without a password.
    awaitTask(engine->shareFolder("tdw-5ace0001", introducer));
    expected.insert(introducer, entry(introducer));
    EXPECT_EQ(folderDevices(a, "tdw-5ace0001"), expected);

    // A new device lands in front of the others in the sorted list.
    awaitTask(engine->shareFolder("tdw-5ace0001", newcomer));
    expected.insert(newcomer, entry(newcomer));
    EXPECT_EQ(folderDevices(a, "tdw-5ace0001"), expected);
}

TEST(EngineDevicesIntegrationTest, StatusNeedsAndCompletionOfASyncedFolder)
{
    SyncthingInstance a(QStringLiteral("127.0.0.1"), QStringLiteral("Anna"));
    SyncthingInstance b(QStringLiteral("127.0.0.2"), QStringLiteral("Bert"));
    a.start();
    b.start();
    a.pairWith(b);
    const auto engine = startedEngine(a);

    const QJsonArray members{deviceRef(a.deviceID()), deviceRef(b.deviceID())};
    putFolder(a, "tdw-57a70001", "Synced", members);
    putFolder(b, "tdw-57a70001", "Synced", members);
    ASSERT_TRUE(a.waitUntilConnected(b.deviceID()));

    const QByteArray content(1000, 'x');
    QFile file(a.root() + "/folders/tdw-57a70001/report.txt");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    a.scan("tdw-57a70001");
    const QString copy = b.root() + "/folders/tdw-57a70001/report.txt";
    ASSERT_TRUE(eventually([&] { return QFileInfo(copy).size() == content.size(); }));
    ASSERT_TRUE(eventually([&] { return awaitTask(engine->deviceCompletion("tdw-57a70001", b.deviceID())) == 100.0; }));
    ASSERT_TRUE(eventually([&] { return awaitTask(engine->clusterNeeds()).value("tdw-57a70001") == (ClusterNeed{0, 1, 1}); }));

    const FolderStatus status = awaitTask(engine->folderStatus("tdw-57a70001"));
    EXPECT_EQ(status.state, FolderState::Idle);
    EXPECT_GE(status.globalBytes, content.size());
    EXPECT_EQ(status.completion, 1.0);
}

} // namespace
} // namespace tw
