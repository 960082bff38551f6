// How the real Syncthing reads a removal's protection line: it trims white
// space off each line, so a name that ends in one must still keep that
// subfolder out, and only it.

#include "app/removal/PurgePaths.h"

#include "SyncthingInstance.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(ProtectionLineIntegrationTest, ANameEndingInASpaceKeepsItselfAndNotItsSiblingOut)
{
    SyncthingInstance instance;
    instance.start();
    const QString id = QStringLiteral("tdw-5ace0001");
    const QString root = instance.root() + QStringLiteral("/folders/") + id;
    SyncthingInstance::writeFile(root + QStringLiteral("/Notes /kept.txt"), "out");
    SyncthingInstance::writeFile(root + QStringLiteral("/Notes/b.txt"), "in");
    SyncthingInstance::writeFile(root + QStringLiteral("/Notes/c.txt"), "in");
    // As a new folder's lines are written: in place before its first scan.
    const QString line = QLatin1Char('/') + escapeGlob(canonicalRel(QStringLiteral("/Notes ")).value());
    SyncthingInstance::writeFile(root + QStringLiteral("/.stignore"), line.toUtf8() + '\n');
    instance.putFolder(id);
    EXPECT_TRUE(instance.waitUntilIndexed(id, 3));  // "Notes" and its two files
    const QJsonArray read =
        instance.get(QStringLiteral("/rest/db/ignores?folder=") + id).json().object().value("ignore").toArray();
    EXPECT_EQ(read, QJsonArray({line}));
}

} // namespace
} // namespace tw
