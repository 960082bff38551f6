#include "utilities/UserDefaults.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <optional>
#include <gtest/gtest.h>
#include <limits>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tw {
namespace {

class UserDefaultsTest : public ::testing::Test
{
protected:
    QString path() const { return dir.filePath("defaults.json"); }

    void writeRaw(const QByteArray &content)
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    QTemporaryDir dir;
};

// Two stores of one file, even spelt differently, keep each other's keys: the
// second write keeps the first. The first write makes the file's folder.
TEST_F(UserDefaultsTest, StoresOfOneFileKeepEachOthersKeys)
{
    {
        UserDefaults first(dir.filePath("config/defaults.json"));
        UserDefaults second(dir.filePath("config/./sub/../defaults.json"));
        EXPECT_TRUE(first.setBoolean("lanDiagnostics", false));
        EXPECT_TRUE(second.setString("appearance", "dark"));
    }
    UserDefaults reread(dir.filePath("config/defaults.json"));
    EXPECT_EQ(reread.boolean("lanDiagnostics"), false);
}

// A value of another type reads as absent, so callers fall back to their
// default instead of reading 2.5 as 2 or "5" as 5. None holds a Boolean.
TEST_F(UserDefaultsTest, WrongTypesReadAsAbsent)
{
    const struct
    {
        const char *storedJson;
        std::optional<qint64> asInteger;
        std::optional<QString> asString;
        std::optional<QStringList> asList;
    } cases[] = {
        {"2.5", {}, {}, {}},
        {"9007199254740993", 9007199254740993, {}, {}},
        {"9223372036854775807", std::numeric_limits<qint64>::max(), {}, {}},
        {"-9223372036854775808", std::numeric_limits<qint64>::min(), {}, {}},
        {"9223372036854775808", {}, {}, {}},
        {"\"5\"", {}, "5", {}},
        {"[\"a\"]", {}, {}, QStringList{"a"}},
        {"[\"a\", 1]", {}, {}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.storedJson);
        writeRaw(QByteArray("{\"key\": ") + c.storedJson + "}");
        UserDefaults defaults(path());
        EXPECT_EQ(defaults.boolean("key"), std::nullopt);
        EXPECT_EQ(defaults.integer("key"), c.asInteger);
        EXPECT_EQ(defaults.string("key"), c.asString);
        EXPECT_EQ(defaults.stringList("key"), c.asList);
    }
}

TEST_F(UserDefaultsTest, NonObjectFileIsCopiedAsideBeforeTheFirstWrite)
{
    writeRaw("[1, 2]");
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    EXPECT_TRUE(UserDefaults(path()).setInteger("manualUpLimitKbps", 64));
    const QStringList copies = QDir(dir.path()).entryList({"defaults.json.corrupt-*"});
    ASSERT_EQ(copies.size(), 1);
    EXPECT_GE(copies[0].section('-', -1).toLongLong(), before);
    EXPECT_LE(copies[0].section('-', -1).toLongLong(), QDateTime::currentSecsSinceEpoch());
    QFile copy(dir.filePath(copies[0]));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), "[1, 2]");
}

// Runs `body` with this thread's file-permission overrides off, so that a
// file of mode 000 cannot be read here even by root. Capabilities are per
// thread and stay permitted: they come back afterwards.
void withoutPermissionOverrides(const std::function<void()> &body)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved[2] = {};
    ASSERT_EQ(::syscall(SYS_capget, &header, saved), 0);
    __user_cap_data_struct reduced[2] = {saved[0], saved[1]};
    reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    ASSERT_EQ(::syscall(SYS_capset, &header, reduced), 0);
    body();
    ASSERT_EQ(::syscall(SYS_capset, &header, saved), 0);
}

// The user's settings in a file this process cannot read are worth more than
// the one it is changing.
TEST_F(UserDefaultsTest, AFileThatCannotBeReadIsNeverWrittenOver)
{
    writeRaw(R"({"appearance": "dark"})");
    ASSERT_TRUE(QFile::setPermissions(path(), {}));
    std::optional<UserDefaults> defaults;
    withoutPermissionOverrides([&] { defaults.emplace(path()); });
    EXPECT_FALSE(defaults->setBoolean("lanDiagnostics", true));
    ASSERT_TRUE(QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner));
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), R"({"appearance": "dark"})");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"defaults.json"});
    ASSERT_TRUE(QFile::remove(path()));
    EXPECT_TRUE(defaults->setBoolean("lanDiagnostics", true)) << "written once the file is gone";
}

// Left by a process that ended between writing the file and renaming it;
// removed only while no store of the file is alive, as one may be saving.
TEST_F(UserDefaultsTest, LeftoversOfSavesGoWhenTheFirstStoreOfTheFileIsMade)
{
    for (const QString name : {"defaults.json.x1Y2z3", "defaults.json.corrupt-17", "defaults.json.x1Y2z", "a.json.abcdef"}) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    UserDefaults first(path());
    QFile later(path() + ".AAAAAA");
    ASSERT_TRUE(later.open(QIODevice::WriteOnly));
    UserDefaults second(path());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files, QDir::Name),
              QStringList({"a.json.abcdef", "defaults.json.AAAAAA", "defaults.json.corrupt-17", "defaults.json.x1Y2z"}));
}

} // namespace
} // namespace tw
