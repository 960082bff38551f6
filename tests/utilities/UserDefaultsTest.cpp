#include "utilities/UserDefaults.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <limits>

namespace tw {
namespace {

class UserDefaultsTest : public ::testing::Test
{
protected:
    QString path() const { return dir.filePath("config/TidewellSync/defaults.json"); }

    void writeRaw(const QByteArray &content)
    {
        QDir().mkpath(QFileInfo(path()).path());
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    QTemporaryDir dir;
};

// Two stores of one file, even spelt differently, keep each other's keys, and
// what they wrote survives them.
TEST_F(UserDefaultsTest, StoresOfOneFileShareValuesThatSurviveThem)
{
    {
        UserDefaults first(path());
        UserDefaults second(dir.filePath("config/./TidewellSync/../TidewellSync/defaults.json"));
        EXPECT_TRUE(first.setBoolean("lanDiagnostics", false));
        EXPECT_TRUE(second.setString("appearance", "dark"));
        EXPECT_TRUE(first.setStringList("dismissed", {"a", "b"}));
        second.setInteger("gone", 1);
        first.remove("gone");
        EXPECT_TRUE(second.setInteger("largest", std::numeric_limits<qint64>::max()));
        EXPECT_EQ(first.string("appearance"), "dark");
    }
    UserDefaults reread(path());
    EXPECT_EQ(reread.integer("largest"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(reread.boolean("lanDiagnostics"), false);
    EXPECT_EQ(reread.string("appearance"), "dark");
    EXPECT_EQ(reread.stringList("dismissed"), (QStringList{"a", "b"}));
    EXPECT_FALSE(reread.contains("gone"));
}

// A value of another type reads as absent, so callers fall back to their
// default instead of reading true as 1 or "5" as 5.
TEST_F(UserDefaultsTest, WrongTypesReadAsAbsent)
{
    const struct
    {
        const char *storedJson;
        std::optional<bool> asBool;
        std::optional<qint64> asInteger;
        std::optional<QString> asString;
        std::optional<QStringList> asList;
    } cases[] = {
        {"true", true, {}, {}, {}},
        {"2.5", {}, {}, {}, {}},
        {"9007199254740993", {}, 9007199254740993, {}, {}},
        {"-9223372036854775808", {}, std::numeric_limits<qint64>::min(), {}, {}},
        {"9223372036854775808", {}, {}, {}, {}},
        {"\"5\"", {}, {}, "5", {}},
        {"[\"a\"]", {}, {}, {}, QStringList{"a"}},
        {"[\"a\", 1]", {}, {}, {}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.storedJson);
        writeRaw(QByteArray("{\"key\": ") + c.storedJson + "}");
        UserDefaults defaults(path());
        EXPECT_EQ(defaults.boolean("key"), c.asBool);
        EXPECT_EQ(defaults.integer("key"), c.asInteger);
        EXPECT_EQ(defaults.string("key"), c.asString);
        EXPECT_EQ(defaults.stringList("key"), c.asList);
    }
}

TEST_F(UserDefaultsTest, NonObjectFileIsCopiedAsideBeforeItIsReplaced)
{
    writeRaw("[1, 2]");
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    EXPECT_TRUE(UserDefaults(path()).setInteger("manualUpLimitKbps", 64));
    const QStringList copies = QDir(QFileInfo(path()).path()).entryList({"defaults.json.corrupt-*"});
    ASSERT_EQ(copies.size(), 1);
    EXPECT_GE(copies[0].section('-', -1).toLongLong(), before);
    QFile copy(QFileInfo(path()).dir().filePath(copies[0]));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), "[1, 2]");
    EXPECT_EQ(UserDefaults(path()).integer("manualUpLimitKbps"), 64);

    // A file where a directory should be makes the write fail; the value
    // stays in memory.
    UserDefaults blocked(path() + "/inside.json");
    EXPECT_FALSE(blocked.setBoolean("flag", true));
    EXPECT_EQ(blocked.boolean("flag"), true);
}

TEST(UserDefaultsPathTest, FollowsXdgConfigHome)
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const bool wasSet = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/xdg-test-config");
    EXPECT_EQ(UserDefaults::standardFilePath(), "/tmp/xdg-test-config/TidewellSync/defaults.json");
    qputenv("XDG_CONFIG_HOME", "relative/config");
    EXPECT_TRUE(UserDefaults::standardFilePath().endsWith("/.config/TidewellSync/defaults.json"));
    if (wasSet)
        qputenv("XDG_CONFIG_HOME", saved);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

} // namespace
} // namespace tw
