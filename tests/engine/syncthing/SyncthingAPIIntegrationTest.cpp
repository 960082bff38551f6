#include "engine/SyncEngineError.h"
#include "engine/syncthing/SyncthingAPI.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"

#include <QJsonArray>
#include <QJsonDocument>
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
        STFolderWrite folder;
        folder.id = id;
        folder.label = QStringLiteral("Label");
        folder.path = path;
        folder.type = QStringLiteral("sendreceive");
        folder.devices = {STDeviceRef{s_instance->deviceID(), std::nullopt, std::nullopt}};
        folder.rescanIntervalS = 900;
        folder.versioning = STVersioning{QStringLiteral("trashcan"), QMap<QString, QString>{{QStringLiteral("cleanoutDays"), QStringLiteral("0")}}};
        folder.copyRangeMethod = QStringLiteral("all");
        folder.xattrFilter = STXattrFilter::syncedXattrs();
        return folder;
    }

    static std::optional<STFolderRead> findFolder(const QString &id)
    {
        const QList<STFolderRead> folders = awaitTask(api().getFolders());
        const auto it = std::find_if(folders.begin(), folders.end(), [&](const STFolderRead &f) { return f.id == id; });
        return it == folders.end() ? std::nullopt : std::optional(*it);
    }

    static inline std::unique_ptr<SyncthingInstance> s_instance;
};

TEST_F(SyncthingAPIIntegrationTest, IdentifiersWithReservedCharactersRoundTrip)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const SyncthingAPI client = api();
    // "+" would read as a space in a query if it were sent literally.
    const QString ids[] = {QStringLiteral("tw+plus and space"), QStringLiteral("tw%25&x=y?#")};
    for (const QString &id : ids) {
        SCOPED_TRACE(id.toStdString());
        awaitTask(client.putFolder(folderAt(id, dir.path())));
        ASSERT_TRUE(findFolder(id).has_value());

        awaitTask(client.patchFolder(id, QJsonObject{{QStringLiteral("label"), QStringLiteral("Renamed")}}));
        EXPECT_EQ(findFolder(id)->label, QStringLiteral("Renamed"));

        const QStringList lines{QStringLiteral("*.tmp"), QStringLiteral("// note")};
        awaitTask(client.setIgnores(id, lines));
        EXPECT_EQ(awaitTask(client.getIgnores(id)), lines);

        awaitTask(client.scan(id));
        const QJsonObject status = awaitTask(client.rawDict(QStringLiteral("/rest/db/status"), {{QStringLiteral("folder"), id}}));
        EXPECT_TRUE(status.contains(QStringLiteral("state")));
        awaitTask(client.folderStatus(id));
        awaitTask(client.need(id));
        awaitTask(client.browse(id, QString()));
        awaitTask(client.browse(id, QStringLiteral("sub dir+x")));
        EXPECT_TRUE(awaitTask(client.folderVersions(id)).isEmpty());
        awaitTask(client.restoreVersions(id, {}));

        awaitTask(client.deleteFolder(id));
        EXPECT_FALSE(findFolder(id).has_value());
    }
}

TEST_F(SyncthingAPIIntegrationTest, RealAnswersDecode)
{
    const SyncthingAPI client = api();
    awaitTask(client.ping());
    EXPECT_EQ(awaitTask(client.systemStatus()).myID, s_instance->deviceID());
    const QList<STDeviceRead> devices = awaitTask(client.getDevices());
    EXPECT_TRUE(std::any_of(devices.begin(), devices.end(),
                            [](const STDeviceRead &d) { return d.deviceID == s_instance->deviceID(); }));
    EXPECT_EQ(awaitTask(client.getOptions()).globalAnnounceEnabled, std::optional(false));
    awaitTask(client.connections());
    EXPECT_TRUE(awaitTask(client.pendingDevices()).isEmpty());
    EXPECT_TRUE(awaitTask(client.pendingFolders()).isEmpty());
    awaitTask(client.completion(QString(), s_instance->deviceID()));
    EXPECT_FALSE(awaitTask(client.systemLogLines()).isEmpty());

    const QByteArray events = awaitTask(client.eventsRaw(0, 1, std::nullopt));
    EXPECT_TRUE(QJsonDocument::fromJson(events).isArray()) << events.constData();
}

TEST_F(SyncthingAPIIntegrationTest, OptionsPatchIsApplied)
{
    const SyncthingAPI client = api();
    const qint64 before = awaitTask(client.getOptions()).maxRecvKbps.value_or(0);
    awaitTask(client.patchOptions(QJsonObject{{QStringLiteral("maxRecvKbps"), before + 123}}));
    EXPECT_EQ(awaitTask(client.getOptions()).maxRecvKbps, std::optional<qint64>(before + 123));
    awaitTask(client.patchOptions(QJsonObject{{QStringLiteral("maxRecvKbps"), before}}));
}

TEST_F(SyncthingAPIIntegrationTest, FailuresKeepSyncthingsStatusAndText)
{
    try {
        awaitTask(SyncthingAPI(s_instance->baseURL(), QStringLiteral("wrong-key")).systemStatus());
        FAIL() << "a wrong key was accepted";
    } catch (const SyncEngineError &error) {
        EXPECT_EQ(error.kind(), SyncEngineError::Kind::Http);
        EXPECT_EQ(error.statusCode(), 403);
    }
    QTemporaryDir dir;
    STFolderWrite plain = folderAt(QStringLiteral("tw-unversioned"), dir.path());
    plain.versioning = STVersioning{};
    awaitTask(api().putFolder(plain));
    try {
        awaitTask(api().folderVersions(plain.id));
        FAIL() << "a folder without versioning listed versions";
    } catch (const SyncEngineError &error) {
        EXPECT_EQ(error.kind(), SyncEngineError::Kind::Http);
        EXPECT_EQ(error.statusCode(), 500);
        // Syncthing ends its error texts with a line break; it stays.
        EXPECT_EQ(error.payload(), QStringLiteral("folder has no versioner\n"));
    }
    awaitTask(api().deleteFolder(plain.id));
    try {
        awaitTask(api().folderStatus(QStringLiteral("no-such-folder")));
        FAIL() << "an unknown folder had a status";
    } catch (const SyncEngineError &error) {
        EXPECT_EQ(error.kind(), SyncEngineError::Kind::Http);
        EXPECT_EQ(error.statusCode(), 404);
        EXPECT_FALSE(error.payload().isEmpty());
    }
}

} // namespace
} // namespace tw
