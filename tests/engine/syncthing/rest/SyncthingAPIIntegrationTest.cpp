#include "engine/SyncEngineError.h"
#include "engine/syncthing/rest/SyncthingAPI.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <algorithm>
#include <memory>

namespace tw {
namespace {

// What the fake server cannot show: how the real Syncthing reads the requests
// this client forms, and whether its real answers decode.
class SyncthingAPIIntegrationTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_instance = std::make_unique<SyncthingInstance>();
        s_instance->start();
    }
    static void TearDownTestSuite() { s_instance.reset(); }

    static SyncthingAPI api() { return SyncthingAPI(s_instance->baseURL(), s_instance->apiKey()); }

    static STFolderWrite folderAt(const QString &id, const QString &path)
    {
        return {.id = id, .label = "Label", .path = path, .type = "sendreceive",
                .devices = {STDeviceRef{s_instance->deviceID(), std::nullopt, std::nullopt}}, .paused = false,
                .fsWatcherEnabled = true, .rescanIntervalS = 900,
                .versioning = {"trashcan", QMap<QString, QString>{{"cleanoutDays", "0"}}}, .sendXattrs = false,
                .syncXattrs = false, .copyRangeMethod = "all", .xattrFilter = STXattrFilter::syncedXattrs()};
    }

    static std::optional<STFolderRead> findFolder(const QString &id)
    {
        const QList<STFolderRead> folders = awaitTask(api().getFolders());
        const auto it = std::find_if(folders.begin(), folders.end(), [&](const STFolderRead &f) { return f.id == id; });
        return it == folders.end() ? std::nullopt : std::optional(*it);
    }

    static inline std::unique_ptr<SyncthingInstance> s_instance;
};

// "+" would read as a space in a query if it were sent literally.
TEST_F(SyncthingAPIIntegrationTest, IdentifiersWithReservedCharactersRoundTrip)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const SyncthingAPI client = api();
    for (const QString &id : {QStringLiteral("tw+plus and space"), QStringLiteral("tw%25&x=y?#")}) {
        SCOPED_TRACE(id.toStdString());
        awaitTask(client.putFolder(folderAt(id, dir.path())));
        ASSERT_TRUE(findFolder(id).has_value());
        awaitTask(client.patchFolder(id, QJsonObject{{QStringLiteral("label"), QStringLiteral("Renamed")}}));
        EXPECT_EQ(findFolder(id)->label, QStringLiteral("Renamed"));
        const QStringList lines{QStringLiteral("*.tmp"), QStringLiteral("// note")};
        awaitTask(client.setIgnores(id, lines));
        EXPECT_EQ(awaitTask(client.getIgnores(id)), lines);
        awaitTask(client.scan(id));
        awaitTask(client.folderStatus(id));
        awaitTask(client.need(id));
        awaitTask(client.browse(id, QStringLiteral("sub dir+x")));
        EXPECT_TRUE(awaitTask(client.folderVersions(id)).isEmpty());
        awaitTask(client.restoreVersions(id, {}));
        awaitTask(client.deleteFolder(id));
        EXPECT_FALSE(findFolder(id).has_value());
    }
}

// Syncthing ends its error texts with a line break; it stays.
TEST_F(SyncthingAPIIntegrationTest, FailuresKeepSyncthingsStatusAndText)
{
    const auto wrongKey = failureOf(SyncthingAPI(s_instance->baseURL(), QStringLiteral("wrong-key")).ping());
    ASSERT_TRUE(wrongKey);
    EXPECT_EQ(wrongKey->kind(), SyncEngineError::Kind::Http);
    EXPECT_EQ(wrongKey->statusCode(), 403);

    const auto unknown = failureOf(api().folderVersions(QStringLiteral("tw-unknown")));
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->statusCode(), 500);
    EXPECT_EQ(unknown->payload(), QStringLiteral("no such folder\n"));
}

} // namespace
} // namespace tw
