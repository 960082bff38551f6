// The engine's folder operations and its event stream against one real
// Syncthing on loopback, shared by the suite: each test makes folders of its
// own.

#include "engine/SyncEngineError.h"
#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "IgnoreSyntaxCases.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tw {
namespace {

QByteArray compact(const QJsonObject &object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

QJsonObject deviceRef(const QString &id, const QString &introducedBy = {}, const QString &password = {})
{
    return QJsonObject{{"deviceID", id}, {"introducedBy", introducedBy}, {"encryptionPassword", password}};
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

    static inline std::unique_ptr<SyncthingInstance> a;
    static inline std::unique_ptr<SyncthingEngine> engine;
};

// The whole tree in one read says what the engine records for each directory
// on its own, and names no file.
TEST_F(EngineFoldersIntegrationTest, DirectoryTimesOfAFolderAgreeWithEachDirectorysRecord)
{
    const QString id = QStringLiteral("tdw-d1e7e001");
    const QString root = a->root() + QStringLiteral("/folders/") + id;
    SyncthingInstance::writeFile(root + QStringLiteral("/a/b/f.txt"), "x");
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/c d")));
    const struct timespec times[2] = {{0, UTIME_OMIT}, {1'500'000'000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(root + QStringLiteral("/a")).constData(), times, 0), 0);
    a->putFolder(id);
    ASSERT_TRUE(a->waitUntilIndexed(id, 4));
    const QHash<QString, qint64> recorded = awaitTask(engine->directoryTimes(id));
    QStringList paths = recorded.keys();
    paths.sort();
    EXPECT_EQ(paths, QStringList({"a", "a/b", "c d"}));
    EXPECT_EQ(recorded.value("a"), 1'500'000'000);
    for (const QString &path : paths)
        EXPECT_EQ(recorded.value(path), awaitTask(engine->directoryModified(id, path))) << path.toStdString();
}

TEST_F(EngineFoldersIntegrationTest, AnInvalidIgnorePatternFailsAndTheOldLinesStay)
{
    const QString id = QStringLiteral("tdw-16e0e001");
    a->putFolder(id);
    const QStringList good{QStringLiteral("*.tmp"), QStringLiteral("build/")};
    awaitTask(engine->updateIgnorePatterns(id, good));

    const std::optional<SyncEngineError> refused =
        failureOf(engine->updateIgnorePatterns(id, {QStringLiteral("ok"), QStringLiteral("[x")}));
    ASSERT_TRUE(refused);
    EXPECT_TRUE(refused->payload().contains(QStringLiteral("[x"))) << refused->payload().toStdString();
    EXPECT_EQ(awaitTask(engine->ignorePatterns(id)), good);

    // A line too long for Syncthing's reader stops the folder with all its
    // lines, which then read as none: that must not pass for an empty list
    // (an edit would write it over the folder's own). New lines start it.
    const QJsonObject tooLong{{"ignore", QJsonArray{QString(65536, 'a')}}};
    ASSERT_TRUE(a->request("POST", "/rest/db/ignores?folder=" + id, compact(tooLong), a->apiKey()).ok());
    const std::optional<SyncEngineError> unread = failureOf(engine->ignorePatterns(id));
    ASSERT_TRUE(unread);
    EXPECT_EQ(unread->kind(), SyncEngineError::Kind::Refused);
    awaitTask(engine->updateIgnorePatterns(id, good));
    EXPECT_EQ(awaitTask(engine->ignorePatterns(id)), good);
}

// Each line in a folder of its own: Syncthing reads a folder's lines again
// only when the file's time changed, which two writes in one tick may not do.
TEST_F(EngineFoldersIntegrationTest, SyncthingRefusesExactlyTheIgnoreLinesTheCheckRefuses)
{
    int index = 0;
    for (const IgnoreSyntaxCase &row : ignoreSyntaxCases) {
        const QString id = QStringLiteral("tdw-5y%1").arg(index++, 6, 10, QLatin1Char('0'));
        a->putFolder(id);
        const QJsonObject body{{"ignore", QJsonArray{row.line}}};
        const SyncthingInstance::Response answer =
            a->request("POST", "/rest/db/ignores?folder=" + id, compact(body), a->apiKey());
        ASSERT_TRUE(answer.ok()) << answer.body.toStdString();
        const QString error = answer.json().object().value("error").toString();
        EXPECT_EQ(!error.isEmpty(), row.refused) << row.line.toStdString() << ": " << error.toStdString();
    }
}

TEST_F(EngineFoldersIntegrationTest, ARestoreOfAVersionAlreadyRestoredFailsAndKeepsTheLiveFile)
{
    // Syncthing archives the live file before it looks for the version.
    const QString id = QStringLiteral("tdw-2e5707e1");
    const QString path = a->root() + "/folders/" + id;
    for (const QString name : {"a", "b"}) {
        SyncthingInstance::writeFile(path + "/" + name, "live");
        SyncthingInstance::writeFile(path + "/.stversions/" + name + "~20240105-101112", "old");
    }
    a->putFolder(id, {}, {{"versioning", QJsonObject{{"type", "simple"}, {"params", QJsonObject{{"keep", "5"}}}}}});
    ASSERT_TRUE(a->waitUntilIndexed(id, 2));
    const QString time = awaitTask(engine->archivedVersions(id)).value(0).versionTime;

    awaitTask(engine->restoreArchived(id, "a", time));
    EXPECT_TRUE(failureOf(engine->restoreArchived(id, "a", time)));
    QCoro::Task<void> first = engine->restoreArchivedBatch(id, {{"b", time}, {"missing", time}});
    QCoro::Task<void> second = engine->restoreArchived(id, "b", time);
    EXPECT_EQ(failureOf(std::move(first)).value().payload(), "Could not restore missing: version not found");
    // Our own text: the second waited for the first and found the version gone.
    EXPECT_EQ(failureOf(std::move(second)).value().payload(), "Could not restore b: version not found");
    EXPECT_EQ(SyncthingInstance::readFile(path + "/a") + SyncthingInstance::readFile(path + "/b"), "oldold");
}

// Syncthing merges patched parameters into the old ones, and its simple
// versioning honours a leftover trash-can cleanout.
TEST_F(EngineFoldersIntegrationTest, SwitchingToSimpleVersioningEndsTheTrashCansCleanout)
{
    const QString id = QStringLiteral("tdw-5e1f0001");
    a->putFolder(id);
    awaitTask(engine->setVersioning(id, VersioningPolicy::trashCan(30)));
    awaitTask(engine->setVersioning(id, VersioningPolicy::simple(5)));
    const QJsonObject versioning = a->get("/rest/config/folders/" + id).json().object().value("versioning").toObject();
    EXPECT_EQ(versioning.value("type").toString(), "simple");
    EXPECT_EQ(versioning.value("params").toObject().value("cleanoutDays").toString(), "0");
    EXPECT_EQ(versioning.value("params").toObject().value("keep").toString(), "5");
}

TEST_F(EngineFoldersIntegrationTest, OnlyAFolderWithOurAttributeFilterReadsAsHavingIt)
{
    const QString id = QStringLiteral("tdw-a77f0001");
    a->putFolder(id);
    const auto filtered = [&id] {
        for (const SyncFolder &folder : awaitTask(engine->folders()))
            if (folder.id == id)
                return folder.hasSyncedXattrFilter;
        return false;
    };
    EXPECT_FALSE(filtered());
    awaitTask(engine->applySyncedXattrFilter(id));
    EXPECT_TRUE(filtered());
}

// Everything stays off: nothing may leave loopback.
TEST_F(EngineFoldersIntegrationTest, NetworkSettingsReadBackAsWritten)
{
    NetworkSettings wanted;
    wanted.downLimitKbps = 512;
    wanted.upLimitKbps = 64;
    wanted.alwaysLocalNets = QStringLiteral("10.1.0.0/16\n192.168.7.0/24");
    awaitTask(engine->applyNetworkSettings(wanted));
    EXPECT_EQ(awaitTask(engine->networkSettings()), wanted);
}

TEST_F(EngineFoldersIntegrationTest, SharesAndFolderChangesKeepTheOtherEntriesIntroducerAndPassword)
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
    // A new device lands in front of the others.
    awaitTask(engine->shareFolder(id, newcomer));
    expected.insert(newcomer, deviceRef(newcomer));
    EXPECT_EQ(folderDevices(), expected);

    // Every setting and the device list in one write, from the folder as
    // listed; then once more from a listing the engine no longer holds.
    const auto listed = [&] {
        for (const SyncFolder &folder : awaitTask(engine->folders()))
            if (folder.id == id)
                return folder;
        return SyncFolder();
    };
    FolderChange change{.label = "Changed", .versioning = VersioningPolicy::simple(3), .syncMetadata = false,
                        .syncedXattrFilter = true, .sharedDeviceIDs = {}};
    SyncFolder before = listed();
    change.sharedDeviceIDs = before.sharedDeviceIDs;
    change.sharedDeviceIDs->removeAll(newcomer);
    change.sharedDeviceIDs->append(introducer);
    awaitTask(engine->changeFolder(before, change));
    expected.remove(newcomer);
    expected.insert(introducer, deviceRef(introducer));
    EXPECT_EQ(folderDevices(), expected);
    const SyncFolder after = listed();
    EXPECT_EQ(after.label, "Changed");
    EXPECT_EQ(after.versioning, VersioningPolicy::simple(3));
    EXPECT_FALSE(after.syncMetadata);
    EXPECT_TRUE(after.hasSyncedXattrFilter);

    before.sharedDeviceIDs.append(newcomer);  // as no listing had it
    FolderChange share{.label = {}, .versioning = {}, .syncMetadata = {}, .syncedXattrFilter = false,
                       .sharedDeviceIDs = after.sharedDeviceIDs + QStringList{newcomer}};
    awaitTask(engine->changeFolder(before, share));
    expected.insert(newcomer, deviceRef(newcomer));
    EXPECT_EQ(folderDevices(), expected);
}

TEST_F(EngineFoldersIntegrationTest, BurstBetweenPollsLosesNothing)
{
    constexpr int kChanges = 250;
    a->putFolder("tdw-b0757001");
    // Skips what is buffered now (at least the start-up events, so this poll
    // answers at once).
    qint64 since = 0;
    for (const SyncEvent &event : awaitTask(engine->events(since)))
        since = std::max(since, event.id);
    for (int i = 0; i < kChanges; ++i)
        ASSERT_TRUE(a->request("PATCH", "/rest/config/folders/tdw-b0757001", compact({{"label", QString::number(i)}}),
                               a->apiKey()).ok());

    // Syncthing itself drops an event for a subscriber that falls behind (a
    // starved machine shows gaps, at poll boundaries too); what is ours is
    // that the burst arrives whole but for those, and nothing comes twice.
    // That each poll asks from the last ID seen is the fake-server test's.
    const qint64 start = since;
    qsizetype seen = 0;
    int saves = 0;
    while (saves + (since - start - seen) < kChanges) {
        const QList<SyncEvent> batch = awaitTask(engine->events(since));
        ASSERT_FALSE(batch.isEmpty());
        for (const SyncEvent &event : batch) {
            ASSERT_GT(event.id, since);
            since = event.id;
            saves += event.type == "ConfigSaved";
        }
        seen += batch.size();
    }
}

} // namespace
} // namespace tw
