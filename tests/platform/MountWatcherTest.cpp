#include "platform/MountWatcher.h"

#include "WaitUntil.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

namespace tw {
namespace {

// Runs itself again, as the child, in a mount namespace of its own: the
// tmpfs is seen by nobody else.
TEST(MountWatcherTest, TellsOfATmpfsMountedAndUnmounted)
{
    if (qEnvironmentVariableIsSet("TIDEWELL_MOUNT_CHILD")) {
        QTemporaryDir dir;
        MountWatcher watcher;
        int changes = 0;
        QObject::connect(&watcher, &MountEventSource::mountsChanged, [&] { ++changes; });
        ASSERT_EQ(::mount("tmpfs", qPrintable(dir.path()), "tmpfs", 0, nullptr), 0);
        ASSERT_TRUE(waitUntil([&] { return changes == 1; }));
        ASSERT_EQ(::umount2(qPrintable(dir.path()), 0), 0);
        ASSERT_TRUE(waitUntil([&] { return changes == 2; }));
        return;
    }
    const QString unshare = ::geteuid() == 0 ? "unshare --mount " : "unshare --mount --map-root-user ";
    if (std::system(qPrintable(unshare + "true")) != 0)
        GTEST_SKIP() << "no mount namespace of our own here; unshare's reason is above";
    const QString child = unshare + "env TIDEWELL_MOUNT_CHILD=1 '" + QCoreApplication::applicationFilePath()
                        + "' --gtest_filter=MountWatcherTest.*";
    EXPECT_EQ(std::system(qPrintable(child)), 0);
}

} // namespace
} // namespace tw
