#include "design/FileIconProvider.h"
#include "design/Symbol.h"

#include "AwaitTask.h"
#include "HeldGlobalPool.h"
#include "WaitUntil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QThreadPool>

#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <gtest/gtest.h>
#include <string>
#include <thread>

using namespace tw;

namespace {

QImage generic(Symbol symbol)
{
    const QSize side(FileIconProvider::imageSide, FileIconProvider::imageSide);
    return symbolIcon(symbol).pixmap(side).toImage();
}

} // namespace

// The path alone is the key: once cached, asking for it as a volume still
// answers the folder icon, until the cache is emptied.
TEST(FileIconProviderTest, AMissingPathKeepsItsGenericIconUntilTheCacheIsCleared)
{
    ASSERT_FALSE(generic(Symbol::Folder) == generic(Symbol::Drive));
    QTemporaryDir root;
    const QString path = root.filePath(QStringLiteral("gone"));
    FileIconProvider::clearCache();
    EXPECT_TRUE(awaitTask(FileIconProvider::loadAsync(path, false)) == generic(Symbol::Folder));
    EXPECT_TRUE(awaitTask(FileIconProvider::loadAsync(path, true)) == generic(Symbol::Folder));
    FileIconProvider::clearCache();
    EXPECT_FALSE(FileIconProvider::cached(path));
    EXPECT_TRUE(awaitTask(FileIconProvider::loadAsync(path, true)) == generic(Symbol::Drive));
}

TEST(FileIconProviderTest, PathsWithTheSameIconShareOneRender)
{
    QTemporaryDir root;
    QStringList paths;
    for (int i = 0; i < 200; ++i) {
        paths.append(root.filePath(QStringLiteral("folder%1").arg(i)));
        ASSERT_TRUE(QDir().mkpath(paths.last()));
    }
    FileIconProvider::clearCache();
    const FileIconProvider::Counts before = FileIconProvider::counts();
    const QImage first = awaitTask(FileIconProvider::loadAsync(paths.first(), false));
    for (const QString &path : std::as_const(paths))
        EXPECT_TRUE(awaitTask(FileIconProvider::loadAsync(path, false)) == first);
    const FileIconProvider::Counts after = FileIconProvider::counts();
    EXPECT_EQ(after.probes - before.probes, 200);
    EXPECT_EQ(after.renders - before.renders, 1);
}

// Probes have threads of their own: a global pool whose threads all hang
// (a dead network mount under a volume probe) does not hold icons up.
TEST(FileIconProviderTest, IconsLoadWhileTheGlobalPoolIsStuck)
{
    HeldGlobalPool stuck;
    ASSERT_TRUE(stuck.hold());
    FileIconProvider::clearCache();
    QTemporaryDir root;
    bool loaded = false;
    [](QString path, bool *done) -> QCoro::Task<void> {
        co_await FileIconProvider::loadAsync(path, false);
        *done = true;
    }(root.path(), &loaded);
    EXPECT_TRUE(waitUntil([&] { return loaded; }));
    stuck.release();
    QThreadPool::globalInstance()->waitForDone();
}

namespace {

// The threads of the icon probes' pool still in this process (Qt names a
// pool's threads after the pool). Plain POSIX: it runs after main().
int probeThreads()
{
    int count = 0;
    DIR *tasks = ::opendir("/proc/self/task");
    if (!tasks)
        return -1;
    while (const dirent *task = ::readdir(tasks)) {
        const std::string commPath = std::string("/proc/self/task/") + task->d_name + "/comm";
        if (FILE *comm = std::fopen(commPath.c_str(), "r")) {
            char name[32] = {};
            if (std::fgets(name, sizeof name, comm) && std::strncmp(name, "FileIconProbes", 14) == 0)
                ++count;
            std::fclose(comm);
        }
    }
    ::closedir(tasks);
    return count;
}

// Runs once main() has returned and the application object is gone, before
// the exit handlers registered earlier destroy Qt's globals. A thread the
// pool has let go may take a moment to leave the process; one the pool
// still holds stays for its idle time (30 s).
void failIfProbeThreadsOutliveMain()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int left = probeThreads();
    while (left > 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        left = probeThreads();
    }
    if (left != 0) {
        std::fprintf(stderr, "icon probe threads left after main(): %d\n", left);
        std::fflush(stderr);
        std::_Exit(3);
    }
}

} // namespace

// Run only by the test below, in a process of its own: asks for 200 icons of
// files whose type only their content tells, and ends the process while the
// probes read them and the MIME database loads.
TEST(FileIconProviderTest, DISABLED_QuitsWhileIconsLoad)
{
    std::atexit(failIfProbeThreadsOutliveMain);
    QTemporaryDir root;
    FileIconProvider::clearCache();
    for (int i = 0; i < 200; ++i) {
        const QString path = root.filePath(QStringLiteral("file%1").arg(i));
        QByteArray content(4096, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(content.data()), content.size() / 4);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        (void)FileIconProvider::loadAsync(path, false);
    }
    EXPECT_EQ(FileIconProvider::counts().probes, 200);
    // A pool thread takes its name once it runs: on a busy machine, a while
    // after it was started.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (probeThreads() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_GT(probeThreads(), 0);
}

// Quitting while icons load ends the process cleanly: the probes are
// stopped, and their threads gone, before the exit handlers destroy Qt's
// globals under them.
TEST(FileIconProviderTest, QuittingWhileIconsLoadEndsCleanly)
{
    for (int run = 0; run < 5; ++run) {
        QProcess child;
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_also_run_disabled_tests"),
                     QStringLiteral("--gtest_filter=FileIconProviderTest.DISABLED_QuitsWhileIconsLoad")});
        ASSERT_TRUE(child.waitForFinished(60000));
        const std::string output = QString::fromUtf8(child.readAll()).toStdString();
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output;
        EXPECT_EQ(child.exitCode(), 0) << output;
        EXPECT_EQ(output.find("QMutex"), std::string::npos) << output;
        EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
    }
}
