#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "FileDatesSupport.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"

#include <QDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/xattr.h>

using namespace std::chrono_literals;

namespace tw {
namespace {

const QString kFolderID = QStringLiteral("tdw-c7e4da7e");
const QByteArray kCreated = QByteArrayLiteral("1234567890");
const char *const kOtherAttribute = "user.tidewell.test.other";

// Why "user." attributes cannot be set in this directory, or nothing.
std::optional<QString> userAttributesUnsupported(const QString &directory)
{
    const QString probe = directory + "/xattr-probe";
    if (!test::writeFile(probe))
        return QStringLiteral("cannot write in ") + directory;
    const int result = ::setxattr(QFile::encodeName(probe).constData(), "user.tidewell.probe", "1", 1, 0);
    const int error = errno;
    QFile::remove(probe);
    if (result == 0)
        return std::nullopt;
    return QStringLiteral("the file system of %1 refuses user attributes: %2").arg(directory, std::strerror(error));
}

NewFolderRequest sharedFolder(const QString &path)
{
    NewFolderRequest request;
    request.id = kFolderID;
    request.path = path;
    request.syncMetadata = true;
    return request;
}

TEST(CreationDateIntegrationTest, AttributeArrivesOnTheOtherInstance)
{
    SyncthingInstance a(QStringLiteral("127.0.0.1"), QStringLiteral("Anna"));
    SyncthingInstance b(QStringLiteral("127.0.0.2"), QStringLiteral("Bert"));
    const QString pathA = a.root() + "/dated";
    const QString pathB = b.root() + "/dated";
    QDir().mkpath(pathA);
    QDir().mkpath(pathB);
    for (const QString &directory : {pathA, pathB}) {
        if (const auto reason = userAttributesUnsupported(directory))
            GTEST_SKIP() << reason->toStdString();
    }

    a.start();
    b.start();
    const auto engineA = a.makeEngine();
    const auto engineB = b.makeEngine();
    awaitTask(engineA->start());
    awaitTask(engineB->start());
    a.pairWith(b);
    awaitTask(engineA->addFolder(sharedFolder(pathA)));
    awaitTask(engineB->addFolder(sharedFolder(pathB)));
    awaitTask(engineA->shareFolder(kFolderID, b.deviceID()));
    awaitTask(engineB->shareFolder(kFolderID, a.deviceID()));
    ASSERT_TRUE(a.waitUntilConnected(b.deviceID()));

    const QString fileA = pathA + "/photo.jpg";
    ASSERT_TRUE(test::writeFile(fileA, QByteArrayLiteral("not really a photo\n")));
    ASSERT_TRUE(test::setRawCrtime(fileA, kCreated));
    ASSERT_EQ(::setxattr(QFile::encodeName(fileA).constData(), kOtherAttribute, "x", 1, 0), 0);
    awaitTask(engineA->scanFolder(kFolderID));

    const QString fileB = pathB + "/photo.jpg";
    EXPECT_TRUE(test::waitUntil([&] { return test::rawCrtime(fileB) == kCreated; }, 90s))
        << "on B: " << test::rawCrtime(fileB).value_or("(none)").toStdString() << ", file arrived: " << QFile::exists(fileB);
    // The filter lets nothing else through.
    char buffer[8];
    EXPECT_LT(::getxattr(QFile::encodeName(fileB).constData(), kOtherAttribute, buffer, sizeof buffer), 0);
}

} // namespace
} // namespace tw
