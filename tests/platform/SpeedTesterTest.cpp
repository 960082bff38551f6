#include "platform/SpeedTester.h"

#include "AwaitTask.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace tw {
namespace {

TEST(SpeedTesterParseTest, AMissingFigureOrBrokenOutputReadsNothing)
{
    for (const char *output : {R"({"download": 250000000, "upload": null})", R"({"download": 250000000, "upl)"})
        EXPECT_EQ(SpeedTester::parseOutput(output), std::nullopt) << output;
}

// Scripts stand in for the tool, which would reach the internet.
class SpeedTesterRunTest : public ::testing::Test
{
protected:
    QString script(const QString &name, const QByteArray &body)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + body);
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    QTemporaryDir dir;
};

TEST_F(SpeedTesterRunTest, FailingToolThatPrintedFiguresStillCountsAndReadsNothing)
{
    const QString tool = script("speedtest", R"(
[ "$#" = 2 ] && [ "$1" = "--json" ] && [ "$2" = "--secure" ] || exit 0
[ /proc/$$/fd/0 -ef /dev/null ] || exit 0
echo 'progress noise' >&2
echo '{"download": 250000000, "upload": 40000000}'
exit 3
)");
    // Our own input must not be the null device already (as under ctest).
    const int ownInput = ::dup(STDIN_FILENO);
    const int zero = ::open("/dev/zero", O_RDONLY);
    ::dup2(zero, STDIN_FILENO);
    const std::optional<SpeedTestResult> result = awaitTask(SpeedTester::run(tool, 60s));
    ::dup2(ownInput, STDIN_FILENO);
    ::close(zero);
    ::close(ownInput);
    EXPECT_EQ(result, (SpeedTestResult{250.0, 40.0}));
}

// Either failure, unnoticed, would take the whole minute.
TEST_F(SpeedTesterRunTest, MissingOrStuckToolGivesNothingWithoutWaitingItOut)
{
    const QString stuck = script("stuck", "echo '{\"download\": 1, \"upload\": 1}'\nexec sleep 120\n");
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(awaitTask(SpeedTester::run(dir.filePath("absent"), 60s)), std::nullopt);
    EXPECT_EQ(awaitTask(SpeedTester::run(stuck, 200ms)), std::nullopt);
    EXPECT_LT(timer.elapsed(), 30000);
}

} // namespace
} // namespace tw
