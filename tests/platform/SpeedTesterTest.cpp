#include "platform/SpeedTester.h"

#include "AwaitTask.h"
#include "ScopedEnvironmentVariable.h"

#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace tw {
namespace {

// A script stands in for the tool, which would reach the internet.
TEST(SpeedTesterRunTest, FailingToolThatPrintedFiguresStillCountsAndReadsNothing)
{
    // A loopback-only run starts no tool, whatever it is.
    const ScopedEnvironmentVariable toolRuns("TIDEWELL_LOOPBACK_ONLY", std::nullopt);
    QTemporaryDir dir;
    QFile tool(dir.filePath("speedtest"));
    ASSERT_TRUE(tool.open(QIODevice::WriteOnly));
    tool.write(R"(#!/bin/sh
[ "$#" = 2 ] && [ "$1" = "--json" ] && [ "$2" = "--secure" ] || exit 0
[ /proc/$$/fd/0 -ef /dev/null ] || exit 0
echo 'progress noise' >&2
echo '{"download": 250000000, "upload": 40000000}'
exit 3
)");
    tool.close();
    tool.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    // Our own input must not be the null device already (as under ctest).
    const int ownInput = ::dup(STDIN_FILENO);
    const int zero = ::open("/dev/zero", O_RDONLY);
    ::dup2(zero, STDIN_FILENO);
    const std::optional<SpeedTestResult> result = awaitTask(SpeedTester::run(tool.fileName(), 60s));
    ::dup2(ownInput, STDIN_FILENO);
    ::close(zero);
    ::close(ownInput);
    EXPECT_EQ(result, (SpeedTestResult{250.0, 40.0}));
}

} // namespace
} // namespace tw
