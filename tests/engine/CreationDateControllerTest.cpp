#include "engine/CreationDateController.h"

#include "engine/FileDates.h"
#include "FileDatesSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>

using namespace std::chrono_literals;

namespace tw {
namespace {

using test::rawCrtime;
using test::waitUntil;
using test::writeFile;

constexpr auto deadline = 10s;
constexpr auto latency = 50ms;

// The folders whose whole-tree pass has ended, in order.
class PassLog
{
public:
    explicit PassLog(CreationDateController &controller)
        : m_connection(QObject::connect(&controller, &CreationDateController::treeReconciled, &controller,
                         [this](const QString &folder) { m_folders.append(folder); }))
    {
    }
    ~PassLog() { QObject::disconnect(m_connection); }
    PassLog(const PassLog &) = delete;
    PassLog &operator=(const PassLog &) = delete;
    qsizetype count() const { return m_folders.size(); }
    const QString &at(qsizetype i) const { return m_folders.at(i); }

private:
    QStringList m_folders;
    QMetaObject::Connection m_connection;
};

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
        if (const auto reason = test::fileDatesUnsupportedReason(m_dir.path()))
            GTEST_SKIP() << reason->toStdString();
    }

    QString path(const QString &relative) const { return m_dir.filePath(relative); }

    QString makeFile(const QString &relative)
    {
        const QString file = path(relative);
        QDir().mkpath(QFileInfo(file).path());
        EXPECT_TRUE(writeFile(file));
        return file;
    }

    // Watches the folder and returns once its whole-tree pass is over, so
    // that every later change can only be seen as an event.
    void watchAndSettle(CreationDateController &controller, const QStringList &folders)
    {
        PassLog passes(controller);
        controller.watch(folders);
        ASSERT_TRUE(waitUntil([&] { return passes.count() >= folders.size(); }, deadline));
    }

    QTemporaryDir m_dir;
};

TEST_F(CreationDateControllerTest, WholeTreePassWhenWatchingStarts)
{
    const QString file = makeFile(QStringLiteral("a/b/existing"));
    const QString archived = makeFile(QStringLiteral(".stversions/old"));
    CreationDateController controller(FileDateAccess::system(), latency);
    watchAndSettle(controller, {m_dir.path()});
    EXPECT_TRUE(carriesBirthTime(file));
    EXPECT_EQ(rawCrtime(archived), std::nullopt);
}

TEST_F(CreationDateControllerTest, PicksUpChangesAfterWatchingStarted)
{
    makeFile(QStringLiteral("existing-dir/keep"));
    CreationDateController controller(FileDateAccess::system(), latency);
    watchAndSettle(controller, {m_dir.path()});

    struct Case
    {
        const char *name;
        QString file;
    };
    // New directories created one inside the other in quick succession: the
    // inner ones may exist before their parent is watched.
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("new/deeper/deepest"))));
    const Case cases[] = {
        {"file in a new subdirectory", makeFile(QStringLiteral("new/deeper/deepest/file"))},
        {"file in an existing subdirectory", makeFile(QStringLiteral("existing-dir/file"))},
        {"file at the top", makeFile(QStringLiteral("top"))},
        // Events are not filtered by name: the engine's archive is followed too.
        {"file in the archive", makeFile(QStringLiteral(".stversions/archived"))},
    };
    for (const Case &c : cases)
        EXPECT_TRUE(waitUntil([&] { return carriesBirthTime(c.file); }, deadline)) << c.name;
}

TEST_F(CreationDateControllerTest, DirectoryMovedInIsFollowed)
{
    QTemporaryDir outside(m_dir.path() + QStringLiteral("/../crtime-outside-XXXXXX"));
    ASSERT_TRUE(outside.isValid());
    const QString staged = outside.filePath(QStringLiteral("moved"));
    ASSERT_TRUE(QDir().mkpath(staged + QStringLiteral("/inner")));
    ASSERT_TRUE(writeFile(staged + QStringLiteral("/inner/file")));
    CreationDateController controller(FileDateAccess::system(), latency);
    watchAndSettle(controller, {m_dir.path()});

    ASSERT_TRUE(QDir().rename(staged, path(QStringLiteral("moved"))));
    EXPECT_TRUE(waitUntil([&] { return carriesBirthTime(path(QStringLiteral("moved/inner/file"))); }, deadline));
    const QString later = makeFile(QStringLiteral("moved/inner/later"));
    EXPECT_TRUE(waitUntil([&] { return carriesBirthTime(later); }, deadline));
}

// What arrives from another machine: an attribute set on a file whose content
// did not change.
TEST_F(CreationDateControllerTest, AttributeChangeIsReconciled)
{
    const QString file = makeFile(QStringLiteral("file"));
    CreationDateController controller(FileDateAccess::system(), latency);
    watchAndSettle(controller, {m_dir.path()});
    ASSERT_TRUE(carriesBirthTime(file));

    ASSERT_TRUE(test::setRawCrtime(file, QByteArray::number(*FileDates::birthtime(file) + 3600)));
    EXPECT_TRUE(waitUntil([&] { return carriesBirthTime(file); }, deadline));
}

TEST_F(CreationDateControllerTest, WatchesOnlyFoldersThatExistAndEachOnce)
{
    const QString first = path(QStringLiteral("first"));
    const QString second = path(QStringLiteral("second"));
    CreationDateController controller(FileDateAccess::system(), latency);
    PassLog passes(controller);

    controller.watch({first});
    EXPECT_TRUE(controller.watchedFolders().empty());

    ASSERT_TRUE(QDir().mkpath(first));
    ASSERT_TRUE(QDir().mkpath(second));
    controller.watch({first});
    controller.watch({first});
    EXPECT_EQ(controller.watchedFolders(), std::set<QString>{first});
    // The worker runs its requests in order, so once the second folder's pass
    // is over any second pass of the first would have been seen.
    controller.watch({first, second});
    ASSERT_TRUE(waitUntil([&] { return passes.count() >= 2; }, deadline));
    ASSERT_FALSE(waitUntil([&] { return passes.count() > 2; }, 100ms));
    EXPECT_EQ(passes.at(0), first);
    EXPECT_EQ(passes.at(1), second);

    controller.watch({second, path(QStringLiteral("gone"))});
    EXPECT_EQ(controller.watchedFolders(), std::set<QString>{second});

    // Watching again after a pause is a new start, with a new pass.
    controller.watch({first, second});
    EXPECT_TRUE(waitUntil([&] { return passes.count() == 3; }, deadline));
    EXPECT_EQ(passes.at(2), first);
}

TEST_F(CreationDateControllerTest, UnwatchedFolderIsNoLongerFollowed)
{
    const QString first = path(QStringLiteral("first"));
    const QString second = path(QStringLiteral("second"));
    ASSERT_TRUE(QDir().mkpath(first));
    ASSERT_TRUE(QDir().mkpath(second));
    CreationDateController controller(FileDateAccess::system(), latency);
    watchAndSettle(controller, {first, second});

    controller.watch({second});
    // The worker runs requests in order: once a change in the second folder
    // has been handled, the first folder's watch is gone.
    const QString probe = makeFile(QStringLiteral("second/probe"));
    ASSERT_TRUE(waitUntil([&] { return carriesBirthTime(probe); }, deadline));
    const QString ignored = makeFile(QStringLiteral("first/ignored"));
    const QString witness = makeFile(QStringLiteral("second/witness"));
    ASSERT_TRUE(waitUntil([&] { return carriesBirthTime(witness); }, deadline));
    EXPECT_EQ(rawCrtime(ignored), std::nullopt);
}

// A file system that refuses user attributes: every write fails with ENOTSUP,
// and the watcher carries on with the next change.
TEST_F(CreationDateControllerTest, UnsupportedAttributesAreIgnored)
{
    QMutex mutex;
    QStringList attempted;
    FileDateAccess refusing = FileDateAccess::system();
    refusing.crtimeXattrValue = [](const QString &) { return std::optional<qint64>(); };
    refusing.setCrtimeXattr = [&](const QString &file, qint64) {
        QMutexLocker lock(&mutex);
        attempted.append(file);
        return ENOTSUP;
    };
    const auto tried = [&](const QString &file) {
        QMutexLocker lock(&mutex);
        return attempted.contains(file);
    };
    const QString existing = makeFile(QStringLiteral("existing"));
    CreationDateController controller(refusing, latency);
    watchAndSettle(controller, {m_dir.path()});
    EXPECT_TRUE(tried(existing));

    const QString first = makeFile(QStringLiteral("sub/first"));
    const QString second = makeFile(QStringLiteral("second"));
    EXPECT_TRUE(waitUntil([&] { return tried(first) && tried(second); }, deadline));
    EXPECT_EQ(rawCrtime(first), std::nullopt);
}

} // namespace
} // namespace tw
