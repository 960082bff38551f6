// Two computers on real Syncthing, their folders syncing extended attributes
// as the application sets them up, each following its Syncthing's events and
// putting back the times of the directories Syncthing updates. Once a folder
// with subfolders has been placed on the second and the times have come back
// to the first, the two left alone send each other nothing. Directories made
// on one keep the times they were given there, on both.

#include "controllers/EventController.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "engine/syncthing/rest/STXattrFilter.h"

#include "AwaitTask.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tw {
namespace {

const QString folderID = QStringLiteral("tdw-d17e5001");
const QStringList directories{"Footage", "Footage/Day1", "Footage/Day2", "Notes"};
const QStringList files{"Footage/Day1/clip.mov", "Footage/Day2/clip.mov", "Notes/todo.txt"};
// The events by which Syncthing tells it found a change here and sent it.
const QString changeEvents = QStringLiteral("/rest/events?events=LocalChangeDetected,LocalIndexUpdated&timeout=0");

// One computer: an engine on its Syncthing and the event controller that puts
// directory times back, installed as the application installs it.
struct Computer
{
    explicit Computer(SyncthingInstance &instance, QString folder = folderID, QStringList dirs = directories)
        : syncthing(instance), engine(instance.startedEngine()), events(*engine), id(std::move(folder)),
          watched(std::move(dirs))
    {
        events.setFolderMode([this](const QString &folder) {
            return folder == id ? std::optional(FolderSyncMode::SendReceive) : std::nullopt;
        });
        events.setFolderPath([this](const QString &folder) { return folder == id ? std::optional(path()) : std::nullopt; });
        QObject::connect(&events, &EventController::directoryTimesRestored, [this] { ++restores; keepTimes(); });
        QObject::connect(&events, &EventController::folderStateArrived, [this](const QString &, FolderState, FolderState to) {
            pulling |= to == FolderState::Syncing;
            keepTimes();
        });
        events.start();
    }
    ~Computer() { events.stop(); }

    QString path() const { return syncthing.root() + QStringLiteral("/folders/") + id; }
    QString pathOf(const QString &relative) const { return path() + '/' + relative; }

    // The folder's change events after the one numbered since; the last
    // event's number goes into since. The first call starts Syncthing's
    // recording of these events.
    QStringList changesSince(qint64 &since)
    {
        QStringList found;
        const QJsonArray list = syncthing.get(changeEvents + QStringLiteral("&since=%1").arg(since)).json().array();
        for (const QJsonValue &value : list) {
            const QJsonObject event = value.toObject();
            since = std::max(since, event.value("id").toInteger());
            if (event.value("data").toObject().value("folder").toString() == id)
                found.append(event.value("type").toString() + ' '
                             + QJsonDocument(event.value("data").toObject()).toJson(QJsonDocument::Compact));
        }
        return found;
    }

    // Returns once Syncthing has scanned the whole folder.
    bool scan() { return syncthing.request("POST", "/rest/db/scan?folder=" + id, {}, syncthing.apiKey()).ok(); }

    QList<std::pair<qint64, qint64>> changeTimes() const
    {
        QList<std::pair<qint64, qint64>> times;
        for (const QString &directory : watched) {
            struct statx info {};
            ::statx(AT_FDCWD, QFile::encodeName(pathOf(directory)).constData(), AT_SYMLINK_NOFOLLOW, STATX_CTIME,
                    &info);
            times.append({info.stx_ctime.tv_sec, info.stx_ctime.tv_nsec});
        }
        return times;
    }

    QList<qint64> modificationTimes() const
    {
        QList<qint64> times;
        for (const QString &directory : watched)
            times.append(QFileInfo(pathOf(directory)).lastModified().toSecsSinceEpoch());
        return times;
    }

    // Sampled on each event: a directory that has had its time keeps it.
    void keepTimes()
    {
        const QList<qint64> now = modificationTimes();
        for (qsizetype i = 0; i < watched.size(); ++i)
            if (now[i] == times.value(i, -1) ? (reached.insert(watched[i]), false) : reached.contains(watched[i]))
                strayTimes.append(watched[i] + ' ' + QString::number(now[i]));
    }

    SyncthingInstance &syncthing;
    std::unique_ptr<SyncthingEngine> engine;
    EventController events;
    const QString id;
    const QStringList watched;
    int restores = 0;
    bool pulling = false;
    QList<qint64> times;  // each watched directory's time where it was made
    QSet<QString> reached;
    QStringList strayTimes;
};

QJsonObject syncingExtendedAttributes()
{
    QJsonObject synced = STXattrFilter::syncedXattrsJSON();
    synced.insert("sendXattrs", true);
    synced.insert("syncXattrs", true);
    return synced;
}

class DirectoryTimesIntegrationTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        first = std::make_unique<SyncthingInstance>(QStringLiteral("127.0.0.1"), QStringLiteral("A"));
        second = std::make_unique<SyncthingInstance>(QStringLiteral("127.0.0.2"), QStringLiteral("B"));
        first->start();
        second->start();
        first->pairWith(*second);
        ASSERT_TRUE(first->waitUntilConnected(second->deviceID()));
    }

    static void TearDownTestSuite()
    {
        second.reset();
        first.reset();
    }

    static inline std::unique_ptr<SyncthingInstance> first;
    static inline std::unique_ptr<SyncthingInstance> second;
};

TEST_F(DirectoryTimesIntegrationTest, TwoComputersLeftAloneAfterPlacingAFolderWithSubfoldersSendNothing)
{
    Computer a(*first);
    Computer b(*second);
    qint64 seenOnA = 0;
    qint64 seenOnB = 0;
    a.changesSince(seenOnA);
    b.changesSince(seenOnB);
    for (const QString &file : files)
        SyncthingInstance::writeFile(a.pathOf(file), file.toUtf8());
    QList<qint64> times;
    for (const QString &directory : directories) {
        times.append(1'400'000'000 + 86'400 * times.size());
        const struct timespec set[2] = {{0, UTIME_OMIT}, {times.last(), 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(a.pathOf(directory)).constData(), set, 0), 0);
    }
    a.times = b.times = times;
    a.keepTimes();
    const QStringList both{first->deviceID(), second->deviceID()};
    const QJsonObject synced = syncingExtendedAttributes();
    first->putFolder(folderID, both, synced);
    ASSERT_TRUE(first->waitUntilIndexed(folderID, int(directories.size() + files.size())));

    // B makes the directories now and puts A's times back.
    second->putFolder(folderID, both, synced);
    ASSERT_TRUE(second->waitUntilIndexed(folderID, int(directories.size() + files.size())));
    ASSERT_TRUE(waitUntil([&] {
        for (qsizetype i = 0; i < directories.size(); ++i)
            if (QFileInfo(b.pathOf(directories[i])).lastModified().toSecsSinceEpoch() != times[i])
                return false;
        return true;
    }, 60000));
    // Those writes changed B's directories: B sends them, and A, taking them
    // in, has its times put back too.
    ASSERT_TRUE(b.scan());
    ASSERT_TRUE(waitUntil([&] { return a.restores > 0; }, 60000));
    ASSERT_TRUE(first->waitUntilIndexed(folderID, int(directories.size() + files.size())));
    const QList<std::pair<qint64, qint64>> changedOnA = a.changeTimes();
    const QList<std::pair<qint64, qint64>> changedOnB = b.changeTimes();
    a.changesSince(seenOnA);
    b.changesSince(seenOnB);

    // Left alone, neither finds anything to send, however often it looks.
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(a.scan());
        ASSERT_TRUE(b.scan());
    }
    EXPECT_EQ(a.changesSince(seenOnA), QStringList());
    EXPECT_EQ(b.changesSince(seenOnB), QStringList());
    EXPECT_EQ(a.changeTimes(), changedOnA);
    EXPECT_EQ(b.changeTimes(), changedOnB);
    EXPECT_EQ(a.strayTimes + b.strayTimes, QStringList());
}

// As between computers in separate networks: the files of new directories
// arrive seconds after the directories were made, and Syncthing, which sets no
// directory's time, leaves each with the time its last file landed.
TEST_F(DirectoryTimesIntegrationTest, DirectoriesMadeOnOneComputerKeepTheirTimesOnBothOnceTheOtherHasThem)
{
    const QString archiveID = QStringLiteral("tdw-d17e5002");
    const QStringList archive{"Archive2020", "Archive2020/Sub"};
    Computer a(*first, archiveID, archive);
    Computer b(*second, archiveID, archive);
    const QStringList both{first->deviceID(), second->deviceID()};
    first->putFolder(archiveID, both, syncingExtendedAttributes());
    second->putFolder(archiveID, both, syncingExtendedAttributes());
    ASSERT_TRUE(first->waitUntilIndexed(archiveID, 0));
    ASSERT_TRUE(second->waitUntilIndexed(archiveID, 0));
    // Past Syncthing's first 512 KiB, which go at once.
    const QByteArray options = "{\"limitBandwidthInLan\": true, \"maxSendKbps\": 400}";
    ASSERT_TRUE(first->request("PATCH", "/rest/config/options", options, first->apiKey()).ok());

    const qint64 year2020 = QDateTime(QDate(2020, 1, 1), QTime(10, 0)).toSecsSinceEpoch();
    a.times = b.times = {year2020, year2020};
    // Made outside the folder and moved in whole, as a tree from elsewhere is.
    const QString outside = first->root() + "/outside/";
    for (const QString &directory : archive)
        SyncthingInstance::writeFile(outside + directory + "/clip.mov", QByteArray(1 << 20, directory.size() % 64 + 'A'));
    for (const char *item : {"Archive2020/Sub/clip.mov", "Archive2020/clip.mov", "Archive2020/Sub", "Archive2020"}) {
        const struct timespec set[2] = {{0, UTIME_OMIT}, {year2020, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(outside + item).constData(), set, 0), 0);
    }
    qint64 seenOnA = 0;
    qint64 seenOnB = 0;
    a.changesSince(seenOnA);
    b.changesSince(seenOnB);
    b.pulling = false;
    ASSERT_EQ(::rename(QFile::encodeName(outside + "Archive2020").constData(),
                       QFile::encodeName(a.pathOf("Archive2020")).constData()), 0);
    a.keepTimes();
    ASSERT_TRUE(a.scan());
    // A scan asked for while B pulls runs as the pull ends, before B puts the
    // times back: Syncthing sends the directories it made with B's times.
    ASSERT_TRUE(waitUntil([&] { return b.pulling; }, 60000));
    ASSERT_TRUE(b.scan());
    ASSERT_TRUE(waitUntil([&] { return a.restores > 0 && b.restores > 0; }, 60000));
    EXPECT_EQ(b.modificationTimes(), QList<qint64>({year2020, year2020}));

    // Putting them back moved them again: B sends them once more, with A's times.
    ASSERT_TRUE(first->request("PATCH", "/rest/config/options", "{\"limitBandwidthInLan\": false, \"maxSendKbps\": 0}",
                               first->apiKey()).ok());
    ASSERT_TRUE(b.scan());
    const QHash<QString, qint64> made{{archive[0], year2020}, {archive[1], year2020}};
    for (Computer *computer : {&a, &b})
        EXPECT_TRUE(waitUntil([&] { return awaitTask(computer->engine->directoryTimes(archiveID)) == made; }, 60000));
    ASSERT_TRUE(first->waitUntilIndexed(archiveID, 4));
    EXPECT_EQ(a.strayTimes + b.strayTimes, QStringList());
    const auto dirs = [](const QStringList &changes) { return changes.filter("\"type\":\"dir\"").size(); };
    // A announces only the tree it made; B, which Syncthing has send each
    // directory it makes and fills, at most once more each after the restore.
    EXPECT_EQ(dirs(a.changesSince(seenOnA)), archive.size());
    EXPECT_LE(dirs(b.changesSince(seenOnB)), 2 * archive.size());

    // From then on B has nothing of them to send, however often it looks.
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(b.scan());
        ASSERT_TRUE(a.scan());
    }
    EXPECT_EQ(b.changesSince(seenOnB), QStringList());
    EXPECT_EQ(a.changesSince(seenOnA), QStringList());
}

} // namespace
} // namespace tw
