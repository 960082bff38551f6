#include "platform/MountWatcher.h"

#include "WaitUntil.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

namespace tw {
namespace {

const char *const childMark = "TIDEWELL_MOUNT_WATCHER_CHILD";

// Runs in a mount namespace of its own, so the tmpfs is seen by nobody else.
void mountAndUnmountInChild()
{
    QTemporaryDir dir;
    MountWatcher watcher;
    int changes = 0;
    QObject::connect(&watcher, &MountEventSource::mountsChanged, [&] { ++changes; });
    const QByteArray path = QFile::encodeName(dir.path());
    ASSERT_EQ(::mount("tmpfs", path.constData(), "tmpfs", 0, nullptr), 0) << std::strerror(errno);
    ASSERT_TRUE(waitUntil([&] { return changes == 1; }));
    ASSERT_EQ(::umount2(path.constData(), 0), 0) << std::strerror(errno);
    ASSERT_TRUE(waitUntil([&] { return changes == 2; }));
}

TEST(MountWatcherTest, TellsOfATmpfsMountedAndUnmounted)
{
    if (qEnvironmentVariableIsSet(childMark))
        return mountAndUnmountInChild();
    QStringList unshare = {"--mount", "--propagation", "private"};
    if (::geteuid() != 0)
        unshare << "--map-root-user";
    QProcess probe;
    probe.start("unshare", unshare + QStringList{"true"});
    if (!probe.waitForFinished(-1) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        GTEST_SKIP() << "a mount namespace of our own is not permitted here: "
                     << (probe.readAllStandardError() + probe.errorString().toUtf8()).toStdString();
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(childMark, "1");
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start("unshare", unshare + QStringList{QCoreApplication::applicationFilePath(),
                                                 "--gtest_filter=MountWatcherTest.TellsOfATmpfsMountedAndUnmounted"});
    ASSERT_TRUE(child.waitForFinished(-1));
    EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
}

} // namespace
} // namespace tw
