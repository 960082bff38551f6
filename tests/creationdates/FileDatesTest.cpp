#include "creationdates/FileDates.h"

#include "FileDatesSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <limits>

namespace tw {
namespace {

using namespace test;

TEST(FileDatesTest, ParsesAttributeText)
{
    const struct
    {
        QByteArray text;
        std::optional<qint64> expected;
    } cases[] = {
        {" \t42 \t", 42},
        {"+7", 7},
        {"-5", -5},
        {"9223372036854775807", std::numeric_limits<qint64>::max()},
        {"9223372036854775808", std::nullopt},
        {"+", std::nullopt},
        {"42\n", std::nullopt},
        {QByteArray("42\0", 3), std::nullopt},
        {"\xd9\xa3", std::nullopt}, // an Arabic-Indic digit three
    };
    for (const auto &c : cases)
        EXPECT_EQ(FileDates::parseCrtime(c.text), c.expected) << c.text.toStdString();
}

TEST(FileDatesTest, AttributeTakesTheEarlierDate)
{
    const struct
    {
        std::optional<qint64> attribute;
        std::optional<qint64> written;
    } cases[] = {
        {std::nullopt, 1000}, {1001, 1000}, {999, std::nullopt}, {1000, std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FileDates::attributeToWrite(1000, c.attribute), c.written) << c.attribute.value_or(-1);
}

// A file without a birth time is left alone, and a refused write does not end
// the pass.
TEST(FileDatesTest, TreePassGoesOnPastFilesItCannotDate)
{
    QTemporaryDir dir;
    for (const char *name : {"undated", "a", "b"})
        ASSERT_TRUE(writeFile(dir.filePath(name)));
    QStringList attempted;
    const FileDateAccess refusing{
        [](const QString &file) { return file.endsWith("undated") ? std::nullopt : std::optional<qint64>(5); },
        [](const QString &) { return std::optional<qint64>(); },
        [&attempted](const QString &file, qint64) { return attempted.append(file), ENOTSUP; }};

    FileDates::reconcile(dir.path(), refusing);

    attempted.sort();
    EXPECT_EQ(attempted, (QStringList{dir.filePath("a"), dir.filePath("b")}));
}

TEST(FileDatesTest, TreePassKeepsOutOfEngineFoldersAndLinks)
{
    QTemporaryDir dir;
    if (!fileDatesSupported(dir.path()))
        GTEST_SKIP() << "no birth times or user attributes in " << dir.path().toStdString();
    const QStringList reconciled{QStringLiteral("sub/deeper/inner.txt"), QStringLiteral(".stversionsX/kept")};
    const QStringList skipped{QStringLiteral(".stfolder/marker"), QStringLiteral("sub/.stversions/old.txt"),
                              QStringLiteral(".stignore")};
    for (const QString &file : reconciled + skipped) {
        QDir().mkpath(QFileInfo(dir.filePath(file)).path());
        ASSERT_TRUE(writeFile(dir.filePath(file))) << file.toStdString();
    }
    QTemporaryDir outside;
    const QString target = outside.filePath(QStringLiteral("target"));
    ASSERT_TRUE(writeFile(target));
    ASSERT_TRUE(QFile::link(target, dir.filePath(QStringLiteral("link"))));

    FileDates::reconcileFile(dir.filePath(QStringLiteral("link")));  // acts on the link itself, never its target
    FileDates::reconcile(dir.path());

    for (const QString &file : reconciled)
        EXPECT_EQ(rawCrtime(dir.filePath(file)), QByteArray::number(*FileDates::birthtime(dir.filePath(file))))
            << file.toStdString();
    for (const QString &file : skipped)
        EXPECT_EQ(rawCrtime(dir.filePath(file)), std::nullopt) << file.toStdString();
    EXPECT_EQ(rawCrtime(target), std::nullopt);
}

} // namespace
} // namespace tw
