#include "engine/FileDates.h"

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
    struct Case
    {
        QByteArray text;
        std::optional<qint64> expected;
    };
    const Case cases[] = {
        {"1700000000", 1700000000},
        {" \t42 \t", 42},
        {"+7", 7},
        {"-5", -5},
        {"0", 0},
        {"007", 7},
        {"9223372036854775807", std::numeric_limits<qint64>::max()},
        {"9223372036854775808", std::nullopt},
        {"", std::nullopt},
        {"  ", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"+-3", std::nullopt},
        {"- 3", std::nullopt},
        {"12a", std::nullopt},
        {"1.5", std::nullopt},
        {"1e3", std::nullopt},
        {"0x10", std::nullopt},
        {"42\n", std::nullopt},
        {QByteArray("42\0", 3), std::nullopt},
        {"\xd9\xa3", std::nullopt},  // an Arabic-Indic digit three
        {"\xff" "12", std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(FileDates::parseCrtime(c.text), c.expected) << c.text.toStdString();
}

TEST(FileDatesTest, AttributeTakesTheEarlierDate)
{
    struct Case
    {
        const char *name;
        qint64 birthtime;
        std::optional<qint64> attribute;
        std::optional<qint64> written;
    };
    const Case cases[] = {
        {"missing attribute gets the birth time", 1000, std::nullopt, 1000},
        {"later attribute is lowered", 1000, 5000, 1000},
        {"one second later still counts", 1000, 1001, 1000},
        {"earlier attribute stays", 1000, 400, std::nullopt},
        {"one second earlier stays", 1000, 999, std::nullopt},
        {"equal attribute is not touched", 1000, 1000, std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(FileDates::attributeToWrite(c.birthtime, c.attribute), c.written) << c.name;
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

TEST_F(FileDatesOnDisk, ReconcilesOneFile)
{
    struct Case
    {
        const char *name;
        std::optional<qint64> attributeOffset;  // from the birth time; nothing = no attribute
        const char *rawAttribute;               // used instead when set
        qint64 expectedOffset;
    };
    const Case cases[] = {
        {"missing", std::nullopt, nullptr, 0},
        {"later", 3600, nullptr, 0},
        {"one second later", 1, nullptr, 0},
        {"earlier", -86400, nullptr, -86400},
        {"not a number", std::nullopt, "yesterday", 0},
    };
    for (const Case &c : cases) {
        const QString file = makeFile(QString::fromLatin1(c.name));
        const std::optional<qint64> birth = FileDates::birthtime(file);
        ASSERT_TRUE(birth) << c.name;
        if (c.attributeOffset) {
            ASSERT_TRUE(setRawCrtime(file, QByteArray::number(*birth + *c.attributeOffset)));
        }
        if (c.rawAttribute) {
            ASSERT_TRUE(setRawCrtime(file, c.rawAttribute));
        }

        FileDates::reconcileFile(file);

        EXPECT_EQ(rawCrtime(file), QByteArray::number(*birth + c.expectedOffset)) << c.name;
        EXPECT_EQ(FileDates::birthtime(file), birth) << c.name;
    }
}

TEST_F(FileDatesOnDisk, ReadsAttributeWithSpacesAndLeavesItsText)
{
    const QString file = makeFile(QStringLiteral("spaced"));
    const qint64 earlier = *FileDates::birthtime(file) - 10;
    const QByteArray text = "  " + QByteArray::number(earlier) + "\t";
    ASSERT_TRUE(setRawCrtime(file, text));

    EXPECT_EQ(FileDates::crtimeXattrValue(file), earlier);
    FileDates::reconcileFile(file);
    EXPECT_EQ(rawCrtime(file), text);
}

TEST_F(FileDatesOnDisk, TreePassKeepsOutOfEngineFolders)
{
    const QStringList reconciled{QStringLiteral("top.txt"), QStringLiteral("sub/deeper/inner.txt"),
                                 QStringLiteral(".hidden"), QStringLiteral("sub/.stversionsX/kept")};
    const QStringList skipped{QStringLiteral(".stfolder/marker"), QStringLiteral(".stversions/old.txt"),
                              QStringLiteral(".stignore"), QStringLiteral("sub/.stversions/deep/old.txt"),
                              QStringLiteral("sub/.stignore/inside.txt")};
    for (const QString &file : reconciled + skipped)
        makeFile(file);
    QTemporaryDir outside;
    const QString target = outside.filePath(QStringLiteral("target"));
    ASSERT_TRUE(writeFile(target));
    ASSERT_TRUE(QFile::link(target, path(QStringLiteral("link"))));

    FileDates::reconcile(m_dir.path());

    for (const QString &file : reconciled)
        EXPECT_EQ(rawCrtime(path(file)), QByteArray::number(*FileDates::birthtime(path(file)))) << file.toStdString();
    for (const QString &file : skipped)
        EXPECT_EQ(rawCrtime(path(file)), std::nullopt) << file.toStdString();
    EXPECT_EQ(rawCrtime(target), std::nullopt) << "a symbolic link is not followed by the tree pass";
}

TEST_F(FileDatesOnDisk, TreePassBelowAnEngineFolderDoesNothing)
{
    const QString file = makeFile(QStringLiteral(".stversions/folder/file"));
    FileDates::reconcile(path(QStringLiteral(".stversions/folder")));
    EXPECT_EQ(rawCrtime(file), std::nullopt);
}

TEST_F(FileDatesOnDisk, MissingTreeIsNoError)
{
    FileDates::reconcile(path(QStringLiteral("absent")));
    EXPECT_EQ(FileDates::setCrtimeXattr(path(QStringLiteral("absent")), 1), ENOENT);
    EXPECT_EQ(FileDates::birthtime(path(QStringLiteral("absent"))), std::nullopt);
    EXPECT_EQ(FileDates::crtimeXattrValue(path(QStringLiteral("absent"))), std::nullopt);
}

// A file system without user attributes: every read finds none and every
// write fails with ENOTSUP. The pass must try each file and carry on.
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

TEST(FileDatesTest, FileWithoutBirthTimeIsLeftAlone)
{
    int writes = 0;
    const FileDateAccess noBirthTime{[](const QString &) { return std::optional<qint64>(); },
                                     [](const QString &) { return std::optional<qint64>(5); },
                                     [&writes](const QString &, qint64) { return ++writes, 0; }};
    FileDates::reconcileFile(QStringLiteral("/anything"), noBirthTime);
    EXPECT_EQ(writes, 0);
}

} // namespace
} // namespace tw
