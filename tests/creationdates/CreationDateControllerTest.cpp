#include "creationdates/CreationDateController.h"

#include "creationdates/FileDates.h"
#include "FileDatesSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace tw {
namespace {

using namespace test;

constexpr auto deadline = 10s;

bool carriesBirthTime(const QString &file)
{
    const auto birth = FileDates::birthtime(file);
    return birth && rawCrtime(file) == QByteArray::number(*birth);
}

class CreationDateControllerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        if (!fileDatesSupported(m_dir.path()))
            GTEST_SKIP() << "no birth times or user attributes in " << m_dir.path().toStdString();
        QObject::connect(&controller, &CreationDateController::treeReconciled, &controller,
                         [this](const QString &folder) { passes.append(folder); });
    }

    QString path(const QString &relative) const { return m_dir.filePath(relative); }

    QString makeFile(const QString &relative)
    {
        EXPECT_TRUE(writeFile(path(relative))) << relative.toStdString();
        return path(relative);
    }

    QTemporaryDir m_dir;
    CreationDateController controller{FileDateAccess::system(), 50ms};
    QStringList passes;
};

TEST_F(CreationDateControllerTest, FollowsTheTreeFromTheFirstPassOn)
{
    const QString existing = makeFile(QStringLiteral("existing"));
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral(".stversions"))));
    QTemporaryDir outside(m_dir.path() + QStringLiteral("/../crtime-outside-XXXXXX"));
    const QString staged = outside.filePath(QStringLiteral("moved"));
    ASSERT_TRUE(QDir().mkpath(staged + QStringLiteral("/inner")));
    ASSERT_TRUE(writeFile(staged + QStringLiteral("/inner/file")));

    // Once the whole-tree pass is over, every later change can only be seen
    // as an event.
    controller.watch({m_dir.path()});
    ASSERT_TRUE(waitUntil([&] { return passes.size() == 1; }, deadline));
    EXPECT_TRUE(carriesBirthTime(existing));

    // A synced link to a file outside is seen first and leaves that file alone.
    const QString target = outside.filePath(QStringLiteral("target"));
    ASSERT_TRUE(writeFile(target) && QFile::link(target, path(QStringLiteral("link"))));
    // Nested directories made in quick succession may exist before their
    // parent is watched. Events are not filtered by name: the archive too.
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("new/deeper/deepest"))));
    const QString nested = makeFile(QStringLiteral("new/deeper/deepest/file"));
    const QString archived = makeFile(QStringLiteral(".stversions/archived"));
    EXPECT_TRUE(waitUntil([&] { return carriesBirthTime(nested) && carriesBirthTime(archived); }, deadline));
    EXPECT_EQ(rawCrtime(target), std::nullopt);

    // A directory moved in is followed, and so is what is made in it later.
    ASSERT_TRUE(QDir().rename(staged, path(QStringLiteral("moved"))));
    EXPECT_TRUE(waitUntil([&] { return carriesBirthTime(path(QStringLiteral("moved/inner/file"))); }, deadline));
    const QString inMoved = makeFile(QStringLiteral("moved/inner/later"));
    EXPECT_TRUE(waitUntil([&] { return carriesBirthTime(inMoved); }, deadline));

    // What arrives from another machine: only the attribute changes.
    ASSERT_TRUE(setRawCrtime(existing, QByteArray::number(*FileDates::birthtime(existing) + 3600)));
    EXPECT_TRUE(waitUntil([&] { return carriesBirthTime(existing); }, deadline));
}

TEST_F(CreationDateControllerTest, WatchesExistingFoldersOnceDropsUnwatchedOnesAndTakesBackReturningOnes)
{
    const QString first = path(QStringLiteral("first"));
    const QString second = path(QStringLiteral("second"));
    ASSERT_TRUE(QDir().mkpath(first));
    ASSERT_TRUE(QDir().mkpath(second));
    controller.watch({first});
    controller.watch({first});
    EXPECT_EQ(controller.watchedFolders(), std::set<QString>{first});
    // The worker runs its requests in order, so once the second folder's pass
    // is over any second pass of the first would have been seen.
    controller.watch({first, second});
    ASSERT_TRUE(waitUntil([&] { return passes.size() >= 2; }, deadline));
    EXPECT_EQ(passes, (QStringList{first, second}));

    controller.watch({second, path(QStringLiteral("gone"))});
    EXPECT_EQ(controller.watchedFolders(), std::set<QString>{second});
    // Unmounted and mounted again, or deleted and restored, before the next
    // call: the path exists at every call, so it must still be followed.
    ASSERT_TRUE(QDir(second).removeRecursively());
    ASSERT_TRUE(QDir().mkpath(second));
    ASSERT_TRUE(waitUntil([&] { return controller.watchedFolders().empty(); }, deadline));
    controller.watch({second});
    ASSERT_TRUE(waitUntil([&] { return passes.size() == 3; }, deadline));
    // The worker runs its requests in order: the first folder's watch ended
    // before this pass.
    const QString ignored = makeFile(QStringLiteral("first/ignored"));
    const QString later = makeFile(QStringLiteral("second/later"));
    EXPECT_TRUE(waitUntil([&] { return carriesBirthTime(later); }, deadline));
    EXPECT_EQ(rawCrtime(ignored), std::nullopt);
}

} // namespace
} // namespace tw
