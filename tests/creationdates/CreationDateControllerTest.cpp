#include "creationdates/CreationDateController.h"

#include "creationdates/FileDates.h"
#include "FileDatesSupport.h"
#include "StatHook.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace tw {
namespace {

using namespace test;

TEST(CreationDateControllerTest, FollowsAFolderWithoutFollowingLinksAndWatchesItAfreshWhenItComesBack)
{
    QTemporaryDir dir;
    if (!fileDatesSupported(dir.path()))
        GTEST_SKIP() << "no birth times or user attributes in " << dir.path().toStdString();
    // On the same file system, so that a directory can be moved in from there.
    QTemporaryDir outside(dir.path() + "/../crtime-outside-XXXXXX");
    const QString target = outside.filePath("target");
    ASSERT_TRUE(writeFile(target));
    ASSERT_TRUE(QFile::link(target, dir.filePath("seen-by-the-pass")));
    ASSERT_TRUE(QDir().mkpath(outside.filePath("staged/inner")));
    ASSERT_TRUE(writeFile(outside.filePath("staged/inner/file")));
    // A rename keeps the birth time.
    const QByteArray born = QByteArray::number(FileDates::birthtime(outside.filePath("staged/inner/file")).value());
    CreationDateController controller(FileDateAccess::system(), 50ms);
    QStringList passes;
    QObject::connect(&controller, &CreationDateController::treeReconciled, &controller,
                     [&](const QString &folder) { passes.append(folder); });

    controller.watch({dir.path()});
    controller.watch({dir.path()});
    ASSERT_TRUE(waitUntil([&] { return !passes.isEmpty(); }, 10s));

    // The link is seen before the directory moved in after it. Events are not
    // filtered by name: the engine's archive is reconciled too.
    ASSERT_TRUE(QFile::link(target, dir.filePath("seen-as-an-event")));
    ASSERT_TRUE(QDir().rename(outside.filePath("staged"), dir.filePath(".stversions")));
    const QString moved = dir.filePath(".stversions/inner/file");
    EXPECT_TRUE(waitUntil([&] { return rawCrtime(moved) == born; }, 10s));
    EXPECT_EQ(rawCrtime(target), std::nullopt);
    // What arrives from another machine: only the attribute changes.
    ASSERT_TRUE(setRawCrtime(moved, QByteArray::number(born.toLongLong() + 3600)));
    EXPECT_TRUE(waitUntil([&] { return rawCrtime(moved) == born; }, 10s));

    // Deleted and restored, or unmounted and mounted again, before the next
    // call: the path exists at every call, so its end must be noticed.
    ASSERT_TRUE(QDir(dir.path()).removeRecursively());
    ASSERT_TRUE(QDir().mkpath(dir.path()));
    ASSERT_TRUE(waitUntil([&] { return controller.watchedFolders().empty(); }, 10s));
    // Every signal sent before that one has arrived: asked twice, the folder
    // had one pass.
    EXPECT_EQ(passes.size(), 1);
    controller.watch({dir.path()});
    EXPECT_TRUE(waitUntil([&] { return passes.size() == 2; }, 10s));
}

// A stat of a folder on a vanished network mount holds its caller for
// minutes, and watch() is called on every polling tick.
TEST(CreationDateControllerTest, WatchingLooksAtNoFolderOnTheCallingThreadAndDropsAMissingOne)
{
    QTemporaryDir dir;
    const QString present = dir.filePath("present"), missing = dir.filePath("missing");
    ASSERT_TRUE(QDir().mkpath(present));
    CreationDateController controller(FileDateAccess::system(), 50ms);
    QStringList passes;
    QObject::connect(&controller, &CreationDateController::treeReconciled, &controller,
                     [&](const QString &folder) { passes.append(folder); });
    StatHook stats(dir.path());

    controller.watch({present, missing});
    EXPECT_EQ(stats.callsOnOwnThread(), 0);
    EXPECT_TRUE(waitUntil([&] { return controller.watchedFolders() == std::set<QString>{present}; }, 10s));
    EXPECT_TRUE(waitUntil([&] { return passes == QStringList{present}; }, 10s));
    // The hook sees Qt's own calls.
    EXPECT_TRUE(QFileInfo::exists(present));
    EXPECT_GT(stats.callsOnOwnThread(), 0);
}

} // namespace
} // namespace tw
