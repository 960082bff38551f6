// The node controller against a real Syncthing standing in for the always-on
// node: one registration, then every operation in turn.

#include "cluster/NasNodeController.h"

#include "AwaitTask.h"
#include "MemoryKeychain.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tw {
namespace {

// Well-formed IDs of no real device, chosen so that the newcomer sorts just
// before the device with a password, ahead of the node's own ID.
const QString kNewcomer = "AAABRBR-6BRDF5P-3SBAR2D-C3FT7EX-DBBS5CA-A7Q5QDT-46CR4SR-342TQAU";
const QString kEncrypted = "AAAC3F7-TBB7B4R-35BQ532-R65RDAH-EFD374C-DC6SRDB-CQ6FAA6-5E374AJ";
const QString kIntroduced = "MMMMCAT-7SRR2CH-ARBBDCA-FAC23RD-B3TA23D-C4DA7SK-6EFFSR4-7C4E7A5";
const QString kIntroducer = "NNNNDE7-DRB72RK-AREQ632-B7CFQ4C-EDF5Q32-CSECFFG-ATFTAQS-4T2R5AN";
const QString kNameless = "PPPP62C-66A7A52-DD7QC3R-466RSQT-63C344E-53RE6D4-4B5TE37-TSQS4A7";

QByteArray compact(const QJsonObject &object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

class NasNodeIntegrationTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        node = std::make_unique<SyncthingInstance>();
        node->start();
    }
    static void TearDownTestSuite() { node.reset(); }

    static QJsonObject object(const QString &path) { return node->get(path).json().object(); }
    static void send(const QByteArray &verb, const QString &path, const QJsonObject &body)
    {
        ASSERT_TRUE(node->request(verb, path, compact(body), node->apiKey()).ok()) << path.toStdString();
    }
    static QStringList sorted(QStringList ids)
    {
        ids.sort();
        return ids;
    }
    static QMap<QString, QJsonObject> folderDevices(const QString &id)
    {
        QMap<QString, QJsonObject> devices;
        for (const QJsonValue &entry : object("/rest/config/folders/" + id).value("devices").toArray())
            devices.insert(entry["deviceID"].toString(), entry.toObject());
        return devices;
    }
    static qint64 lastEventID()
    {
        return node->get("/rest/events?since=0&limit=1&timeout=0").json().array().last()["id"].toInteger();
    }
    // "<type> <device>" of every event after that ID.
    static QStringList eventsSince(qint64 id)
    {
        QStringList events;
        for (const QJsonValue &event : node->get(QString("/rest/events?since=%1&timeout=0").arg(id)).json().array())
            events.append(event["type"].toString() + " " + event["data"]["device"].toString());
        return events;
    }

    static inline std::unique_ptr<SyncthingInstance> node;
    QTemporaryDir dir;
    MemoryKeychain keychain;
    NasNodeController controller{keychain, AppPaths(dir.path()),
                                 [](std::chrono::milliseconds) -> QCoro::Task<void> { co_return; }};
};

TEST_F(NasNodeIntegrationTest, RegistersMembersSharesFoldersBouncesAndRemoves)
{
    const QString authority = node->baseURL().authority();
    const QString me = node->deviceID();
    ASSERT_TRUE(awaitTask(controller.configure("  " + authority + "/ ", " " + node->apiKey() + "\n", "")));
    EXPECT_EQ(controller.nodes(), QList<NasNode>({{"http://" + authority, me, "Always-on node"}}));
    EXPECT_EQ(keychain.items.value(NasNodeController::keyAccount(me)), node->apiKey());
    const QJsonObject defaults = object("/rest/config/defaults/folder");
    EXPECT_EQ(defaults["path"], "/var/syncthing");
    EXPECT_EQ(defaults["versioning"]["params"]["cleanoutDays"], "0");
    EXPECT_EQ(defaults["versioning"]["cleanupIntervalS"], 3600);
    EXPECT_EQ(defaults["rescanIntervalS"], 3600);
    EXPECT_TRUE(defaults["fsWatcherEnabled"].toBool() && defaults["ignorePerms"].toBool());
    EXPECT_EQ(object("/rest/config/defaults/device")["autoAcceptFolders"], false);
    send("PATCH", "/rest/config/defaults/folder", {{"path", dir.path() + "/node"}});

    // Known devices, all but one (the node itself too) accepting folders on their own; one paused.
    for (const QString &id : {kEncrypted, kIntroduced, kIntroducer, me})
        send(id == me ? "PATCH" : "PUT", "/rest/config/devices/" + id,
             {{"deviceID", id}, {"addresses", QJsonArray{"tcp://127.0.0.1:9"}}, {"paused", id == kEncrypted},
              {"autoAcceptFolders", id != kIntroduced}});
    awaitTask(controller.reconcileMembers({{kNameless, ""}, {kNewcomer, "Nina"}, {kIntroduced, "Ida"}, {me, "Me"}}));
    EXPECT_EQ(object("/rest/config/devices/" + kNameless)["name"], "Mac");
    EXPECT_EQ(object("/rest/config/devices/" + kNewcomer)["autoAcceptFolders"], false);
    EXPECT_EQ(object("/rest/config/devices/" + kIntroducer)["autoAcceptFolders"], false);
    EXPECT_EQ(object("/rest/config/devices/" + me)["autoAcceptFolders"], true);
    EXPECT_TRUE(controller.reachable());

    const QString shared = "tdw-5a0e0001";
    const QJsonArray entries{QJsonObject{{"deviceID", me}}, QJsonObject{{"deviceID", kIntroducer}},
                             QJsonObject{{"deviceID", kIntroduced}, {"introducedBy", kIntroducer}},
                             QJsonObject{{"deviceID", kEncrypted}, {"encryptionPassword", "pw"}}};
    node->putFolder(shared, {}, {{"devices", entries}});
    const QMap<QString, NodeFolderShare> wanted{{"tdw-c0ea7e01", {"Film: Cut / B", {kNameless}}},
                                                {shared, {"x", {kIntroduced, kEncrypted, kNewcomer}}}};
    awaitTask(controller.shareFolders(wanted));
    EXPECT_EQ(object("/rest/config/folders/tdw-c0ea7e01")["path"], dir.path() + "/node/Film Cut  B");
    EXPECT_EQ(folderDevices("tdw-c0ea7e01").keys(), sorted({kNameless, me}));
    const QMap<QString, QJsonObject> devices = folderDevices(shared);
    EXPECT_EQ(devices.keys(), sorted({kNewcomer, kEncrypted, kIntroduced, me}));
    EXPECT_EQ(devices[kIntroduced]["introducedBy"], kIntroducer);
    EXPECT_EQ(devices[kEncrypted]["encryptionPassword"], "pw");
    EXPECT_EQ(devices[kNewcomer]["encryptionPassword"], "");
    const qint64 beforeRepeat = lastEventID();
    awaitTask(controller.shareFolders(wanted));
    EXPECT_FALSE(eventsSince(beforeRepeat).join(",").contains("ConfigSaved"));

    const qint64 beforeBounce = lastEventID();
    for (const QString &id : {kIntroduced, kEncrypted, me})
        awaitTask(controller.bounceDevice(id, {shared}));
    EXPECT_EQ(eventsSince(beforeBounce).filter("Device"),
              QStringList({"DevicePaused " + kIntroduced, "DeviceResumed " + kIntroduced}));

    awaitTask(controller.setFolderVersioning(shared, 7));
    const QJsonObject versioning = object("/rest/config/folders/" + shared)["versioning"].toObject();
    EXPECT_EQ(versioning["type"].toString() + versioning["params"]["cleanoutDays"].toString(), "trashcan7");
    EXPECT_EQ(versioning["cleanupIntervalS"], 3600);
    awaitTask(controller.setFolderVersioning(shared, -1));
    EXPECT_EQ(object("/rest/config/folders/" + shared).value("versioning")["type"], "");

    send("POST", "/rest/db/ignores?folder=" + shared, {{"ignore", QJsonArray{"*.tmp"}}});
    for (int i = 0; i < 2; ++i)
        awaitTask(controller.addIgnore(shared, "/raw/a b+c"));
    EXPECT_EQ(object("/rest/db/ignores?folder=" + shared)["ignore"], QJsonArray({"/raw/a b+c", "*.tmp"}));

    node->putFolder("tdw-cluster-0123456789abcdef");
    awaitTask(controller.remove());
    EXPECT_EQ(node->get("/rest/config/folders").json().array().size(), 2);
    EXPECT_FALSE(keychain.items.contains(NasNodeController::keyAccount(me)));
    EXPECT_EQ(SyncthingInstance::readFile(controller.storePath()), "[]");
}

} // namespace
} // namespace tw
