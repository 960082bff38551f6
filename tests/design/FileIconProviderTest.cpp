#include "design/FileIconProvider.h"
#include "design/Symbol.h"

#include "AwaitTask.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tw;

namespace {

QImage generic(Symbol symbol)
{
    const QSize side(FileIconProvider::imageSide, FileIconProvider::imageSide);
    return symbolIcon(symbol).pixmap(side).toImage();
}

} // namespace

// The path alone is the key: once cached, asking for it as a volume still
// answers the folder icon, until the cache is emptied.
TEST(FileIconProviderTest, AMissingPathKeepsItsGenericIconUntilTheCacheIsCleared)
{
    ASSERT_FALSE(generic(Symbol::Folder) == generic(Symbol::Drive));
    QTemporaryDir root;
    const QString path = root.filePath(QStringLiteral("gone"));
    FileIconProvider::clearCache();
    EXPECT_TRUE(awaitTask(FileIconProvider::loadAsync(path, false)) == generic(Symbol::Folder));
    EXPECT_TRUE(awaitTask(FileIconProvider::loadAsync(path, true)) == generic(Symbol::Folder));
    FileIconProvider::clearCache();
    EXPECT_FALSE(FileIconProvider::cached(path));
    EXPECT_TRUE(awaitTask(FileIconProvider::loadAsync(path, true)) == generic(Symbol::Drive));
}
