#include "creationdates/FileDates.h"

#include "FileDatesSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <limits>
#include <utility>

namespace tw {
namespace {

using namespace test;

TEST(FileDatesTest, ReadsTheAttributeAndKeepsTheEarlierDate)
{
    const std::pair<QByteArray, std::optional<qint64>> cases[] = {
        {" \t42 \t", 42},
        {"+7", 7},
        {"9223372036854775807", std::numeric_limits<qint64>::max()},
        {"9223372036854775808", std::nullopt},
        {"-9223372036854775808", std::numeric_limits<qint64>::min()},
        {"-9223372036854775809", std::nullopt},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(FileDates::parseCrtime(text), expected) << text.toStdString();
    // Equal values make no write, so that the write's own event ends there.
    EXPECT_EQ(FileDates::attributeToWrite(1000, std::nullopt), 1000);
    EXPECT_EQ(FileDates::attributeToWrite(1000, 1001), 1000);
    EXPECT_EQ(FileDates::attributeToWrite(1000, 999), std::nullopt);
    EXPECT_EQ(FileDates::attributeToWrite(1000, 1000), std::nullopt);
}

// A write is reported, so that the engine can be asked to index it at once.
TEST(FileDatesTest, ReconcilingAFileAnswersWhetherItWroteTheAttribute)
{
    struct Case
    {
        std::optional<qint64> birth;
        std::optional<qint64> attribute;
        int writeResult;
        bool written;
    };
    const Case cases[] = {
        {1000, std::nullopt, 0, true}, {1000, 1001, 0, true},        {1000, 1000, 0, false},
        {1000, 999, 0, false},         {1000, std::nullopt, ENOTSUP, false}, {std::nullopt, std::nullopt, 0, false},
    };
    for (const Case &c : cases) {
        const FileDateAccess access{[&](const QString &) { return c.birth; },
                                    [&](const QString &) { return c.attribute; },
                                    [&](const QString &, qint64) { return c.writeResult; }};
        EXPECT_EQ(FileDates::reconcileFile("file", access), c.written)
            << c.birth.value_or(-1) << " " << c.attribute.value_or(-1) << " " << c.writeResult;
    }
}

// The pass keeps out of the engine's folders, passes over links, leaves a file
// without a birth time alone and goes on past a refused write.
TEST(FileDatesTest, TreePassReconcilesOnlyTheFolderItsOwnFiles)
{
    QTemporaryDir dir;
    const QStringList reconciled{".stversionsX/kept", "a", "sub/deeper/inner.txt"};
    const QStringList left{"undated", ".stfolder/marker", "sub/.stversions/old.txt", ".stignore"};
    for (const QString &file : reconciled + left) {
        QDir().mkpath(QFileInfo(dir.filePath(file)).path());
        ASSERT_TRUE(writeFile(dir.filePath(file))) << file.toStdString();
    }
    ASSERT_TRUE(QFile::link(dir.filePath("a"), dir.filePath("link")));
    QStringList attempted;
    const FileDateAccess refusing{
        [](const QString &file) { return file.endsWith("undated") ? std::nullopt : std::optional<qint64>(5); },
        [](const QString &) { return std::optional<qint64>(); },
        [&](const QString &file, qint64) { return attempted.append(file.mid(dir.path().size() + 1)), ENOTSUP; }};

    // A refused write leaves nothing new for the engine to index.
    EXPECT_FALSE(FileDates::reconcile(dir.path(), refusing));

    attempted.sort();
    EXPECT_EQ(attempted, reconciled);
}

} // namespace
} // namespace tw
