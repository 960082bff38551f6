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

// A creation date travels between two real instances as an extended
// attribute, and no other attribute goes with it.

using namespace std::chrono_literals;

namespace tw {
namespace {

const QString kFolderID = QStringLiteral("tdw-c7e4da7e");
const QByteArray kCreated = QByteArrayLiteral("1234567890");

TEST(CreationDateIntegrationTest, AttributeArrivesOnTheOtherInstance)
{
    SyncthingInstance a(QStringLiteral("127.0.0.1"), QStringLiteral("Anna"));
    SyncthingInstance b(QStringLiteral("127.0.0.2"), QStringLiteral("Bert"));
    const QString pathA = a.root() + "/dated";
    const QString pathB = b.root() + "/dated";
    // Both homes lie on the temporary folder's file system.
    if (::setxattr(QFile::encodeName(a.root()).constData(), "user.tidewell.probe", "1", 1, 0) != 0)
        GTEST_SKIP() << a.root().toStdString() << " refuses user attributes: " << std::strerror(errno);
    QDir().mkpath(pathA);
    QDir().mkpath(pathB);
    a.start();
    b.start();
    a.pairWith(b);
    const auto engineA = a.startedEngine();
    const auto engineB = b.startedEngine();
    // Metadata sync is on by default.
    NewFolderRequest request;
    request.id = kFolderID;
    request.path = pathA;
    awaitTask(engineA->addFolder(request));
    request.path = pathB;
    awaitTask(engineB->addFolder(request));
    awaitTask(engineA->shareFolder(kFolderID, b.deviceID()));
    awaitTask(engineB->shareFolder(kFolderID, a.deviceID()));

    const QString fileA = pathA + "/photo.jpg";
    ASSERT_TRUE(test::writeFile(fileA, QByteArrayLiteral("not really a photo\n")));
    ASSERT_TRUE(test::setRawCrtime(fileA, kCreated));
    ASSERT_EQ(::setxattr(QFile::encodeName(fileA).constData(), "user.tidewell.test.other", "x", 1, 0), 0);
    awaitTask(engineA->scanFolder(kFolderID));

    const QString fileB = pathB + "/photo.jpg";
    EXPECT_TRUE(test::waitUntil([&] { return test::rawCrtime(fileB) == kCreated; }, 90s))
        << "on B: " << test::rawCrtime(fileB).value_or("(none)").toStdString() << ", file arrived: " << QFile::exists(fileB);
    // The filter lets nothing else through.
    char buffer[8];
    EXPECT_LT(::getxattr(QFile::encodeName(fileB).constData(), "user.tidewell.test.other", buffer, sizeof buffer), 0);
}

} // namespace
} // namespace tw
