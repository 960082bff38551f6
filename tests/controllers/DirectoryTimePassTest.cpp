#include "controllers/DirectoryTimePass.h"
#include "controllers/DirectoryTimes.h"
#include "creationdates/FileDates.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <ranges>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace tw {
namespace {

const QString self = QStringLiteral("SELFSID");
const qint64 teammates = 1'400'000'000, own = 1'500'000'000, later = 1'600'000'000;

struct Dir
{
    const char *path;
    qint64 modified;
    std::optional<qint64> carried = {};
    std::optional<DirectoryTimeRecord::Entry> seen = {};
};

void makeDirectory(const QString &root, const Dir &dir)
{
    const QByteArray name = QFile::encodeName(root + '/' + dir.path);
    ASSERT_TRUE(QDir().mkpath(root + '/' + dir.path));
    if (dir.carried) {
        const QByteArray text = QByteArray::number(*dir.carried);
        ASSERT_EQ(::setxattr(name.constData(), FileDates::modifiedAttributeName, text.constData(), text.size(), 0), 0);
    }
    const struct timespec times[2] = {{0, UTIME_OMIT}, {dir.modified, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, name.constData(), times, 0), 0);
}

// What a directory shows after the pass: its time and the time it carries.
using Shown = std::pair<qint64, std::optional<qint64>>;

DirectoryNews changed(const char *directory, const char *item, bool deleted = false)
{
    DirectoryNews news;
    news.changedHere[directory].append({item, deleted, std::nullopt});
    return news;
}

DirectoryNews with(QSet<QString> DirectoryNews::*set, QSet<QString> paths)
{
    DirectoryNews news;
    news.*set = std::move(paths);
    return news;
}

DirectoryNews found(const QString &path)
{
    DirectoryNews news;
    news.noteLocalChange(path, true, false, std::nullopt);
    return news;
}

DirectoryNews pulledNow(const QString &path)
{
    DirectoryNews news;
    news.notePull(path, true, false, QDateTime::currentMSecsSinceEpoch());
    return news;
}

DirectoryNews placed(const QStringList &files)
{
    DirectoryNews news;
    for (const QString &file : files) {
        news.notePull(file, false, false);
        news.notePlaced(file, 0);
    }
    return news;
}

void makeFile(const QString &path, qint64 modified)
{
    ASSERT_TRUE(QFile(path).open(QIODevice::WriteOnly));
    const struct timespec times[2] = {{0, UTIME_OMIT}, {modified, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

DirectoryNews pulledThenFound(const QString &path)
{
    DirectoryNews news;
    news.notePull(path, true, false);
    news.noteLocalChange(path, true, false, std::nullopt);
    return news;
}

// Each rule of a directory's time, on one directory (and its parent), with
// the record and the news a pass would have.
TEST(DirectoryTimePassTest, EachDirectoryTakesTheTimeItsContentWasLastGiven)
{
    const ItemOrigin madeHere{{self}, self, self, own}, teammatesOwn{{"TEAMMAT", self}, "TEAMMAT", "TEAMMAT", teammates},
        echoed{{self, "TEAMMAT"}, self, "TEAMMAT", later}, tied{{self, "TEAMMAT"}, {}, "TEAMMAT", teammates},
        landedElsewhere{{"TEAMMAT", "RECEIVE"}, "TEAMMAT", "RECEIVE", later};
    // A version given its time by a computer that carries times shows it too.
    const auto carrying = [&](qint64 time, std::optional<qint64> shows = {}) {
        ItemOrigin origin = landedElsewhere;
        origin.modified = shows.value_or(time);
        origin.attributes.insert(FileDates::modifiedAttributeName, QByteArray::number(time));
        return origin;
    };
    DirectoryNews bothPulledNow = pulledNow("D");
    bothPulledNow.merge(pulledNow("E"));
    DirectoryNews indexRead = pulledNow("D");
    indexRead.merge(with(&DirectoryNews::pulled, {"E", "F"}));
    indexRead.merge(placed({"G/saved.txt"}));
    indexRead.merge(pulledNow("H"));
    indexRead.merge(found("H"));
    indexRead.merge(with(&DirectoryNews::pulled, {"K"}));
    const struct Row
    {
        const char *name;
        QList<Dir> dirs;
        DirectoryNews news;
        QHash<QString, ItemOrigin> origins;
        bool carries, wholeTree, afterStart;
        QHash<QString, Shown> shown;
        QStringList written;
        QSet<QString> asked;
        QHash<QString, qint64> files = {};  // made with these times before their directories
        QHash<QString, qint64> recorded = {};  // the time the record holds as carried
    } rows[] = {
        {"a teammate's time, new here, is taken", {{"D", own, teammates}}, {}, {}, true, true, false,
         {{"D", {teammates, teammates}}}, {}, {}},
        {"a pull moved a directory whose time was seen", {{"D", own, teammates, {{teammates, later}}}},
         with(&DirectoryNews::pulled, {"D"}), {}, true, false, false, {{"D", {teammates, teammates}}}, {}, {}},
        {"a pull that just moved it waits for the new time its sender may send next",
         {{"D", own, teammates, {{teammates, 0}}}}, pulledNow("D"), {}, true, false, false,
         {{"D", {own, teammates}}}, {}, {}},
        {"a teammate's version that had not seen the stamp made here brings back what it replaced: stamped again",
         {{"D", own, teammates, {{later, 0, teammates}}}}, with(&DirectoryNews::pulled, {"D"}), {}, true, false, false,
         {{"D", {later, later}}}, {"D"}, {}},
        {"a change here moves it on and carries it", {{"D", own, teammates, {{teammates, 0}}}},
         changed("D", "D/new.mov"), {}, true, false, false, {{"D", {own, own}}}, {"D"}, {}},
        {"a save where no time ever came (a drive or teammate without them) is carried from here",
         {{"D", own, {}, {{{}, 0}}}}, changed("D", "D/new.mov"), {}, true, false, false, {{"D", {own, own}}}, {"D"}, {}},
        {"a change here where times do not travel writes nothing", {{"D", own, {}, {{{}, 0}}}},
         changed("D", "D/new.mov"), {}, false, false, false, {{"D", {own, {}}}}, {}, {}},
        {"a time that moved with nothing told stays", {{"D", own, teammates, {{teammates, 0}}}}, {}, {}, true,
         true, false, {{"D", {own, teammates}}}, {}, {}},
        {"after a start, once the scan told all, it was a pull's", {{"D", own, teammates, {{teammates, 0}}}}, {},
         {}, true, true, true, {{"D", {teammates, teammates}}}, {}, {}},
        {"a time a teammate's version took away is carried again", {{"D", own, {}, {{own, 0}}}}, {}, {}, true,
         true, false, {{"D", {own, own}}}, {"D"}, {}},
        {"carrying none and unknown, the engine is asked", {{"D", own}}, {}, {}, true, true, false,
         {{"D", {own, {}}}}, {}, {"D"}},
        {"made here: it and the directory it was made in carry their own",
         {{"P", later, own, {{own, 0}}}, {"P/D", own}}, with(&DirectoryNews::reported, {"P/D"}),
         {{"P/D", madeHere}}, true, false, false, {{"P", {later, later}}, {"P/D", {own, own}}}, {"P", "P/D"}, {}},
        {"changed here first, it is made here though a teammate's version came since", {{"D", own}},
         with(&DirectoryNews::reported, {"D"}), {{"D", echoed}}, true, false, false, {{"D", {own, own}}}, {"D"}, {}},
        {"changed in the same second on both, the one found here before any pull is made here", {{"D", own}},
         found("D"), {{"D", tied}}, true, false, false, {{"D", {own, own}}}, {"D"}, {}},
        {"made by a pull before the scanner found it, it is a teammate's though the maker changed it since",
         {{"P", later, {}, {{{}, 0}}}, {"P/D", own, teammates}}, pulledThenFound("P/D"), {{"P/D", echoed}}, true,
         false, false, {{"P", {later, {}}}, {"P/D", {teammates, teammates}}}, {}, {}},
        {"changed in the same second on both, one a pull told of first is a teammate's", {{"D", own}},
         with(&DirectoryNews::reported, {"D"}), {{"D", tied}}, true, false, false, {{"D", {teammates, teammates}}},
         {"D"}, {}},
        {"only directories inside: made here, it carries its own", {{"R", own}, {"R/S", own}}, {},
         {{"R", madeHere}, {"R/S", madeHere}}, true, true, false, {{"R", {own, own}}, {"R/S", {own, own}}},
         {"R", "R/S"}, {}},
        {"a teammate's that carries none takes its version's time, and carries it on", {{"D", own}}, {},
         {{"D", teammatesOwn}}, true, true, false, {{"D", {teammates, teammates}}}, {"D"}, {}},
        {"a teammate's that carries none, pulled a moment ago, waits for its maker's own stamp", {{"D", own}},
         pulledNow("D"), {{"D", teammatesOwn}}, true, false, false, {{"D", {own, {}}}}, {}, {}},
        {"where times do not travel, only a teammate's new directory takes one", {{"D", own}, {"E", own}}, {},
         {{"D", teammatesOwn}, {"E", madeHere}}, false, true, false, {{"D", {teammates, {}}}, {"E", {own, {}}}}, {},
         {}},
        {"where times do not travel, one read at its pull as its maker's own takes it at once; another waits",
         {{"D", own}, {"E", own}}, bothPulledNow, {{"D", teammatesOwn}, {"E", landedElsewhere}}, false, false, false,
         {{"D", {teammates, {}}}, {"E", {own, {}}}}, {}, {}},
        {"where times do not travel, the time teammates carry is read in the index: at first sight (found by the "
         "scanner after its pull too), when a pull brings a new one, asked for after a pull, and moved on by a file "
         "saved after it, still following the index's; one a version sent on from elsewhere kept is not",
         {{"D", own}, {"E", own, {}, {{own, 0}}}, {"F", own, {}, {{own, 0}}}, {"G", own, {}, {{teammates, 0, {}, teammates}}},
          {"H", own}, {"K", own}},
         indexRead,
         {{"D", carrying(teammates)}, {"E", carrying(later)}, {"G", carrying(teammates)}, {"H", carrying(teammates)},
          {"K", carrying(teammates, later)}},
         false, false, false,
         {{"D", {teammates, {}}}, {"E", {later, {}}}, {"F", {own, {}}}, {"G", {later, {}}}, {"H", {teammates, {}}},
          {"K", {later, {}}}},
         {}, {"F"}, {{"G/saved.txt", later}}, {{"G", teammates}}},
        {"a carried time wins over the index's", {{"D", own, teammates}}, {}, {{"D", teammatesOwn}}, true, true,
         false, {{"D", {teammates, teammates}}}, {}, {}},
        {"a teammate's later time wins over an earlier change here",
         {{"D", own, later, {{teammates, 0}}}}, changed("D", "D/old.mov", true), {}, true, false, false,
         {{"D", {later, later}}}, {}, {}},
        {"a file a pull placed, saved after the directory was settled here and with no stamp, moves it on; one saved "
         "before (a tree still arriving) does not",
         {{"D", own, teammates, {{teammates, 0, {}, teammates}}}, {"E", own, teammates, {{teammates, 0, {}, later}}}},
         placed({"D/saved.txt", "E/older.txt"}), {}, true, false, false,
         {{"D", {later, later}}, {"E", {teammates, teammates}}}, {"D"}, {}, {{"D/saved.txt", later}, {"E/older.txt", own}}},
    };
    for (const Row &row : rows) {
        QTemporaryDir root;
        DirectoryTimeRecord record;
        for (const Dir &dir : row.dirs)
            QDir(root.path()).mkpath(dir.path);
        for (auto file = row.files.cbegin(); file != row.files.cend(); ++file)
            makeFile(root.filePath(file.key()), *file);
        // Deepest first: making a directory moves the time of the one it is in.
        for (const Dir &dir : std::views::reverse(row.dirs)) {
            makeDirectory(root.path(), dir);
            if (dir.seen)
                record.set(dir.path, *dir.seen);
        }
        const DirectoryTimePass::Output out = DirectoryTimePass::run(
            {.root = root.path(), .carries = row.carries, .wholeTree = row.wholeTree,
             .unexplainedArePulls = row.afterStart, .news = row.news, .origins = row.origins, .ownShortID = self},
            record);
        for (auto it = row.shown.cbegin(); it != row.shown.cend(); ++it) {
            const qint64 time = QFileInfo(root.filePath(it.key())).lastModified().toSecsSinceEpoch();
            EXPECT_EQ(Shown(time, DirectoryTimes::carried(root.path(), it.key())), *it) << row.name << ": " << it.key().toStdString();
        }
        for (auto it = row.recorded.cbegin(); it != row.recorded.cend(); ++it)
            EXPECT_EQ(record.find(it.key()) ? record.find(it.key())->carried : std::nullopt, *it) << row.name;
        QStringList written = out.written;
        written.sort();
        EXPECT_EQ(written, row.written) << row.name;
        EXPECT_EQ(out.ask, row.asked) << row.name;
    }
}

// A save made just before this computer put a teammate's time on its
// directory is found after: the directory moves on to the save, not back.
// Nothing is written through a link a teammate synced, and a directory
// decided, or a file placed, keeps its record across a restart (the file).
TEST(DirectoryTimePassTest, ASaveOverwrittenByATakeMovesOnAndALinkIsNeverFollowed)
{
    QTemporaryDir root, outside;
    makeDirectory(root.path(), {"D", teammates, teammates});
    makeDirectory(outside.path(), {"Far", own, teammates});
    ASSERT_TRUE(QFile::link(outside.filePath("Far"), root.filePath("Link")));
    for (const char *file : {"D/new.txt", "E/new.txt", "F/placed.txt"}) {
        QDir().mkpath(root.filePath(QString::fromLatin1(file).section('/', 0, 0)));
        QFile saved(root.filePath(file));
        ASSERT_TRUE(saved.open(QIODevice::WriteOnly));
    }
    makeDirectory(root.path(), {"D", teammates, teammates});
    makeDirectory(root.path(), {"E", own, teammates});
    // A file a pull placed, with its maker's time, that the scanner finds again.
    makeFile(root.filePath("F/placed.txt"), teammates);
    makeDirectory(root.path(), {"F", later, teammates, {{teammates, 0}}});
    const QString file = root.filePath("record");
    {
        DirectoryTimeRecord record(file);
        record.set("D", {teammates, QDateTime::currentSecsSinceEpoch() + 1});
        // Taken long before its file was made: the file moved it itself.
        record.set("E", {teammates, teammates + 1});
        DirectoryNews news = changed("D", "D/new.txt");
        news.merge(changed("E", "E/new.txt"));
        news.placedAtMs.insert("F/placed.txt", QDateTime::currentMSecsSinceEpoch() - 1);
        news.pulled.insert("Link");
        const auto out = DirectoryTimePass::run({.root = root.path(), .news = news, .ownShortID = self}, record);
        EXPECT_EQ(QSet<QString>(out.written.cbegin(), out.written.cend()), (QSet<QString>{"D", "E"}));
        EXPECT_EQ(DirectoryTimes::carried(root.path(), "E"), own);
    }
    const qint64 born = QFileInfo(root.filePath("D/new.txt")).birthTime().toSecsSinceEpoch();
    EXPECT_GT(born, teammates);
    EXPECT_EQ(DirectoryTimes::carried(root.path(), "D"), born);
    EXPECT_EQ(QFileInfo(outside.filePath("Far")).lastModified().toSecsSinceEpoch(), own);
    DirectoryTimeRecord again(file);
    again.load();
    ASSERT_NE(again.find("D"), nullptr);
    EXPECT_EQ(*again.find("D"), (DirectoryTimeRecord::Entry{born, 0, teammates}));
    // The placed file found again only after the restart is still the pull's.
    DirectoryNews echo = changed("F", "F/placed.txt");
    echo.changedHere["F"].first().foundAtMs = QDateTime::currentMSecsSinceEpoch();
    DirectoryTimePass::run({.root = root.path(), .news = echo, .ownShortID = self}, again);
    EXPECT_EQ(DirectoryTimes::carried(root.path(), "F"), teammates);
}

} // namespace
} // namespace tw
