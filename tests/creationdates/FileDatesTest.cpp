#include "creationdates/FileDates.h"

#include "FileDatesSupport.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <limits>

namespace tw {
namespace {

using test::rawCrtime;
using test::setRawCrtime;
using test::writeFile;

TEST(FileDatesTest, ParsesAttributeText)
{
    const struct
    {
        QByteArray text;
        std::optional<qint64> expected;
    } cases[] = {
        {"1700000000", 1700000000},
        {" \t42 \t", 42},
        {"+7", 7},
        {"-5", -5},
        {"9223372036854775807", std::numeric_limits<qint64>::max()},
        {"9223372036854775808", std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"+-3", std::nullopt},
        {"12a", std::nullopt},
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

TEST(FileDatesTest, FileWithoutBirthTimeIsLeftAlone)
{
    int writes = 0;
    const FileDateAccess noBirthTime{[](const QString &) { return std::optional<qint64>(); },
                                     [](const QString &) { return std::optional<qint64>(5); },
                                     [&writes](const QString &, qint64) { return ++writes, 0; }};
    FileDates::reconcileFile(QStringLiteral("/anything"), noBirthTime);
    EXPECT_EQ(writes, 0);
}

class FileDatesOnDisk : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        if (const auto reason = test::fileDatesUnsupportedReason(m_dir.path()))
            GTEST_SKIP() << reason->toStdString();
    }

    QString path(const QString &relative) const { return m_dir.filePath(relative); }

    QString makeFile(const QString &relative)
    {
        const QString file = path(relative);
        QDir().mkpath(QFileInfo(file).path());
        EXPECT_TRUE(writeFile(file)) << relative.toStdString();
        return file;
    }

    QTemporaryDir m_dir;
};

TEST_F(FileDatesOnDisk, TreePassLowersAttributesAndKeepsOutOfEngineFoldersAndLinks)
{
    const QStringList reconciled{QStringLiteral("top.txt"), QStringLiteral("sub/deeper/inner.txt"),
                                 QStringLiteral(".hidden"), QStringLiteral("sub/.stversionsX/kept")};
    const QStringList skipped{QStringLiteral(".stfolder/marker"), QStringLiteral(".stversions/old.txt"),
                              QStringLiteral(".stignore"), QStringLiteral("sub/.stversions/deep/old.txt"),
                              QStringLiteral("sub/.stignore/inside.txt")};
    for (const QString &file : reconciled + skipped)
        makeFile(file);
    const auto birth = [this](const QString &file) { return *FileDates::birthtime(path(file)); };
    // Without an attribute, later, unreadable: each gets the birth time.
    ASSERT_TRUE(setRawCrtime(path(reconciled[1]), QByteArray::number(birth(reconciled[1]) + 3600)));
    ASSERT_TRUE(setRawCrtime(path(reconciled[2]), "yesterday"));
    const QString earlier = makeFile(QStringLiteral("earlier"));
    const QByteArray earlierDate = QByteArray::number(*FileDates::birthtime(earlier) - 86400);
    ASSERT_TRUE(setRawCrtime(earlier, earlierDate));
    QTemporaryDir outside;
    const QString target = outside.filePath(QStringLiteral("target"));
    ASSERT_TRUE(writeFile(target));
    ASSERT_TRUE(QFile::link(target, path(QStringLiteral("link"))));

    FileDates::reconcileFile(path(QStringLiteral("link")));  // acts on the link itself, never its target
    FileDates::reconcile(m_dir.path());

    for (const QString &file : reconciled)
        EXPECT_EQ(rawCrtime(path(file)), QByteArray::number(birth(file))) << file.toStdString();
    EXPECT_EQ(rawCrtime(earlier), earlierDate);
    for (const QString &file : skipped)
        EXPECT_EQ(rawCrtime(path(file)), std::nullopt) << file.toStdString();
    EXPECT_EQ(rawCrtime(target), std::nullopt);
    FileDates::reconcile(path(QStringLiteral("absent")));
}

TEST_F(FileDatesOnDisk, UnsupportedAttributesAreIgnored)
{
    const QStringList files{QStringLiteral("a"), QStringLiteral("b/c"), QStringLiteral("b/d/e")};
    for (const QString &file : files)
        makeFile(file);
    QStringList attempted;
    FileDateAccess refusing = FileDateAccess::system();
    refusing.crtimeXattrValue = [](const QString &) { return std::optional<qint64>(); };
    refusing.setCrtimeXattr = [&attempted](const QString &file, qint64) {
        attempted.append(file);
        return ENOTSUP;
    };

    FileDates::reconcile(m_dir.path(), refusing);

    attempted.sort();
    QStringList expected;
    for (const QString &file : files)
        expected.append(path(file));
    EXPECT_EQ(attempted, expected);
}

} // namespace
} // namespace tw
