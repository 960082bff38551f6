#include "app/AppPreferences.h"
#include "engine/syncthing/SyncthingIgnoreSyntax.h"

#include "QtPrinters.h"
#include "utilities/UserDefaults.h"

#include <QFile>
#include <QJsonObject>
#include <QRegularExpression>
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
    // Each is a line Syncthing takes: one it refuses would stop every folder.
    const QStringList all = preferences.defaultIgnoreList() + IgnoreCategory::allPatterns().values();
    EXPECT_EQ(SyncthingIgnoreSyntax::refusal(all), std::nullopt);
    preferences.setDefaultIgnores(" a\t\r\n# note\n#b\u2028\n a");
    EXPECT_EQ(AppPreferences(defaults).defaultIgnoreList(), QStringList({"a", "#b", "a"}));
}

TEST(AppPreferencesTest, EverySettingReadsItsDefaultWhenAbsentOrOfAnotherType)
{
    QJsonObject outOfRange = BandwidthSchedule{.enabled = true}.toJsonObject();
    outOfRange.insert("startHour", 24);
    for (const bool mistyped : {false, true}) {
        SCOPED_TRACE(mistyped ? "mistyped" : "absent");
        QTemporaryDir dir;
        UserDefaults defaults(dir.filePath("defaults.json"));
        if (mistyped) {
            for (const char *key : {"showNotifications", "autoJoinNode", "lanDiagnostics", "remoteStatusEnabled",
                                    "alwaysShowTechnicalDetails", "clusterSyncEnabled"})
                defaults.setString(key, "yes");
            defaults.setString("appearance", "sepia");
            defaults.setValue("bandwidthSchedule", outOfRange);
        }
        const XdgAutostart loginItem(dir.filePath("autostart/tidewellmesh.desktop"), "/bin/tw");
        AppPreferences preferences(defaults, loginItem);
        EXPECT_FALSE(preferences.startAtLogin());
        EXPECT_TRUE(preferences.showNotifications() && preferences.autoJoinNode() && preferences.lanDiagnostics());
        EXPECT_FALSE(preferences.remoteStatusEnabled() || preferences.alwaysShowTechnicalDetails()
                     || preferences.clusterSyncEnabled());
        EXPECT_EQ(preferences.appearance(), AppPreferences::Appearance::System);
        EXPECT_EQ(preferences.bandwidthSchedule(), BandwidthSchedule());
        // What could not be read stays stored as it was.
        EXPECT_EQ(UserDefaults(dir.filePath("defaults.json")).value("bandwidthSchedule"),
                  mistyped ? std::optional<QJsonValue>(outOfRange) : std::nullopt);
        EXPECT_TRUE(QRegularExpression("^[0-9a-f]{24}$").match(preferences.remoteStatusToken()).hasMatch());
        EXPECT_EQ(defaults.string("remoteStatusToken"), preferences.remoteStatusToken());
    }
}

TEST(AppPreferencesTest, IgnoreEditsWorkOnThePatternListWithoutComments)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.json"));
    AppPreferences preferences(defaults, XdgAutostart(dir.filePath("entry"), "/bin/tw"));
    preferences.removeIgnorePattern(" .bzvol");
    EXPECT_EQ(preferences.defaultIgnoreList().size(), 62);
    EXPECT_FALSE(preferences.defaultIgnores().contains("# OS / System"));
    const IgnoreCategory &windows = IgnoreCategory::all()[1];
    preferences.setIgnoreCategory(windows, false);
    preferences.setIgnoreCategory(windows, true);
    EXPECT_EQ(preferences.defaultIgnoreList().mid(55), windows.patterns);
    EXPECT_TRUE(preferences.defaultIgnoreList().contains("#snapshot"));
    preferences.addCustomIgnore("  *.bak\n");
    preferences.addCustomIgnore("*.bak");
    preferences.addCustomIgnore("   ");
    // A tab inside a pattern, typed or pasted, is stored nowhere.
    EXPECT_EQ(preferences.addCustomIgnore("*.wav\t*.tmp"),
              u"\u201C*.wav\t*.tmp\u201D holds a tab: put each pattern on a line of its own."_qs);
    EXPECT_TRUE(preferences.saveDefaultIgnores(preferences.defaultIgnores() + "\n\t*.wav\t*.tmp\t").has_value());
    EXPECT_EQ(preferences.customIgnorePatterns(), QStringList("*.bak"));
    EXPECT_EQ(preferences.defaultIgnoreList().size(), 63);
}

TEST(AppPreferencesTest, StartAtLoginWritesAndRemovesTheAutostartEntryAndAppearanceReachesTheHook)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.json"));
    const QString entry = dir.filePath("autostart/tidewellmesh.desktop");
    AppPreferences preferences(defaults, XdgAutostart(entry, "/opt/my \"tw\"/tw"));
    preferences.setStartAtLogin(true);
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("Exec=\"/opt/my \\\\\"tw\\\\\"/tw\"\n"));
    EXPECT_TRUE(AppPreferences(defaults, XdgAutostart(entry, "/bin/tw")).startAtLogin());
    preferences.setStartAtLogin(false);
    EXPECT_FALSE(QFile::exists(entry));

    QList<AppPreferences::Appearance> applied;
    preferences.setAppearanceHook([&](AppPreferences::Appearance appearance) { applied.append(appearance); });
    preferences.setAppearance(AppPreferences::Appearance::Dark);
    EXPECT_EQ(applied, QList<AppPreferences::Appearance>({AppPreferences::Appearance::Dark}));
    EXPECT_EQ(AppPreferences(defaults, XdgAutostart(entry, "/bin/tw")).appearance(), AppPreferences::Appearance::Dark);
}

} // namespace
} // namespace tw
