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
        {"-9223372036854775808", std::numeric_limits<qint64>::min()},
        {"-9223372036854775809", std::nullopt},
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

// The pass keeps out of the engine's folders, passes over links, leaves a file
// without a birth time alone and goes on past a refused write.
TEST(FileDatesTest, TreePassReconcilesOnlyTheFolderItsOwnFiles)
{
    QTemporaryDir dir;
    const QStringList reconciled{QStringLiteral(".stversionsX/kept"), QStringLiteral("a"),
                                 QStringLiteral("sub/deeper/inner.txt")};
    const QStringList left{QStringLiteral("undated"), QStringLiteral(".stfolder/marker"),
                           QStringLiteral("sub/.stversions/old.txt"), QStringLiteral(".stignore")};
    for (const QString &file : reconciled + left) {
        QDir().mkpath(QFileInfo(dir.filePath(file)).path());
        ASSERT_TRUE(writeFile(dir.filePath(file))) << file.toStdString();
    }
    QTemporaryDir outside;
    const QString target = outside.filePath(QStringLiteral("target"));
    ASSERT_TRUE(writeFile(target));
    ASSERT_TRUE(QFile::link(target, dir.filePath(QStringLiteral("link"))));
    QStringList attempted;
    const FileDateAccess refusing{
        [](const QString &file) { return file.endsWith("undated") ? std::nullopt : std::optional<qint64>(5); },
        [](const QString &) { return std::optional<qint64>(); },
        [&](const QString &file, qint64) { return attempted.append(file.mid(dir.path().size() + 1)), ENOTSUP; }};

    FileDates::reconcile(dir.path(), refusing);

    attempted.sort();
    EXPECT_EQ(attempted, reconciled);
    // Handed a link, it acts on the link itself, never on its target.
    if (!fileDatesSupported(outside.path()))
        GTEST_SKIP() << "no birth times or user attributes in " << outside.path().toStdString();
    FileDates::reconcileFile(dir.filePath(QStringLiteral("link")));
    EXPECT_EQ(rawCrtime(target), std::nullopt);
}

} // namespace
} // namespace tw
