#include "app/AppPreferences.h"

#include "QtPrinters.h"
#include "utilities/UserDefaults.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(AppPreferencesTest, DefaultsTheIgnoreListAndWritesOnEveryAssignment)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.json"));
    defaults.setString("autoJoinNode", "no");
    AppPreferences preferences(defaults);
    EXPECT_TRUE(preferences.autoJoinNode() && !preferences.clusterSyncEnabled());
    EXPECT_EQ(preferences.defaultIgnores().size(), 812);
    EXPECT_EQ(preferences.defaultIgnoreList().size(), 62);
    preferences.setDefaultIgnores(" a\t\r\n# note\n#b\u2028\n a");
    EXPECT_EQ(AppPreferences(defaults).defaultIgnoreList(), QStringList({"a", "#b", "a"}));
}

} // namespace
} // namespace tw
