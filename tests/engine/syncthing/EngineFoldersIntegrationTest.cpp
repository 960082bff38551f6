// The engine's folder, ignore, browse, archive, network and diagnostics
// operations against one real Syncthing on loopback, shared by the suite: each
// test makes folders of its own.

#include "engine/SyncEngineError.h"
#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>

namespace tw {
namespace {

QStringList stringsOf(const QJsonValue &value)
{
    QStringList strings;
    for (const QJsonValue &entry : value.toArray())
        strings.append(entry.toString());
    return strings;
}

class EngineFoldersIntegrationTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        a = std::make_unique<SyncthingInstance>();
        a->start();
        engine = a->startedEngine();
    }

    static void TearDownTestSuite()
    {
        engine.reset();
        a.reset();
    }

    static QString folderPath(const QString &name) { return a->root() + QStringLiteral("/folders/") + name; }

    static SyncFolder makeFolder(const QString &name, NewFolderRequest request = {})
    {
        request.path = folderPath(name);
        QDir().mkpath(request.path);
        return awaitTask(engine->addFolder(request));
    }

    static QJsonObject config(const QString &id) { return a->get("/rest/config/folders/" + id).json().object(); }
    static QJsonValue filterEntries(const QString &id) { return config(id).value("xattrFilter").toObject().value("entries"); }

    static std::optional<SyncFolder> lookUp(const QString &id)
    {
        const QList<SyncFolder> folders = awaitTask(engine->folders());
        const auto found = std::ranges::find(folders, id, &SyncFolder::id);
        return found == folders.end() ? std::nullopt : std::optional(*found);
    }

    static inline std::unique_ptr<SyncthingInstance> a;
    static inline std::unique_ptr<SyncthingEngine> engine;
};

TEST_F(EngineFoldersIntegrationTest, AFolderReadsBackAsCreatedAndAsChanged)
{
    const NewFolderRequest request{.id = std::nullopt, .label = "Holiday Photos", .path = folderPath("photos"),
                                   .mode = FolderSyncMode::SendOnly,
                                   .ignorePatterns = {"*.tmp", "!keep.tmp", "(?d).DS_Store"},
                                   .versioning = VersioningPolicy::trashCan(14), .syncMetadata = false};
    const QString id = makeFolder("photos", request).id;
    EXPECT_TRUE(QRegularExpression("^tdw-[0-9a-f]{8}$").match(id).hasMatch()) << id.toStdString();

    SyncFolder expected{.id = id, .label = request.label, .path = request.path, .mode = FolderSyncMode::SendOnly,
                        .isPaused = false, .ignorePatterns = {}, .sharedDeviceIDs = {a->deviceID()},
                        .introducedDeviceIDs = {}, .versioning = request.versioning, .syncMetadata = false};
    EXPECT_EQ(lookUp(id), expected);
    EXPECT_EQ(awaitTask(engine->ignorePatterns(id)), request.ignorePatterns);
    EXPECT_EQ(filterEntries(id), STXattrFilter::syncedXattrs().toJson().value("entries"));

    // Each setting changes only itself.
    awaitTask(engine->setFolderLabel(id, QStringLiteral("Renamed")));
    awaitTask(engine->setFolderType(id, QStringLiteral("sendreceive")));
    awaitTask(engine->setFolderPaused(id, true));
    awaitTask(engine->setFolderMetadata(id, true));
    expected.label = QStringLiteral("Renamed");
    expected.mode = FolderSyncMode::SendReceive;
    expected.isPaused = true;
    expected.syncMetadata = true;
    EXPECT_EQ(lookUp(id), expected);
    for (const VersioningPolicy &policy :
         {VersioningPolicy::simple(5), VersioningPolicy::staggered(3), VersioningPolicy::none()}) {
        awaitTask(engine->setVersioning(id, policy));
        expected.versioning = policy;
        EXPECT_EQ(lookUp(id), expected) << int(policy.kind());
        // Syncthing merges the parameter maps; simple versioning would honour
        // a trash can's "cleanoutDays" left behind.
        const QJsonObject params = config(id).value("versioning").toObject().value("params").toObject();
        EXPECT_EQ(params.value("cleanoutDays").toString(QStringLiteral("0")).toInt(), 0);
    }

    // A rescan resumes the paused folder.
    SyncthingInstance::writeFile(request.path + "/one.txt", "1");
    awaitTask(engine->rescanFolder(id));
    EXPECT_FALSE(lookUp(id)->isPaused);
    EXPECT_TRUE(a->waitUntilIndexed(id, 1));

    // A filter edited elsewhere is put back.
    a->request("PATCH", "/rest/config/folders/" + id,
               R"({"xattrFilter": {"entries": [{"match": "*", "permit": true}], "maxSingleEntrySize": 1, "maxTotalSize": 2}})",
               a->apiKey());
    awaitTask(engine->applySyncedXattrFilter(id));
    EXPECT_EQ(filterEntries(id), STXattrFilter::syncedXattrs().toJson().value("entries"));

    awaitTask(engine->removeFolder(id));
    EXPECT_FALSE(lookUp(id));
}

TEST_F(EngineFoldersIntegrationTest, AnInvalidIgnorePatternFailsAndTheOldLinesStay)
{
    const SyncFolder folder = makeFolder("ignores");
    const QStringList good{QStringLiteral("*.tmp"), QStringLiteral("build/")};
    awaitTask(engine->updateIgnorePatterns(folder.id, good));

    const std::optional<SyncEngineError> refused =
        failureOf(engine->updateIgnorePatterns(folder.id, {QStringLiteral("ok"), QStringLiteral("[x")}));
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->kind(), SyncEngineError::Kind::Backend);
    EXPECT_TRUE(refused->payload().contains(QStringLiteral("[x"))) << refused->payload().toStdString();
    EXPECT_EQ(awaitTask(engine->ignorePatterns(folder.id)), good);
    // The old lines start the folder again.
    EXPECT_TRUE(a->waitForFolder(folder.id, [](const QJsonObject &status) { return status.value("state").toString() == "idle"; }));
}

TEST_F(EngineFoldersIntegrationTest, BrowseListsOneLevelUnderAPrefixAndDirectoriesHaveTheirTime)
{
    const SyncFolder folder = makeFolder("browse");
    for (const QString name : {"photos/2024/a.jpg", "photos/2024/trip/b.jpg", "photos/c.jpg", "top.txt"})
        SyncthingInstance::writeFile(folder.path + "/" + name, "x");
    const qint64 known = 1700000000; // 2023-11-14T22:13:20Z
    const timespec times[2] = {{known, 0}, {known, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(folder.path + "/photos/2024/trip").constData(), times, 0), 0);
    awaitTask(engine->scanFolder(folder.id));
    ASSERT_TRUE(a->waitUntilIndexed(folder.id, 7));

    EXPECT_EQ(awaitTask(engine->browse(folder.id, QStringLiteral("photos/2024"))),
              (QList<BrowseEntry>{{"a.jpg", false}, {"trip", true}}));
    EXPECT_EQ(awaitTask(engine->browse(folder.id, QString())), (QList<BrowseEntry>{{"photos", true}, {"top.txt", false}}));
    EXPECT_EQ(awaitTask(engine->directoryModified(folder.id, QStringLiteral("photos/2024/trip"))), known);
    EXPECT_EQ(awaitTask(engine->directoryModified(folder.id, QStringLiteral("no/such/dir"))), std::nullopt);
}

TEST_F(EngineFoldersIntegrationTest, ARestoreOfAVersionAlreadyRestoredFailsAndKeepsTheLiveFile)
{
    // Syncthing archives the live file before it looks for the version.
    const QString path = folderPath("restores");
    for (const QString name : {"a", "b"}) {
        SyncthingInstance::writeFile(path + "/" + name, "live");
        SyncthingInstance::writeFile(path + "/.stversions/" + name + "~20240105-101112", "old");
    }
    NewFolderRequest versioned;
    versioned.versioning = VersioningPolicy::simple(5);
    const SyncFolder folder = makeFolder("restores", versioned);
    ASSERT_TRUE(a->waitUntilIndexed(folder.id, 2));
    const QString time = awaitTask(engine->archivedVersions(folder.id)).value(0).versionTime;

    awaitTask(engine->restoreArchived(folder.id, "a", time));
    EXPECT_TRUE(failureOf(engine->restoreArchived(folder.id, "a", time)));
    QCoro::Task<void> first = engine->restoreArchivedBatch(folder.id, {{"b", time}, {"missing", time}});
    QCoro::Task<void> second = engine->restoreArchived(folder.id, "b", time);
    EXPECT_EQ(failureOf(std::move(first)).value().payload(), "Could not restore missing: version not found");
    // Our own text: the second waited for the first and found the version gone.
    EXPECT_EQ(failureOf(std::move(second)).value().payload(), "Could not restore b: version not found");
    EXPECT_EQ(SyncthingInstance::readFile(path + "/a") + SyncthingInstance::readFile(path + "/b"), "oldold");
}

// Every switch stays off: custom relay and discovery addresses are loopback
// addresses where nothing listens.
TEST_F(EngineFoldersIntegrationTest, NetworkSettingsAndLimitsRoundTripWithEverySwitchOff)
{
    const QString relay = QStringLiteral("relay://127.0.0.1:1");
    const QString discovery = QStringLiteral("https://127.0.0.1:1/");
    const auto options = [&] { return a->get("/rest/config/options").json().object(); };
    // Whatever a step did, Syncthing itself still has every switch off and
    // listens on loopback only.
    const auto expectSwitchesOff = [&] {
        const QJsonObject current = options();
        for (const char *key : {"natEnabled", "relaysEnabled", "localAnnounceEnabled", "globalAnnounceEnabled"})
            EXPECT_EQ(current.value(key), QJsonValue(false)) << key;
        for (const QString &address : stringsOf(current.value("listenAddresses")))
            EXPECT_TRUE(address.contains("://127.")) << address.toStdString();
    };
    const QStringList listenBefore = stringsOf(options().value("listenAddresses"));
    EXPECT_EQ(awaitTask(engine->networkSettings()), NetworkSettings{});

    // How lines split and lists merge is NetworkOptions' own; here Syncthing
    // keeps what was written.
    NetworkSettings custom; // every switch off
    custom.customRelayURL = relay;
    custom.customDiscoveryURL = discovery;
    custom.alwaysLocalNets = "10.0.0.0/8\n127.0.0.0/8";
    awaitTask(engine->applyNetworkSettings(custom));
    expectSwitchesOff();
    EXPECT_EQ(stringsOf(options().value("listenAddresses")), listenBefore + QStringList{relay});
    EXPECT_EQ(stringsOf(options().value("globalAnnounceServers")), (QStringList{"default", discovery}));
    EXPECT_EQ(stringsOf(options().value("alwaysLocalNets")), (QStringList{"10.0.0.0/8", "127.0.0.0/8"}));
    // Limits set alone read back with the other settings.
    awaitTask(engine->setGlobalBandwidth(300, 150));
    custom.downLimitKbps = 300;
    custom.upLimitKbps = 150;
    EXPECT_EQ(awaitTask(engine->networkSettings()), custom);

    // Clearing leaves only the loopback listener and the built-in servers;
    // limits are written with the other settings.
    NetworkSettings cleared;
    cleared.downLimitKbps = 1200;
    awaitTask(engine->applyNetworkSettings(cleared));
    EXPECT_EQ(stringsOf(options().value("listenAddresses")), listenBefore);
    EXPECT_EQ(stringsOf(options().value("globalAnnounceServers")), QStringList{"default"});
    EXPECT_EQ(awaitTask(engine->networkSettings()), cleared);
    expectSwitchesOff();
}

// Last in the suite: it leaves its folder in error.
TEST_F(EngineFoldersIntegrationTest, StatusRecordOfARealFolderAndItsErrorWhileInError)
{
    const QString id = QStringLiteral("tdw-d1a90001");
    const QByteArray content = QByteArrayLiteral("seven kilobytes or so of nothing much\n").repeated(200);
    SyncthingInstance::writeFile(folderPath(id) + "/note.txt", content);
    a->putFolder(id, {}, {{"label", "Diagnosed"}, {"rescanIntervalS", 3600}, {"fsWatcherEnabled", false}});
    ASSERT_TRUE(a->waitUntilIndexed(id, 1));
    const FolderDiagStatus expected{id, "Diagnosed", "idle", content.size(), content.size(), 0, 0};
    EXPECT_TRUE(awaitTask(engine->diagnosticsStatus()).contains(expected));
    EXPECT_FALSE(awaitTask(engine->recentFolderErrors()).contains(id));

    // Without its marker Syncthing refuses the folder at the next scan.
    ASSERT_TRUE(QDir(folderPath(id) + "/.stfolder").removeRecursively());
    // The scan itself already answers with the error.
    a->request("POST", "/rest/db/scan?folder=" + id, {}, a->apiKey());
    ASSERT_TRUE(a->waitForFolder(id, [](const QJsonObject &s) { return s.value("state").toString() == "error"; }));
    const QString error = awaitTask(engine->recentFolderErrors()).value(id);
    EXPECT_EQ(error, a->folderStatus(id).value("error").toString());
    EXPECT_TRUE(error.contains("marker")) << error.toStdString();
}
} // namespace
} // namespace tw
