#include "app/AppPreferences.h"

#include "QtPrinters.h"
#include "utilities/UserDefaults.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(AppPreferencesTest, DefaultsIgnoreListAndWrites)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.json"));
    defaults.setString("autoJoinNode", "yes");
    AppPreferences preferences(defaults);
    EXPECT_TRUE(preferences.autoJoinNode());
    EXPECT_FALSE(preferences.clusterSyncEnabled());
    EXPECT_EQ(preferences.defaultIgnores().size(), 812);
    const QStringList list = preferences.defaultIgnoreList();
    EXPECT_EQ(list.size(), 62);
    EXPECT_TRUE(list.contains("#snapshot") && !list.contains("# OS / System"));

    int changes = 0;
    QObject::connect(&preferences, &AppPreferences::clusterSyncEnabledChanged, [&changes] { ++changes; });
    preferences.setClusterSyncEnabled(false);
    EXPECT_EQ(defaults.boolean("clusterSyncEnabled"), false);
    EXPECT_EQ(changes, 0);
    preferences.setDefaultIgnores(" a\t\r\n# note\n#b\u2028\n a");
    EXPECT_EQ(preferences.defaultIgnoreList(), QStringList({"a", "#b", "a"}));
    EXPECT_EQ(AppPreferences(defaults).defaultIgnores(), preferences.defaultIgnores());
}

} // namespace
} // namespace tw
