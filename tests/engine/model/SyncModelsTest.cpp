#include "engine/model/FolderDiagStatus.h"
#include "engine/model/FolderState.h"
#include "engine/model/FolderSyncMode.h"
#include "engine/model/PendingFolder.h"

#include "QtPrinters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(SyncModelsTest, RawValuesAreExactAndCaseSensitive)
{
    const std::pair<const char *, std::optional<FolderSyncMode>> modes[] = {
        {"sendreceive", FolderSyncMode::SendReceive},
        {"sendonly", FolderSyncMode::SendOnly},
        {"receiveonly", FolderSyncMode::ReceiveOnly},
        {"sendReceive", std::nullopt},
    };
    for (const auto &[raw, mode] : modes)
        EXPECT_EQ(folderSyncModeFromRaw(QString::fromLatin1(raw)), mode) << raw;

    const std::pair<const char *, std::optional<FolderState>> states[] = {
        {"idle", FolderState::Idle},   {"scanning", FolderState::Scanning}, {"syncing", FolderState::Syncing},
        {"error", FolderState::Error}, {"paused", FolderState::Paused},     {"unknown", FolderState::Unknown},
        // Syncthing's other words are the adapter's to map, not the type's.
        {"Idle", std::nullopt},
    };
    for (const auto &[raw, state] : states)
        EXPECT_EQ(folderStateFromRaw(QString::fromLatin1(raw)), state) << raw;
}

TEST(SyncModelsTest, PendingFolderIdentityIsFolderAndOfferingDevice)
{
    const PendingFolder base{"photos", "Photos", "DEV-A", "Anna"};
    EXPECT_NE(base.identity(), (PendingFolder{"photos", "Photos", "DEV-B", "Anna"}.identity()));
    EXPECT_EQ(base.identity(), (PendingFolder{"photos", "Pictures", "DEV-A", "Anna"}.identity()));
}

TEST(SyncModelsTest, FolderDiagStatusArrayIsReadWholeOrNotAtAll)
{
    const QList<FolderDiagStatus> list{{"f1", "Photos", "idle", 1, 2, 3, 4},
                                       {"f2", "", "sync-preparing", 0, 9000000000000, 9000000000000, 12}};
    const QByteArray good = FolderDiagStatus::encodeList(list);
    EXPECT_EQ(FolderDiagStatus::decodeList(good), list);

    const std::pair<const char *, QJsonValue> edits[] = {
        {"needItems", QJsonValue::Undefined},
        {"label", true},
        {"needItems", 1.5},
    };
    for (const auto &[key, value] : edits) {
        QJsonArray array = QJsonDocument::fromJson(good).array();
        QJsonObject second = array[1].toObject();
        second.insert(QLatin1String(key), value);
        array[1] = second;
        EXPECT_EQ(FolderDiagStatus::decodeList(QJsonDocument(array).toJson()), std::nullopt) << key;
    }
    EXPECT_EQ(FolderDiagStatus::decodeList("[1]"), std::nullopt);
}

} // namespace
} // namespace tw
