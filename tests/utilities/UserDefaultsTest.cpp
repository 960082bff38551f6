#include "utilities/UserDefaults.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tw {
namespace {

class UserDefaultsTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString path() const { return dir.filePath(QStringLiteral("config/TidewellSync/defaults.json")); }

    void writeRaw(const QByteArray &content)
    {
        UserDefaults(path()).setBoolean(QStringLiteral("seed"), true);  // creates the directories
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    QTemporaryDir dir;
};

TEST_F(UserDefaultsTest, ValuesSurviveANewStore)
{
    {
        UserDefaults defaults(path());
        EXPECT_TRUE(defaults.setInteger(QStringLiteral("manualDownLimitKbps"), 512));
        EXPECT_TRUE(defaults.setBoolean(QStringLiteral("lanDiagnostics"), false));
        EXPECT_TRUE(defaults.setString(QStringLiteral("appearance"), QStringLiteral("dark")));
        EXPECT_TRUE(defaults.setStringList(QStringLiteral("dismissed"), {QStringLiteral("a"), QStringLiteral("b")}));
    }
    UserDefaults reread(path());
    EXPECT_EQ(reread.integer(QStringLiteral("manualDownLimitKbps")), 512);
    EXPECT_EQ(reread.boolean(QStringLiteral("lanDiagnostics")), false);
    EXPECT_EQ(reread.string(QStringLiteral("appearance")), QStringLiteral("dark"));
    EXPECT_EQ(reread.stringList(QStringLiteral("dismissed")), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
}

struct TypedCase
{
    const char *storedJson;
    std::optional<bool> asBool;
    std::optional<qint64> asInteger;
    std::optional<QString> asString;
    std::optional<QStringList> asList;
};

class UserDefaultsTypedTest : public UserDefaultsTest, public ::testing::WithParamInterface<TypedCase>
{
};

// A value of another type reads as absent, so callers fall back to their
// default instead of reading true as 1 or "5" as 5.
TEST_P(UserDefaultsTypedTest, WrongTypesReadAsAbsent)
{
    writeRaw(QByteArray("{\"key\": ") + GetParam().storedJson + "}");
    UserDefaults defaults(path());
    const QString key = QStringLiteral("key");
    EXPECT_TRUE(defaults.contains(key));
    EXPECT_EQ(defaults.boolean(key), GetParam().asBool);
    EXPECT_EQ(defaults.integer(key), GetParam().asInteger);
    EXPECT_EQ(defaults.string(key), GetParam().asString);
    EXPECT_EQ(defaults.stringList(key), GetParam().asList);
}

INSTANTIATE_TEST_SUITE_P(
    Stored, UserDefaultsTypedTest,
    ::testing::Values(TypedCase{"true", true, std::nullopt, std::nullopt, std::nullopt},
                      TypedCase{"1", std::nullopt, 1, std::nullopt, std::nullopt},
                      TypedCase{"0", std::nullopt, 0, std::nullopt, std::nullopt},
                      TypedCase{"-25", std::nullopt, -25, std::nullopt, std::nullopt},
                      TypedCase{"2.5", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
                      TypedCase{"1e300", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
                      TypedCase{"\"5\"", std::nullopt, std::nullopt, QStringLiteral("5"), std::nullopt},
                      TypedCase{"null", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
                      TypedCase{"[\"a\"]", std::nullopt, std::nullopt, std::nullopt, QStringList{QStringLiteral("a")}},
                      TypedCase{"[\"a\", 1]", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
                      TypedCase{"{\"enabled\": true}", std::nullopt, std::nullopt, std::nullopt, std::nullopt}));

TEST_F(UserDefaultsTest, UnreadableFileIsAnEmptyStoreAndIsReplacedOnWrite)
{
    writeRaw("{ not json");
    UserDefaults defaults(path());
    EXPECT_FALSE(defaults.contains(QStringLiteral("seed")));
    defaults.setInteger(QStringLiteral("manualUpLimitKbps"), 64);

    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonDocument written = QJsonDocument::fromJson(file.readAll());
    EXPECT_EQ(written.object().value(QStringLiteral("manualUpLimitKbps")).toInteger(), 64);
}

TEST_F(UserDefaultsTest, TopLevelThatIsNoObjectIsAnEmptyStore)
{
    writeRaw("[1, 2]");
    EXPECT_FALSE(UserDefaults(path()).contains(QStringLiteral("seed")));
}

TEST_F(UserDefaultsTest, RemoveForgetsTheKeyOnDisk)
{
    UserDefaults defaults(path());
    defaults.setInteger(QStringLiteral("manualDownLimitKbps"), 1);
    defaults.remove(QStringLiteral("manualDownLimitKbps"));
    EXPECT_FALSE(UserDefaults(path()).contains(QStringLiteral("manualDownLimitKbps")));
}

TEST_F(UserDefaultsTest, UnwritableLocationKeepsTheValueInMemory)
{
    writeRaw("{}");
    // A file where the directory should be makes the write fail.
    UserDefaults defaults(path() + QStringLiteral("/inside.json"));
    EXPECT_FALSE(defaults.setBoolean(QStringLiteral("flag"), true));
    EXPECT_EQ(defaults.boolean(QStringLiteral("flag")), true);
}

TEST(UserDefaultsPathTest, FollowsXdgConfigHome)
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const bool wasSet = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/xdg-test-config");
    EXPECT_EQ(UserDefaults::standardFilePath(), QStringLiteral("/tmp/xdg-test-config/TidewellSync/defaults.json"));
    qputenv("XDG_CONFIG_HOME", "relative/config");
    EXPECT_TRUE(UserDefaults::standardFilePath().endsWith(QStringLiteral("/.config/TidewellSync/defaults.json")));
    if (wasSet)
        qputenv("XDG_CONFIG_HOME", saved);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

} // namespace
} // namespace tw
