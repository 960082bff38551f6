#include "QtPrinters.h"
#include "engine/syncthing/process/SyncthingSweep.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(SyncthingSweepTest, ServesHomeMatchesOnTheExactArgumentVector)
{
    const QString home = QStringLiteral("/data/TidewellSync/syncthing");
    const std::vector<std::tuple<const char *, QStringList, bool>> cases{
        {"monitor as launched, home later", {"/usr/bin/syncthing", "serve", "--no-browser", "--home", home}, true},
        {"home that only starts with ours", {"syncthing", "serve", "--home", home + "2"}, false},
        {"another program", {"/usr/bin/syncthing-relaysrv", "serve", "--home", home}, false},
    };
    for (const auto &[label, arguments, matches] : cases)
        EXPECT_EQ(SyncthingSweep::servesHome(arguments, home), matches) << label;
}

} // namespace
} // namespace tw
