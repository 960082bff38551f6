// The engine's folder, ignore, browse and archive operations against real
// Syncthing instances on loopback.

#include "engine/SyncEngineError.h"
#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace tw {
namespace {

constexpr int kSyncTimeoutMs = 60000;

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(content), content.size());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void setModified(const QString &path, qint64 seconds)
{
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0) << path.toStdString();
}

QJsonObject folderStatus(SyncthingInstance &instance, const QString &id)
{
    return instance.get(QStringLiteral("/rest/db/status?folder=") + SyncthingInstance::encode(id)).json().object();
}

// Scanned, idle, needing nothing and holding the given number of local items.
bool waitUntilIndexed(SyncthingInstance &instance, const QString &id, int items)
{
    return waitUntil(
        [&] {
            const QJsonObject status = folderStatus(instance, id);
            return status.value("state").toString() == "idle" && status.value("needTotalItems").toInt() == 0
                && status.value("localTotalItems").toInt() == items;
        },
        kSyncTimeoutMs);
}

class EngineFoldersIntegrationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        a.start();
        engine = a.makeEngine();
        awaitTask(engine->start());
    }

    void TearDown() override { awaitTask(engine->stop()); }

    QString folderPath(const QString &name) const { return a.root() + QStringLiteral("/folders/") + name; }

    // A folder created through the engine, on a fresh directory.
    SyncFolder makeFolder(const QString &name, VersioningPolicy versioning = VersioningPolicy::none())
    {
        QDir().mkpath(folderPath(name));
        NewFolderRequest request;
        request.label = name;
        request.path = folderPath(name);
        request.versioning = versioning;
        return awaitTask(engine->addFolder(request));
    }

    QJsonValue filterEntries(const QString &id)
    {
        const QJsonObject config = a.get(QStringLiteral("/rest/config/folders/") + id).json().object();
        return config.value("xattrFilter").toObject().value("entries");
    }

    std::optional<SyncFolder> lookUp(const QString &id)
    {
        for (const SyncFolder &folder : awaitTask(engine->folders())) {
            if (folder.id == id)
                return folder;
        }
        return std::nullopt;
    }

    SyncFolder readBack(const QString &id) { return lookUp(id).value(); }

    SyncthingInstance a{QStringLiteral("127.0.0.1"), QStringLiteral("A")};
    std::unique_ptr<SyncthingEngine> engine;
};

TEST_F(EngineFoldersIntegrationTest, AFolderReadsBackAsCreatedAndAsChanged)
{
    QDir().mkpath(folderPath("photos"));
    NewFolderRequest request;
    request.label = QStringLiteral("Holiday Photos");
    request.path = folderPath("photos");
    request.mode = FolderSyncMode::SendOnly;
    request.ignorePatterns = {QStringLiteral("*.tmp"), QStringLiteral("!keep.tmp"), QStringLiteral("(?d).DS_Store")};
    request.versioning = VersioningPolicy::trashCan(14);
    request.syncMetadata = false;
    const QString id = awaitTask(engine->addFolder(request)).id;
    static const QRegularExpression idForm(QStringLiteral("^tdw-[0-9a-f]{8}$"));
    EXPECT_TRUE(idForm.match(id).hasMatch()) << id.toStdString();

    SyncFolder listed = readBack(id);
    EXPECT_EQ(listed.label, request.label);
    EXPECT_EQ(listed.path, request.path);
    EXPECT_EQ(listed.mode, FolderSyncMode::SendOnly);
    EXPECT_EQ(listed.versioning, VersioningPolicy::trashCan(14));
    EXPECT_FALSE(listed.syncMetadata);
    EXPECT_EQ(listed.sharedDeviceIDs, QStringList{a.deviceID()});
    EXPECT_EQ(awaitTask(engine->ignorePatterns(id)), request.ignorePatterns);
    EXPECT_EQ(filterEntries(id), STXattrFilter::syncedXattrs().toJson().value("entries"));

    // Each setting changes only itself.
    awaitTask(engine->setFolderLabel(id, QStringLiteral("Renamed")));
    awaitTask(engine->setFolderType(id, QStringLiteral("sendreceive")));
    awaitTask(engine->setFolderPaused(id, true));
    awaitTask(engine->setFolderMetadata(id, true));
    listed = readBack(id);
    EXPECT_EQ(listed.label, QStringLiteral("Renamed"));
    EXPECT_EQ(listed.mode, FolderSyncMode::SendReceive);
    EXPECT_TRUE(listed.isPaused);
    EXPECT_TRUE(listed.syncMetadata);
    EXPECT_EQ(listed.versioning, VersioningPolicy::trashCan(14));
    for (const VersioningPolicy &policy : {VersioningPolicy::staggered(3), VersioningPolicy::none()}) {
        awaitTask(engine->setVersioning(id, policy));
        listed = readBack(id);
        EXPECT_EQ(listed.versioning, policy) << int(policy.kind());
        EXPECT_EQ(listed.label, QStringLiteral("Renamed"));
    }

    // A rescan resumes the paused folder.
    writeFile(request.path + "/one.txt", "1");
    awaitTask(engine->rescanFolder(id));
    EXPECT_FALSE(readBack(id).isPaused);
    EXPECT_TRUE(waitUntilIndexed(a, id, 1));

    // A filter edited elsewhere is put back.
    a.patch(QStringLiteral("/rest/config/folders/") + id,
            R"({"xattrFilter": {"entries": [{"match": "*", "permit": true}], "maxSingleEntrySize": 1, "maxTotalSize": 2}})");
    awaitTask(engine->applySyncedXattrFilter(id));
    EXPECT_EQ(filterEntries(id), STXattrFilter::syncedXattrs().toJson().value("entries"));

    awaitTask(engine->removeFolder(id));
    EXPECT_FALSE(lookUp(id));
}

TEST_F(EngineFoldersIntegrationTest, ANewVersioningPolicyKeepsNoParameterOfTheOldOne)
{
    // Syncthing merges a patched parameter map into the old one, and its
    // simple versioning also honours "cleanoutDays": a trash can's cleanout
    // left behind would keep deleting the versions "keep 5" should keep.
    const SyncFolder folder = makeFolder("versions", VersioningPolicy::trashCan(7));
    awaitTask(engine->setVersioning(folder.id, VersioningPolicy::simple(5)));
    const QJsonObject config = a.get(QStringLiteral("/rest/config/folders/") + folder.id).json().object();
    const QJsonObject params = config.value("versioning").toObject().value("params").toObject();
    EXPECT_EQ(params.value("keep"), QJsonValue("5"));
    EXPECT_EQ(params.value("cleanoutDays").toString(QStringLiteral("0")).toInt(), 0)
        << QJsonDocument(params).toJson().toStdString();
}

TEST_F(EngineFoldersIntegrationTest, AnInvalidIgnorePatternFailsAndTheOldLinesStay)
{
    const SyncFolder folder = makeFolder("ignores");
    const QStringList good{QStringLiteral("*.tmp"), QStringLiteral("build/")};
    awaitTask(engine->updateIgnorePatterns(folder.id, good));
    ASSERT_EQ(awaitTask(engine->ignorePatterns(folder.id)), good);

    const std::optional<SyncEngineError> refused =
        failureOf(engine->updateIgnorePatterns(folder.id, {QStringLiteral("ok"), QStringLiteral("[x")}));
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->kind(), SyncEngineError::Kind::Backend);
    EXPECT_TRUE(refused->payload().contains(QStringLiteral("[x"))) << refused->payload().toStdString();
    EXPECT_EQ(awaitTask(engine->ignorePatterns(folder.id)), good);
    // The old lines start the folder again.
    EXPECT_TRUE(waitUntil([&] { return folderStatus(a, folder.id).value("state").toString() == "idle"; },
                          kSyncTimeoutMs))
        << QJsonDocument(folderStatus(a, folder.id)).toJson().toStdString();
}

TEST_F(EngineFoldersIntegrationTest, BrowseListsOneLevelUnderAPrefixAndDirectoriesHaveTheirTime)
{
    const SyncFolder folder = makeFolder("browse");
    writeFile(folder.path + "/photos/2024/a.jpg", "a");
    writeFile(folder.path + "/photos/2024/trip/b.jpg", "b");
    writeFile(folder.path + "/photos/c.jpg", "c");
    writeFile(folder.path + "/top.txt", "t");
    const qint64 known = 1700000000; // 2023-11-14T22:13:20Z
    setModified(folder.path + "/photos/2024/trip", known);
    awaitTask(engine->scanFolder(folder.id));
    ASSERT_TRUE(waitUntilIndexed(a, folder.id, 7));

    auto sorted = [](QList<BrowseEntry> entries) {
        std::sort(entries.begin(), entries.end(), [](const BrowseEntry &x, const BrowseEntry &y) { return x.name < y.name; });
        return entries;
    };
    EXPECT_EQ(sorted(awaitTask(engine->browse(folder.id, QStringLiteral("photos/2024")))),
              (QList<BrowseEntry>{{"a.jpg", false}, {"trip", true}}));
    EXPECT_EQ(sorted(awaitTask(engine->browse(folder.id, QString()))),
              (QList<BrowseEntry>{{"photos", true}, {"top.txt", false}}));

    EXPECT_EQ(awaitTask(engine->directoryModified(folder.id, QStringLiteral("photos/2024/trip"))), known);
    EXPECT_EQ(awaitTask(engine->directoryModified(folder.id, QStringLiteral("no/such/dir"))), std::nullopt);
}

TEST_F(EngineFoldersIntegrationTest, ARemoteChangeIsArchivedListedNewestFirstAndRestored)
{
    SyncthingInstance b(QStringLiteral("127.0.0.2"), QStringLiteral("B"));
    b.start();
    a.pairWith(b);

    const SyncFolder folder = makeFolder("shared", VersioningPolicy::trashCan(0));
    writeFile(folder.path + "/first.txt", "first v1");
    writeFile(folder.path + "/second.txt", "second v1");
    // Whichever time the trash can keeps, the version of second.txt is newer.
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    setModified(folder.path + "/first.txt", now - 200);
    setModified(folder.path + "/second.txt", now - 100);
    awaitTask(engine->shareFolder(folder.id, b.deviceID()));
    const QString onB = b.root() + QStringLiteral("/shared");
    QDir().mkpath(onB);
    const QJsonArray bothDevices{QJsonObject{{"deviceID", a.deviceID()}}, QJsonObject{{"deviceID", b.deviceID()}}};
    const QJsonObject folderOnB{{"id", folder.id}, {"path", onB}, {"type", "sendreceive"}, {"devices", bothDevices}};
    ASSERT_TRUE(b.put(QStringLiteral("/rest/config/folders/") + folder.id, QJsonDocument(folderOnB).toJson()).ok());
    ASSERT_TRUE(a.waitUntilConnected(b.deviceID()));
    awaitTask(engine->scanFolder(folder.id));
    // Both files fully arrived: a change on B while it still pulls would
    // make a conflict copy instead of a new version.
    ASSERT_TRUE(waitUntilIndexed(b, folder.id, 2));
    ASSERT_EQ(readFile(onB + "/first.txt"), "first v1");

    auto changeOnB = [&](const QString &name, const QByteArray &content) {
        writeFile(onB + "/" + name, content);
        b.scan(folder.id);
        return waitUntil([&] { return readFile(folder.path + "/" + name) == content; }, kSyncTimeoutMs);
    };
    ASSERT_TRUE(changeOnB("first.txt", "first v2"));
    // Version times have whole seconds; the second change must come later.
    runEventLoopFor(1100);
    ASSERT_TRUE(changeOnB("second.txt", "second v2"));

    const QList<ArchivedVersion> versions = awaitTask(engine->archivedVersions(folder.id));
    ASSERT_EQ(versions.size(), 2);
    EXPECT_EQ(versions[0].path, QStringLiteral("second.txt"));
    EXPECT_EQ(versions[1].path, QStringLiteral("first.txt"));
    EXPECT_GT(versions[0].versionTime, versions[1].versionTime);

    awaitTask(engine->restoreArchived(folder.id, versions[1].path, versions[1].versionTime));
    EXPECT_EQ(readFile(folder.path + "/first.txt"), "first v1");

    QMap<QString, QString> batch;
    batch.insert(versions[0].path, versions[0].versionTime);
    awaitTask(engine->restoreArchivedBatch(folder.id, batch));
    EXPECT_EQ(readFile(folder.path + "/second.txt"), "second v1");
}

TEST_F(EngineFoldersIntegrationTest, ARestoreOfAVersionAlreadyRestoredFailsAndKeepsTheLiveFile)
{
    // Syncthing archives the live file before it looks for the version.
    const QString path = folderPath("restores");
    for (const QString name : {"a", "b"}) {
        writeFile(path + "/" + name, "live");
        writeFile(path + "/.stversions/" + name + "~20240105-101112", "old");
    }
    const SyncFolder folder = makeFolder("restores", VersioningPolicy::simple(5));
    ASSERT_TRUE(waitUntilIndexed(a, folder.id, 2));
    const QString time = awaitTask(engine->archivedVersions(folder.id)).value(0).versionTime;

    awaitTask(engine->restoreArchived(folder.id, "a", time));
    EXPECT_TRUE(failureOf(engine->restoreArchived(folder.id, "a", time)));
    QCoro::Task<void> first = engine->restoreArchivedBatch(folder.id, {{"b", time}, {"missing", time}});
    QCoro::Task<void> second = engine->restoreArchived(folder.id, "b", time);
    EXPECT_EQ(failureOf(std::move(first)).value().payload(), "Could not restore missing: version not found");
    // Our own text: the second waited for the first and found the version gone.
    EXPECT_EQ(failureOf(std::move(second)).value().payload(), "Could not restore b: version not found");
    EXPECT_EQ(readFile(path + "/a") + readFile(path + "/b"), "oldold");
}

} // namespace
} // namespace tw
