#include "engine/syncthing/rest/SyncthingAPI.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <algorithm>

namespace tw {
namespace {

// How the real Syncthing reads the paths and queries this client forms: "+"
// would read as a space in a query if it were sent literally, "%", "&", "?"
// and "#" would cut or change the identifier.
TEST(SyncthingAPIIntegrationTest, IdentifiersWithReservedCharactersRoundTrip)
{
    SyncthingInstance instance;
    instance.start();
    const QTemporaryDir dir;
    const SyncthingAPI client(instance.baseURL(), instance.apiKey());
    const QString id = QStringLiteral("tw+plus and space%25&x=y?#");
    const auto label = [&] {
        const QList<STFolderRead> folders = awaitTask(client.getFolders());
        const auto it = std::find_if(folders.begin(), folders.end(), [&](const STFolderRead &f) { return f.id == id; });
        return it == folders.end() ? std::optional<QString>() : it->label;
    };
    awaitTask(client.putFolder({.id = id, .label = "Label", .path = dir.path(), .type = "sendreceive",
                                .devices = {STDeviceRef{instance.deviceID(), std::nullopt, std::nullopt}},
                                .paused = false, .fsWatcherEnabled = true, .rescanIntervalS = 900,
                                .versioning = {"trashcan", QMap<QString, QString>{{"cleanoutDays", "0"}}},
                                .sendXattrs = false, .syncXattrs = false, .copyRangeMethod = "all",
                                .xattrFilter = STXattrFilter::syncedXattrs()}));
    EXPECT_EQ(label(), QStringLiteral("Label"));
    const QStringList lines{QStringLiteral("*.tmp"), QStringLiteral("// note")};
    awaitTask(client.setIgnores(id, lines));
    EXPECT_EQ(awaitTask(client.getIgnores(id)), lines);
    awaitTask(client.scan(id));
    awaitTask(client.folderStatus(id));
    awaitTask(client.need(id));
    awaitTask(client.deleteFolder(id));
    EXPECT_EQ(label(), std::nullopt);
}

} // namespace
} // namespace tw
