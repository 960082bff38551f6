#include "app/removal/PurgeFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tw {
namespace {

// A folder root holding a file and a subfolder, a link to a place outside,
// a link to a folder inside, a dangling link and a link to a sibling whose
// name begins with the root's; the data home is set for this test alone.
TEST(PurgeFilesTest, ContainmentLinksSizeAndTrash)
{
    QTemporaryDir temp;
    const QString root = temp.filePath("root");
    ASSERT_TRUE(QDir().mkpath(root + "/dir/sub") && QDir().mkpath(temp.filePath("outside")) &&
                QDir().mkpath(temp.filePath("root-other")));
    QFile file(root + "/dir/file");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(QByteArray(5000, 'x')) == 5000 && file.flush());
    ASSERT_TRUE(QFile::copy(root + "/dir/file", root + "/dir/sub/copy"));
    ASSERT_TRUE(QFile::link(temp.filePath("outside"), root + "/out") && QFile::link(root + "/dir", root + "/in") &&
                QFile::link(temp.filePath("gone"), root + "/dangling") &&
                QFile::link(temp.filePath("root-other"), root + "/sibling"));
    for (const auto &[relative, contained] : {std::pair{"dir/file", true}, {"no/such/x", true}, {"in/x", true},
                                             {"out", true}, {"out/x", false}, {"dangling/x", false},
                                             {"sibling/x", false}})
        EXPECT_EQ(purgeTargetContained(root, relative), contained) << relative;
    EXPECT_FALSE(purgeTargetContained("root", "dir"));
    // Beyond what the file system takes, and past Qt's 16-bit path offsets.
    for (const QString &tooLong : {QString("/f").repeated(19'153), QString("d/").repeated(2'500)})
        EXPECT_FALSE(purgeTargetContained(root, tooLong));
    EXPECT_TRUE(purgeTargetIsSymLink(root + "/out") && !purgeTargetIsSymLink(root + "/dir"));
    EXPECT_FALSE(purgeTargetIsSymLink(root + "/none") || purgeTargetExists(root + "/none"));
    const qint64 fileSize = itemSize(root + "/dir/file");
    EXPECT_TRUE(fileSize >= 5000 && itemSize(root + "/none") == 0);
    EXPECT_EQ(itemSize(root + "/dir"), 2 * fileSize);

    const QByteArray savedDataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", temp.filePath("data/home").toUtf8());
    EXPECT_EQ(discardPurgeTarget(root + "/dir"), 2 * fileSize);
    EXPECT_TRUE(!purgeTargetExists(root + "/dir") && QFile::exists(temp.filePath("data/home/Trash/files/dir/sub/copy")));
    // A data home that cannot be made: removed outright instead.
    ASSERT_TRUE(QFile(temp.filePath("blocker")).open(QIODevice::WriteOnly));
    qputenv("XDG_DATA_HOME", temp.filePath("blocker/data").toUtf8());
    EXPECT_TRUE(discardPurgeTarget(root + "/out"));
    EXPECT_TRUE(!purgeTargetExists(root + "/out") && QDir(temp.filePath("outside")).exists());
    EXPECT_EQ(discardPurgeTarget(root + "/none"), std::nullopt);
    savedDataHome.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", savedDataHome);
}

} // namespace
} // namespace tw
