#include "controllers/DirectoryTimePass.h"
#include "controllers/DirectoryTimes.h"
#include "creationdates/FileDates.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>

namespace tw {
namespace {

struct statx status(const QString &path)
{
    struct statx info {};
    ::statx(AT_FDCWD, QFile::encodeName(path).constData(), AT_SYMLINK_NOFOLLOW, STATX_CTIME | STATX_MTIME, &info);
    return info;
}

bool operator==(const statx_timestamp &a, const statx_timestamp &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The kernel stamps changes from a clock that moves in ticks: a write within
// the tick of the last change could keep its stamp.
bool clockPassed(const statx_timestamp &stamp)
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now.tv_sec > stamp.tv_sec || (now.tv_sec == stamp.tv_sec && now.tv_nsec > long(stamp.tv_nsec));
}

// Every write changes a directory's inode, which the engine, syncing extended
// attributes, sends to the other computers as a change: a directory that has
// its time already is not written.
TEST(DirectoryTimesTest, OnlyADirectoryWhoseTimeDiffersIsWritten)
{
    const qint64 recorded = 1'234'567'890;
    const struct
    {
        const char *name;
        timespec modified;
        bool written;
    } rows[] = {
        {"already so", {recorded, 0}, false},
        {"half a second on", {recorded, 500'000'000}, true},
        {"another time", {1'500'000'000, 0}, true},
    };
    QTemporaryDir root;
    for (const auto &row : rows) {
        ASSERT_TRUE(QDir(root.path()).mkdir(row.name));
        const QByteArray carried = QByteArray::number(recorded);
        ASSERT_EQ(::setxattr(QFile::encodeName(root.filePath(row.name)).constData(), FileDates::modifiedAttributeName,
                             carried.constData(), carried.size(), 0), 0);
        const timespec times[2] = {{0, UTIME_OMIT}, row.modified};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(root.filePath(row.name)).constData(), times, 0), 0);
    }
    QList<statx_timestamp> before;
    for (const auto &row : rows)
        before.append(status(root.filePath(row.name)).stx_ctime);
    while (!clockPassed(before.last()))
        ;

    DirectoryTimeRecord record;
    DirectoryTimePass::run({.root = root.path(), .wholeTree = true}, record);
    for (qsizetype i = 0; i < std::ssize(rows); ++i) {
        const struct statx after = status(root.filePath(rows[i].name));
        EXPECT_EQ(!(after.stx_ctime == before.at(i)), rows[i].written) << rows[i].name;
        EXPECT_TRUE(after.stx_mtime.tv_sec == recorded && after.stx_mtime.tv_nsec == 0) << rows[i].name;
    }
}

} // namespace
} // namespace tw
