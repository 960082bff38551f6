#include "utilities/ExitDeadline.h"

#include "StatHook.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentRun>
#include <gtest/gtest.h>

#include <future>

using namespace std::chrono_literals;

namespace tw {
namespace {

// A look-up on a vanished network mount holds its pool thread for as long as
// the mount is gone; the end of the process waits for it only so long.
TEST(ExitDeadlineTest, AnEndHeldUpByAStuckLookUpComesOnceTheGraceIsOver)
{
    QTemporaryDir dir;
    const QString mount = dir.filePath("mount");
    std::promise<bool> ended;  // whether the look-up was still held
    std::future<bool> endedWhileHeld = ended.get_future();
    {
        const test::StatHook hook(mount, 2s);
        const QFuture<bool> lookUp = QtConcurrent::run([mount] { return QFileInfo::exists(mount); });
        ExitDeadline deadline([&](int code) { ended.set_value(code == 3 && !lookUp.isFinished()); }, 50ms);
        deadline.arm(3);
        ASSERT_EQ(endedWhileHeld.wait_for(30s), std::future_status::ready);
        QThreadPool::globalInstance()->waitForDone();
    }
    EXPECT_TRUE(endedWhileHeld.get());

    // An end that comes in time disarms it.
    bool cut = false;
    {
        ExitDeadline deadline([&cut](int) { cut = true; });
        deadline.arm(0);
        QThreadPool::globalInstance()->waitForDone();
    }
    EXPECT_FALSE(cut);
}

} // namespace
} // namespace tw
