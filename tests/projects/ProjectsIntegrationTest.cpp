// Syncs against real Syncthings for this Mac, a teammate's Mac and the
// always-on node: what only Syncthing decides about folders, sharing, offers
// and versioning, and what only the file system decides about archive sizes.

#include "platform/AllocatedSize.h"
#include "projects/ProjectController.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "MemoryKeychain.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QJsonArray>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tw {
namespace {

const Sleeper kInstant = [](std::chrono::milliseconds) -> QCoro::Task<void> { co_return; };
const QString kMember = "AAABRBR-6BRDF5P-3SBAR2D-C3FT7EX-DBBS5CA-A7Q5QDT-46CR4SR-342TQAU";
const QString kInvited = "TGFXPVX-FWYDUOR-LJ7OY5C-ENL3OV4-ZNTRIF6-UJBKBTU-FWV2FJS-7ZIOJQD";

class ProjectsIntegrationTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // This Mac's Syncthing lists each request it answers in its log.
        SyncthingInstance::Settings traced;
        traced.extraEnvironment.insert("STTRACE", "api");
        mac = std::make_unique<SyncthingInstance>(traced);
        node = std::make_unique<SyncthingInstance>();
        teammate = std::make_unique<SyncthingInstance>();
        for (auto *instance : {&mac, &node, &teammate})
            (*instance)->start();
        // Folders made on the node would otherwise go under /var/syncthing.
        const QByteArray path = R"({"path":")" + onNode().toUtf8() + R"("})";
        ASSERT_TRUE(node->request("PATCH", "/rest/config/defaults/folder", path, node->apiKey()).ok());
    }
    static void TearDownTestSuite()
    {
        mac.reset();
        node.reset();
        teammate.reset();
    }
    static QString onNode() { return node->root() + "/on-node"; }
    static QStringList devicesOf(SyncthingInstance &instance, const QString &folderID)
    {
        QStringList ids;
        for (const QJsonValue &entry : instance.get("/rest/config/folders/" + folderID).json()["devices"].toArray())
            ids.append(entry["deviceID"].toString());
        ids.sort();
        return ids;
    }

    // "METHOD /path" of each request this Mac's Syncthing answered after the
    // given offset of its log.
    static QStringList requestsSince(qint64 offset)
    {
        QFile log(mac->home() + "/" + SyncthingProcess::logFileName);
        if (!log.open(QIODevice::ReadOnly) || !log.seek(offset))
            return {};
        static const QRegularExpression line(R"(http: (\w+) "([^"?]*))");
        QStringList requests;
        for (const QString &text : QString::fromUtf8(log.readAll()).split('\n')) {
            const QRegularExpressionMatch match = line.match(text);
            if (match.hasMatch())
                requests.append(match.captured(1) + " " + match.captured(2));
        }
        return requests;
    }
    static qint64 logSize() { return QFileInfo(mac->home() + "/" + SyncthingProcess::logFileName).size(); }

    static inline std::unique_ptr<SyncthingInstance> mac;
    static inline std::unique_ptr<SyncthingInstance> node;
    static inline std::unique_ptr<SyncthingInstance> teammate;
    QTemporaryDir dir;
    MemoryKeychain keychain;
};

TEST_F(ProjectsIntegrationTest, ASyncReachesTheEngineAndTheNodeAndKeepsTheUsersPause)
{
    const std::unique_ptr<SyncthingEngine> engine = mac->startedEngine();
    NasNodeController nodes(keychain, AppPaths(dir.path() + "/nodes"), kInstant);
    nodes.setFolderRoot(onNode());
    ASSERT_TRUE(awaitTask(nodes.configure(node->baseURL().toString(), node->apiKey(), "Attic")));
    UserDefaults defaults(dir.filePath("defaults.json"));
    ProjectController projects(*engine, AppPaths(dir.path() + "/app"), defaults, systemClock(), kInstant);
    projects.setNasNode(&nodes);
    QStringList all{mac->deviceID(), kMember, node->deviceID()};

    projects.add({.id = "S", .name = "Film"});
    awaitTask(projects.addMember("S", mac->deviceID(), "Me", MemberRole::Editor, true, std::nullopt));
    awaitTask(projects.addMember("S", kMember, "Nina", MemberRole::Editor, false, std::nullopt));
    QDir().mkpath(dir.path() + "/footage");
    const QString folderID = awaitTask(projects.addFolder("S", dir.path() + "/footage", "Footage", true)).value();
    const QString stID = projects.folderOf("S", folderID)->syncthingFolderID.value();
    EXPECT_TRUE(stID.startsWith("tdw-")) << stID.toStdString();
    const QJsonDocument folder = mac->get("/rest/config/folders/" + stID).json();
    EXPECT_EQ(folder["label"], u"Film \u2014 Footage"_qs);
    EXPECT_EQ(folder["versioning"]["type"].toString() + folder["versioning"]["params"]["cleanoutDays"].toString(),
              "trashcan0");
    all.sort();
    EXPECT_EQ(devicesOf(*mac, stID), all);
    EXPECT_EQ(devicesOf(*node, stID), all);

    awaitTask(projects.setFolderDeviceState("S", folderID, kMember, true, false));
    EXPECT_FALSE(devicesOf(*mac, stID).contains(kMember));
    awaitTask(projects.setFolderDeviceState("S", folderID, kMember, false, false));
    EXPECT_TRUE(devicesOf(*mac, stID).contains(kMember));

    awaitTask(engine->setDevicePaused(node->deviceID(), true));
    awaitTask(projects.reconcileAll());
    EXPECT_EQ(mac->get("/rest/config/devices/" + node->deviceID()).json()["paused"], true);
    EXPECT_EQ(projects.lastErrorMessage(), std::nullopt);
}

TEST_F(ProjectsIntegrationTest, AnOfferedFolderSyncsAndItsArchiveIsSetHereAndOnTheNode)
{
    const std::unique_ptr<SyncthingEngine> engine = mac->startedEngine();
    NasNodeController nodes(keychain, AppPaths(dir.path() + "/nodes"), kInstant);
    nodes.setFolderRoot(onNode());
    ASSERT_TRUE(awaitTask(nodes.configure(node->baseURL().toString(), node->apiKey(), "Attic")));
    UserDefaults defaults(dir.filePath("defaults.json"));
    ProjectController projects(*engine, AppPaths(dir.path() + "/app"), defaults, systemClock(), kInstant);
    projects.setNasNode(&nodes);
    const QString b = teammate->deviceID();
    mac->pairWith(*teammate);
    const QJsonObject label{{"label", u"Photos \u2014 Raw"_qs}};
    const QString onB = teammate->putFolder("X", {b, mac->deviceID()}, label);
    const auto offered = [&] {
        awaitTask(projects.refreshPending());
        return !projects.pendingFolders().isEmpty();
    };
    ASSERT_TRUE(waitUntil(offered, 60000));
    const QString raw = dir.path() + "/raw";
    awaitTask(projects.acceptIncomingFolder(projects.pendingFolders().first(), raw, {}, {}, true));
    const Project sync = projects.projects().value(0);
    EXPECT_EQ(sync.name, "Raw");
    EXPECT_EQ(sync.members.value(0).deviceID, b);
    const QJsonDocument device = mac->get("/rest/config/devices/" + b).json();
    EXPECT_EQ(device["introducer"], true);
    EXPECT_EQ(device["addresses"], QJsonArray({teammate->listenAddress()}));
    SyncthingInstance::writeFile(onB + "/shot.raw", "frame");
    ASSERT_TRUE(teammate->request("POST", "/rest/db/scan?folder=X", {}, teammate->apiKey()).ok());
    EXPECT_TRUE(waitUntil([&] { return SyncthingInstance::readFile(raw + "/shot.raw") == "frame"; }, 60000));

    const QString folderID = sync.folders.value(0).id;
    const auto versioning = [](SyncthingInstance &instance) {
        const QJsonValue v = instance.get("/rest/config/folders/X").json()["versioning"];
        // Off keeps the old parameters in Syncthing's configuration; the type decides.
        return v["type"].toString() + (v["type"] == "" ? "" : v["params"]["cleanoutDays"].toString());
    };
    awaitTask(projects.setArchiveRetention(sync.id, folderID, 30));
    EXPECT_EQ(QStringList({versioning(*mac), versioning(*node)}), QStringList(2, "trashcan30"));
    awaitTask(projects.setFolderArchive(sync.id, folderID, false));
    EXPECT_EQ(QStringList({versioning(*mac), versioning(*node)}), QStringList(2, ""));

    const Invite invite{.deviceID = kInvited, .name = "Ivy", .project = "", .tsIP = "127.0.0.2"};
    EXPECT_TRUE(awaitTask(projects.acceptInvite(invite, false)).has_value());
    EXPECT_EQ(mac->get("/rest/config/devices/" + kInvited).json()["addresses"],
              QJsonArray({"dynamic", "tcp://127.0.0.2:22000"}));

    // Three one-byte files, one hidden and one in a subfolder, and a link to
    // a large file that must be neither followed nor emptied. The link counts
    // its own blocks: ext4 gives a target longer than 60 bytes (a long
    // temporary path) a block of its own.
    const QString archive = raw + "/.stversions";
    for (const QString &path : {archive + "/a", archive + "/.hidden", archive + "/sub/b", dir.path() + "/one/x"})
        SyncthingInstance::writeFile(path, "1");
    SyncthingInstance::writeFile(dir.path() + "/large", QByteArray(1 << 20, 'x'));
    ASSERT_TRUE(QFile::link(dir.path() + "/large", archive + "/link"));
    const qint64 block = allocatedSizeBelow(dir.path() + "/one");
    EXPECT_TRUE(block >= 512 && block % 512 == 0) << block;
    struct stat link = {};
    ASSERT_EQ(::lstat(QFile::encodeName(archive + "/link").constData(), &link), 0);
    const qint64 expected = 3 * block + qint64(link.st_blocks) * 512;
    EXPECT_EQ(awaitTask(projects.archiveSize(sync.id, folderID)), expected);
    EXPECT_EQ(awaitTask(projects.freeArchiveNow(sync.id, folderID)), expected);
    EXPECT_FALSE(QFileInfo::exists(archive));
    EXPECT_TRUE(QFileInfo::exists(dir.path() + "/large"));
}

// A line Syncthing cannot parse in a folder's ".stignore" stops the folder
// before its first scan. A list stored before its lines were checked still
// makes folders that sync, with the lines Syncthing can use, and takes a
// removal's protection line with them.
TEST_F(ProjectsIntegrationTest, AFolderWhoseLinesSyncthingCannotUseSyncsWithTheOthersAndItsSyncSaysWhich)
{
    const std::unique_ptr<SyncthingEngine> engine = mac->startedEngine();
    UserDefaults defaults(dir.filePath("defaults.json"));
    ProjectController projects(*engine, AppPaths(dir.path() + "/app"), defaults, systemClock(), kInstant);
    projects.setDefaultIgnores({"*.tmp", "[abc"});
    const QString path = dir.filePath("refused");
    SyncthingInstance::writeFile(path + "/kept.txt", "k");
    SyncthingInstance::writeFile(path + "/left.tmp", "t");
    projects.add({.id = "R", .name = "Refused", .members = {{mac->deviceID(), "me", MemberRole::Editor, true, false}}});
    const QString folderID = awaitTask(projects.addFolder("R", path, "Work", true)).value();
    const QString stID = projects.folderOf("R", folderID)->syncthingFolderID.value();

    EXPECT_TRUE(mac->waitUntilIndexed(stID, 1));
    EXPECT_EQ(awaitTask(engine->ignorePatterns(stID)), QStringList("*.tmp"));
    EXPECT_TRUE(projects.ignoreRefusal(stID).value_or(QString()).contains(u"\u201C[abc\u201D of the folder \u201C\u2068Work\u2069\u201D"_qs));
    EXPECT_EQ(projects.lastErrorMessage(), std::nullopt);

    // A removal's protection goes on and off all the same.
    EXPECT_TRUE(awaitTask(projects.addPurgeProtection(stID, "/sub")));
    EXPECT_EQ(awaitTask(engine->ignorePatterns(stID)), QStringList({"/sub", "*.tmp"}));
    EXPECT_TRUE(awaitTask(projects.removePurgeProtection(stID, "/sub")));
    EXPECT_EQ(awaitTask(engine->ignorePatterns(stID)), QStringList("*.tmp"));
}

// The first start of fifty new syncs: every engine folder is made in one
// write, shared and set up, from one read of the folder list.
TEST_F(ProjectsIntegrationTest, APassOverFiftyNewSyncsReadsTheFolderListOnceAndWritesEachFolderOnce)
{
    for (const QString &id : {kMember, kInvited}) {
        const QByteArray device = R"({"deviceID":")" + id.toUtf8() + R"(","paused":true})";
        ASSERT_TRUE(mac->put("/rest/config/devices/" + id, device).ok());
    }
    const std::unique_ptr<SyncthingEngine> engine = mac->startedEngine();
    UserDefaults defaults(dir.filePath("defaults.json"));
    ProjectController projects(*engine, AppPaths(dir.path() + "/app"), defaults, systemClock(), kInstant);
    constexpr int count = 50;
    for (int i = 0; i < count; ++i) {
        const QString path = dir.filePath(QString("new/%1").arg(i));
        QDir().mkpath(path);
        projects.add({.id = QString("N%1").arg(i), .name = QString("New %1").arg(i),
                      .members = {{mac->deviceID(), "me", MemberRole::Editor, true, false}, {kMember}, {kInvited}},
                      .folders = {{.id = "f", .label = "F", .localPath = path}}});
    }
    const qint64 offset = logSize();
    awaitTask(projects.reconcileAll());
    EXPECT_EQ(projects.lastReconcileSummary(),
              QString("%1 folders created, +%2/\u22120 shares").arg(count).arg(2 * count));

    QStringList made;
    for (int i = 0; i < count; ++i)
        made.append(projects.folderOf(QString("N%1").arg(i), "f")->syncthingFolderID.value_or(QString()));
    QStringList expected{mac->deviceID(), kMember, kInvited};
    expected.sort();
    EXPECT_EQ(devicesOf(*mac, made.first()), expected);
    EXPECT_EQ(devicesOf(*mac, made.last()), expected);
    // The trace is written as each answer goes out.
    ASSERT_TRUE(waitUntil([&] { return requestsSince(offset).filter("/rest/config/folders/").size() >= count; }));
    const QStringList requests = requestsSince(offset);
    EXPECT_EQ(requests.count("GET /rest/config/folders"), 1) << requests.join('\n').toStdString();
    for (const QString &id : made) {
        const QRegularExpression write("^(PUT|PATCH|POST|DELETE) /rest/config/folders/" + id + "$");
        const QStringList writes = requests.filter(write);
        EXPECT_EQ(writes.size(), 1) << id.toStdString();
    }
}

} // namespace
} // namespace tw
