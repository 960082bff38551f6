// Two computers on real Syncthing, their folders syncing extended attributes
// as the application sets them up, each following its Syncthing's events and
// putting back the times of the directories Syncthing updates. Once a folder
// with subfolders has been placed on the second and the times have come back
// to the first, the two left alone send each other nothing. Directories made
// on one keep the times they were given there, on both.

#include "controllers/DirectoryTimeKeeper.h"
#include "controllers/EventController.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "engine/syncthing/rest/STXattrFilter.h"

#include "AwaitTask.h"
#include "SyncthingInstance.h"
#include "WaitUntil.h"

#include "controllers/DirectoryTimes.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTimeZone>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iostream>
#include <optional>
#include <sys/stat.h>

namespace tw {
namespace {

const QString folderID = QStringLiteral("tdw-d17e5001");
const QStringList directories{"Footage", "Footage/Day1", "Footage/Day2", "Notes"};
const QStringList files{"Footage/Day1/clip.mov", "Footage/Day2/clip.mov", "Notes/todo.txt"};
// The events by which Syncthing tells it found a change here and sent it.
const QString changeEvents = QStringLiteral("/rest/events?events=LocalChangeDetected,LocalIndexUpdated&timeout=0");
const qint64 y2020 = QDateTime(QDate(2020, 3, 1), QTime(9, 0), Qt::UTC).toSecsSinceEpoch();

// One computer: an engine on its Syncthing, its event controller and the
// keeper of its directory times, installed as the application installs them.
struct Computer
{
    explicit Computer(SyncthingInstance &instance, QString folder = folderID, QStringList dirs = directories)
        : syncthing(instance), engine(instance.startedEngine()), events(*engine), id(std::move(folder)),
          watched(std::move(dirs)), keeper(*engine, events, instance.root() + QStringLiteral("/records"))
    {
        keeper.setFolderLookup([this](const QString &folder) -> std::optional<DirectoryTimeKeeper::Folder> {
            if (folder != id)
                return std::nullopt;
            return DirectoryTimeKeeper::Folder{.root = path(), .carries = carries};
        });
        keeper.setOwnDeviceLookup([this] { return syncthing.deviceID(); });
        QObject::connect(&keeper, &DirectoryTimeKeeper::passEnded, [this] { ++restores; keepTimes(); });
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

    QList<qint64> modificationTimes() const { return timesOf(watched); }
    QList<qint64> timesOf(const QStringList &dirs) const
    {
        QList<qint64> times;
        for (const QString &directory : dirs)
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
    DirectoryTimeKeeper keeper;
    bool carries = true;  // the folder syncs extended attributes
    int restores = 0;
    bool pulling = false;
    QList<qint64> times;  // each watched directory's time where it was made
    QSet<QString> reached;
    QStringList strayTimes;
};

QJsonObject syncingExtendedAttributes(bool on = true)
{
    QJsonObject synced = STXattrFilter::syncedXattrsJSON();
    synced.insert("sendXattrs", on);
    synced.insert("syncXattrs", on);
    return synced;
}

// Whether receiver comes to hold all sender has sent of the folder, and to
// have pulled it.
bool tookIn(SyncthingInstance &receiver, SyncthingInstance &sender, const QString &folder, int items)
{
    return waitUntil([&] {
        const QJsonValue sent = sender.get("/rest/db/status?folder=" + folder).json().object().value("sequence");
        const QJsonValue held = receiver.get("/rest/db/completion?folder=" + folder + "&device=" + sender.deviceID())
                                    .json().object().value("sequence");
        return sent.toInteger(-1) == held.toInteger(-2);
    }, 60000) && receiver.waitUntilIndexed(folder, items);
}

void setModified(const QString &path, qint64 seconds)
{
    const struct timespec set[2] = {{0, UTIME_OMIT}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), set, AT_SYMLINK_NOFOLLOW), 0);
}

// A tree of directories with files in each, the directories dated as given.
void makeTree(const QString &root, const QStringList &dirs, const QList<qint64> &times)
{
    for (const QString &dir : dirs)
        SyncthingInstance::writeFile(root + '/' + dir + "/file.txt", dir.toUtf8());
    for (qsizetype i = dirs.size() - 1; i >= 0; --i)
        setModified(root + '/' + dirs[i], times[i]);
}

std::string timesText(const QList<qint64> &times)
{
    QStringList text;
    for (qint64 time : times)
        text.append(QDateTime::fromSecsSinceEpoch(time).toUTC().toString(Qt::ISODate));
    return text.join(' ').toStdString();
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
    qint64 seenOnA = 0, seenOnB = 0;
    a.changesSince(seenOnA);
    b.changesSince(seenOnB);
    for (const QString &file : files)
        SyncthingInstance::writeFile(a.pathOf(file), file.toUtf8());
    QList<qint64> times;
    for (const QString &directory : directories) {
        times.append(1'400'000'000 + 86'400 * times.size());
        setModified(a.pathOf(directory), times.last());
    }
    a.times = b.times = times;
    a.keepTimes();
    const QStringList both{first->deviceID(), second->deviceID()};
    const QJsonObject synced = syncingExtendedAttributes();
    const int items = int(directories.size() + files.size());
    first->putFolder(folderID, both, synced);
    ASSERT_TRUE(first->waitUntilIndexed(folderID, items));

    // B makes the directories now and puts A's times back.
    second->putFolder(folderID, both, synced);
    ASSERT_TRUE(second->waitUntilIndexed(folderID, items));
    ASSERT_TRUE(waitUntil([&] { return b.modificationTimes() == times; }, 60000));
    // Those writes changed B's directories: B sends them, and A takes them in
    // (its puller moves their inodes, which A sends once more, and B takes).
    ASSERT_TRUE(b.scan());
    ASSERT_TRUE(tookIn(*first, *second, folderID, items));
    ASSERT_TRUE(a.scan());
    ASSERT_TRUE(tookIn(*second, *first, folderID, items));
    ASSERT_TRUE(b.scan());
    ASSERT_TRUE(tookIn(*first, *second, folderID, items));
    const QList<std::pair<qint64, qint64>> changedOnA = a.changeTimes();
    const QList<std::pair<qint64, qint64>> changedOnB = b.changeTimes();
    a.changesSince(seenOnA);
    b.changesSince(seenOnB);

    // Left alone, neither finds anything to send, however often it looks.
    for (int round = 0; round < 2; ++round)
        ASSERT_TRUE(a.scan() && b.scan());
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
    for (const char *item : {"Archive2020/Sub/clip.mov", "Archive2020/clip.mov", "Archive2020/Sub", "Archive2020"})
        setModified(outside + item, year2020);
    qint64 seenOnA = 0, seenOnB = 0;
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
    // The times each computer's directories carry, to tell which one wrote a moment of its own.
    const auto carriedOn = [&](Computer &c) { return QString::number(DirectoryTimes::carried(c.path(), archive[0]).value_or(-1))
                                                     + ' ' + QString::number(DirectoryTimes::carried(c.path(), archive[1]).value_or(-1)); };
    // A scan may send the tree before A's stamp is on it: B then takes A's
    // times moments later, with the stamped version.
    const QList<qint64> madeOnA{year2020, year2020};
    const bool stampCameFirst = b.modificationTimes() == madeOnA;
    EXPECT_TRUE(waitUntil([&] { return b.modificationTimes() == madeOnA; }, 10000))
        << "carried on A: " << carriedOn(a).toStdString() << ", on B: " << carriedOn(b).toStdString();

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
    // A announces the tree it found and once more with the times it carries
    // (and, where B's copy came first, once more after putting them back);
    // B, which Syncthing has send each directory it makes and fills, at most
    // once more each after the restore.
    EXPECT_LE(dirs(a.changesSince(seenOnA)), (stampCameFirst ? 2 : 3) * archive.size());
    EXPECT_LE(dirs(b.changesSince(seenOnB)), 2 * archive.size());

    // A directory pulled without a new time waits a moment for its sender's
    // before taking the one it carries: scans go on until a round ends no
    // pass. From then on B has nothing of them to send, however often it looks.
    for (int round = 0, passes = -1; passes != a.restores + b.restores && round < 10; ++round) {
        passes = a.restores + b.restores;
        ASSERT_TRUE(b.scan() && a.scan());
        ASSERT_TRUE(tookIn(*first, *second, archiveID, 4) && tookIn(*second, *first, archiveID, 4));
    }
    a.changesSince(seenOnA);
    b.changesSince(seenOnB);
    for (int round = 0; round < 2; ++round)
        ASSERT_TRUE(b.scan() && a.scan());
    EXPECT_EQ(b.changesSince(seenOnB), QStringList());
    EXPECT_EQ(a.changesSince(seenOnA), QStringList());
}

// The maker's times where metadata syncs, in each condition: ticked when the
// sync was made, placed later (as by an invite), a third computer joining
// later, the maker restarted while the record holds a teammate's moment, a
// tree moved in with mv, a receiver that quit between its pull and its
// restore, and a file saved into a directory on either computer, whose time
// moves on and reaches the others. The maker keeps its times at every sample.
TEST_F(DirectoryTimesIntegrationTest, TheMakersTimesHoldOnEveryComputerWhereMetadataSyncs)
{
    const QString id = QStringLiteral("tdw-d17e5003");
    const QStringList tree{"Day1", "Day1/Sub", "Day2"};
    const QList<qint64> made{y2020, y2020 + 3600, y2020 + 7200};
    SyncthingInstance thirdInstance(QStringLiteral("127.0.0.3"), QStringLiteral("C"));
    thirdInstance.start();
    thirdInstance.pairWith(*first);
    ASSERT_TRUE(thirdInstance.waitUntilConnected(first->deviceID()));
    const QStringList all{first->deviceID(), second->deviceID(), thirdInstance.deviceID()};
    const int items = 2 * int(tree.size());

    std::optional<Computer> a(std::in_place, *first, id, tree);
    makeTree(a->path(), tree, made);
    a->times = made;
    a->keepTimes();
    // Ticked when the sync was made: the first scan stamps the whole tree.
    first->putFolder(id, all, syncingExtendedAttributes());
    ASSERT_TRUE(waitUntil([&] {
        for (qsizetype i = 0; i < tree.size(); ++i)
            if (DirectoryTimes::carried(a->path(), tree[i]) != made[i])
                return false;
        return true;
    }, 60000));
    ASSERT_TRUE(first->waitUntilIndexed(id, items));

    // Placed later, by the second and then by a third computer.
    const auto place = [&](SyncthingInstance &instance, std::optional<Computer> &computer) {
        computer.emplace(instance, id, tree);
        computer->times = made;
        QElapsedTimer placed;
        placed.start();
        instance.putFolder(id, all, syncingExtendedAttributes());
        EXPECT_TRUE(waitUntil([&] { return computer->modificationTimes() == made; }, 60000));
        std::cout << instance.name().toStdString() << " shows the maker's times " << placed.elapsed()
                  << " ms after placing" << std::endl;
    };
    std::optional<Computer> b, c;
    place(*second, b);
    place(thirdInstance, c);
    for (SyncthingInstance *instance : {first.get(), second.get(), &thirdInstance})
        ASSERT_TRUE(instance->waitUntilIndexed(id, items));
    // The receivers send what Syncthing made and filled once, with their own
    // moments: the record holds a teammate's moment, never the attribute.
    ASSERT_TRUE(b->scan() && c->scan());
    ASSERT_TRUE(first->waitUntilIndexed(id, items));
    const QHash<QString, qint64> record = awaitTask(a->engine->directoryTimes(id));
    std::cout << "A's record after the receivers' scans: " << timesText({record.value(tree[0]), record.value(tree[1]),
                                                                          record.value(tree[2])}) << std::endl;

    // The maker restarted: it decides from what it recorded, its times stay.
    const QStringList strayOnA = a->strayTimes;
    a.emplace(*first, id, tree);
    a->times = made;
    a->keepTimes();
    a->strayTimes += strayOnA;
    ASSERT_TRUE(waitUntil([&] { return a->restores > 0; }, 60000));
    ASSERT_TRUE(a->scan());
    EXPECT_EQ(a->modificationTimes(), made) << timesText(a->modificationTimes());

    // A tree moved in with mv; the second computer quits after its pull
    // listed the directories and before it put their times back.
    const QString outside = first->root() + "/outside";
    const QStringList moved{"Moved", "Moved/Inner"};
    const QList<qint64> movedTimes{y2020 - 86'400, y2020 - 2 * 86'400};
    makeTree(outside, moved, movedTimes);
    ASSERT_EQ(::rename(QFile::encodeName(outside + "/Moved").constData(), QFile::encodeName(a->pathOf("Moved")).constData()), 0);
    ASSERT_TRUE(a->scan());
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(b->pathOf("Moved/Inner/file.txt")); }, 60000));
    b.reset();
    std::optional<Computer> laterB(std::in_place, *second, id, tree);
    ASSERT_TRUE(second->waitUntilIndexed(id, items + 4));
    for (Computer *computer : {&*a, &*laterB, &*c})
        EXPECT_TRUE(waitUntil([&] { return computer->timesOf(moved) == movedTimes; }, 60000))
            << computer->syncthing.name().toStdString() << ' ' << timesText(computer->timesOf(moved));
    EXPECT_EQ(a->strayTimes + c->strayTimes, QStringList());
    EXPECT_EQ(a->modificationTimes(), made);

    // A file saved into a directory, on the second computer and then on the
    // maker: the directory's new time reaches the others.
    const auto saveInto = [&](Computer &saver, const QString &dir) {
        SyncthingInstance::writeFile(saver.pathOf(dir + "/saved.txt"), "saved");
        const qint64 saved = QFileInfo(saver.pathOf(dir)).lastModified().toSecsSinceEpoch();
        EXPECT_GT(saved, y2020);
        ASSERT_TRUE(saver.scan());
        for (Computer *computer : {&*a, &*laterB, &*c})
            EXPECT_TRUE(waitUntil([&] { return computer->timesOf({dir}) == QList<qint64>{saved}; }, 60000))
                << computer->syncthing.name().toStdString() << ' ' << dir.toStdString() << ' '
                << timesText(computer->timesOf({dir}));
    };
    saveInto(*laterB, "Day2");
    saveInto(*a, "Day1/Sub");
    for (SyncthingInstance *instance : {first.get(), second.get(), &thirdInstance})
        ASSERT_TRUE(instance->waitUntilIndexed(id, items + 6));
    EXPECT_EQ(a->timesOf({"Day1"}), QList<qint64>{made[0]});

    // Each takes in what the other sent (a puller moves the inodes of the
    // directories it updates, which each sends once more); left alone then,
    // none of them finds anything to send, however often it looks.
    QList<qint64> seen(3, 0);
    QList<Computer *> computers{&*a, &*laterB, &*c};
    for (int round = 0; round < 2; ++round)
        for (Computer *sender : computers) {
            ASSERT_TRUE(sender->scan());
            for (Computer *receiver : computers)
                if ((receiver == &*a) != (sender == &*a)) {  // B and C meet only through A
                    ASSERT_TRUE(tookIn(receiver->syncthing, sender->syncthing, id, items + 6));
                }
        }
    for (qsizetype i = 0; i < computers.size(); ++i)
        computers[i]->changesSince(seen[i]);
    for (int round = 0; round < 2; ++round)
        for (Computer *computer : computers)
            ASSERT_TRUE(computer->scan());
    for (qsizetype i = 0; i < computers.size(); ++i)
        EXPECT_EQ(computers[i]->changesSince(seen[i]), QStringList()) << i;
    a.reset();
    laterB.reset();
    c.reset();
}

// Where metadata does not sync, the record holds the maker's time of a
// directory when first sent and never moves on: a directory the pull made
// takes it, and a file saved later moves the directory's time on each
// computer, which nothing takes back.
TEST_F(DirectoryTimesIntegrationTest, WithoutSyncedMetadataMadeDirectoriesTakeTheMakersTimeAndSavesMoveThemOn)
{
    const QString id = QStringLiteral("tdw-d17e5004");
    const QStringList tree{"Day1", "Day1/Sub"};
    const QList<qint64> made{y2020, y2020 + 3600};
    Computer a(*first, id, tree);
    Computer b(*second, id, tree);
    a.carries = b.carries = false;
    makeTree(a.path(), tree, made);
    const QStringList both{first->deviceID(), second->deviceID()};
    first->putFolder(id, both, syncingExtendedAttributes(false));
    ASSERT_TRUE(first->waitUntilIndexed(id, 4));
    second->putFolder(id, both, syncingExtendedAttributes(false));
    ASSERT_TRUE(waitUntil([&] { return b.modificationTimes() == made; }, 60000)) << timesText(b.modificationTimes());

    SyncthingInstance::writeFile(a.pathOf("Day1/saved.txt"), "saved");
    const qint64 saved = QFileInfo(a.pathOf("Day1")).lastModified().toSecsSinceEpoch();
    ASSERT_TRUE(a.scan());
    ASSERT_TRUE(second->waitUntilIndexed(id, 5));
    ASSERT_TRUE(waitUntil([&] { return b.restores > 1; }, 60000));
    ASSERT_TRUE(a.scan() && b.scan());
    EXPECT_EQ(a.modificationTimes(), QList<qint64>({saved, made[1]}));
    EXPECT_GE(b.modificationTimes().value(0), saved);
    EXPECT_EQ(b.modificationTimes().value(1), made[1]);
}

} // namespace
} // namespace tw
