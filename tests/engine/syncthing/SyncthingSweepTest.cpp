#include "QtPrinters.h"
#include "engine/syncthing/SyncthingSweep.h"

#include <QProcess>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tw {
namespace {

struct SweepCase
{
    const char *label;
    QStringList arguments;
    bool matches;
};

class ServesHomeTest : public ::testing::TestWithParam<SweepCase>
{
};

const QString home = QStringLiteral("/data/TidewellSync/syncthing");

TEST_P(ServesHomeTest, MatchesOnTheExactArgumentVector)
{
    EXPECT_EQ(SyncthingSweep::servesHome(GetParam().arguments, home), GetParam().matches) << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServesHomeTest,
    ::testing::Values(
        SweepCase{"monitor as launched", {"/usr/bin/syncthing", "serve", "--home", home, "--no-browser", "--no-restart"}, true},
        SweepCase{"bare program name", {"syncthing", "serve", "--home", home}, true},
        SweepCase{"home later in the arguments", {"syncthing", "serve", "--no-browser", "--home", home}, true},
        SweepCase{"home that only starts with ours", {"syncthing", "serve", "--home", home + "2"}, false},
        SweepCase{"home with a trailing slash", {"syncthing", "serve", "--home", home + "/"}, false},
        SweepCase{"parent of our home", {"syncthing", "serve", "--home", "/data/TidewellSync"}, false},
        SweepCase{"another program", {"/usr/bin/syncthing-relaysrv", "serve", "--home", home}, false},
        SweepCase{"program in a folder named syncthing", {"/opt/syncthing/bin/other", "serve", "--home", home}, false},
        SweepCase{"shell running a script", {"/bin/sh", "/opt/syncthing", "serve", "--home", home}, false},
        SweepCase{"generate, not serve", {"syncthing", "generate", "--home", home}, false},
        SweepCase{"home as the last word without value", {"syncthing", "serve", "--home"}, false},
        SweepCase{"home given to another flag", {"syncthing", "serve", "--config", home}, false},
        SweepCase{"one command-line string", {"syncthing serve --home " + home}, false},
        SweepCase{"empty", {}, false}),
    [](const auto &info) { return "case" + std::to_string(info.index); });

TEST(SyncthingSweepTest, ReadsTheArgumentVectorOfALiveProcess)
{
    QProcess sleeper;
    sleeper.start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(sleeper.waitForStarted());
    const pid_t pid = pid_t(sleeper.processId());
    EXPECT_EQ(SyncthingSweep::commandLine(pid), (QStringList{"/bin/sleep", "30"}));
    EXPECT_TRUE(SyncthingSweep::ownProcesses().contains(pid));
    sleeper.kill();
    sleeper.waitForFinished();
    EXPECT_TRUE(SyncthingSweep::commandLine(pid).isEmpty());
}

TEST(SyncthingSweepTest, NothingServesAHomeThatNoProcessUses)
{
    EXPECT_TRUE(SyncthingSweep::processesServing(QStringLiteral("/nonexistent/tidewell/home")).isEmpty());
    EXPECT_FALSE(SyncthingSweep::ownProcesses().contains(pid_t(0)));
    EXPECT_TRUE(SyncthingSweep::ownProcesses().contains(::getpid()));
}

} // namespace
} // namespace tw
