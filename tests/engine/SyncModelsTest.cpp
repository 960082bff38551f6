#include "engine/FolderDiagStatus.h"
#include "engine/FolderState.h"
#include "engine/FolderSyncMode.h"
#include "engine/PendingFolder.h"

#include "QtPrinters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <functional>

namespace tw {
namespace {

TEST(SyncModelsTest, RawValuesAreExactAndCaseSensitive)
{
    const std::pair<const char *, std::optional<FolderSyncMode>> modes[] = {
        {"sendreceive", FolderSyncMode::SendReceive}, {"sendonly", FolderSyncMode::SendOnly},
        {"receiveonly", FolderSyncMode::ReceiveOnly}, {"sendReceive", std::nullopt},
        {" sendonly", std::nullopt},                  {"receiveencrypted", std::nullopt},
    };
    for (const auto &[raw, mode] : modes) {
        EXPECT_EQ(folderSyncModeFromRaw(QString::fromLatin1(raw)), mode) << raw;
        if (mode) {
            EXPECT_EQ(toRawValue(*mode), QString::fromLatin1(raw));
        }
    }

    const std::pair<const char *, std::optional<FolderState>> states[] = {
        {"idle", FolderState::Idle},   {"scanning", FolderState::Scanning}, {"syncing", FolderState::Syncing},
        {"error", FolderState::Error}, {"paused", FolderState::Paused},     {"unknown", FolderState::Unknown},
        // Syncthing's other words are the adapter's to map, not the type's.
        {"scan-waiting", std::nullopt}, {"Idle", std::nullopt},
    };
    for (const auto &[raw, state] : states)
        EXPECT_EQ(folderStateFromRaw(QString::fromLatin1(raw)), state) << raw;
}

TEST(SyncModelsTest, PendingFolderIdentityIsFolderAndOfferingDevice)
{
    const PendingFolder base{"photos", "Photos", "DEV-A", "Anna"};
    PendingFolder otherDevice = base;
    otherDevice.offeredByDeviceID = QStringLiteral("DEV-B");
    PendingFolder otherLabel = base;
    otherLabel.label = QStringLiteral("Pictures");
    EXPECT_NE(base.identity(), otherDevice.identity());
    EXPECT_EQ(base.identity(), otherLabel.identity());
}

TEST(SyncModelsTest, FolderDiagStatusArrayIsReadWholeOrNotAtAll)
{
    const QList<FolderDiagStatus> list{{"f1", "Photos", "idle", 1, 2, 3, 4},
                                       {"f2", "", "sync-preparing", 0, 9000000000000, 9000000000000, 12}};
    const QByteArray good = FolderDiagStatus::encodeList(list);
    EXPECT_EQ(FolderDiagStatus::decodeList(good), list);
    EXPECT_EQ(FolderDiagStatus::decodeList(FolderDiagStatus::encodeList({})), QList<FolderDiagStatus>{});

    const auto withSecond = [array = QJsonDocument::fromJson(good).array()](const std::function<void(QJsonObject &)> &edit) {
        QJsonArray copy = array;
        QJsonObject second = copy[1].toObject();
        edit(second);
        copy[1] = second;
        return FolderDiagStatus::decodeList(QJsonDocument(copy).toJson());
    };
    EXPECT_TRUE(withSecond([](QJsonObject &o) { o["extra"] = true; }).has_value());
    for (const char *key : {"folderID", "label", "state", "localBytes", "globalBytes", "needBytes", "needItems"}) {
        EXPECT_EQ(withSecond([key](QJsonObject &o) { o.remove(QLatin1String(key)); }), std::nullopt) << key;
        EXPECT_EQ(withSecond([key](QJsonObject &o) { o[QLatin1String(key)] = true; }), std::nullopt) << key;
    }
    EXPECT_EQ(withSecond([](QJsonObject &o) { o["needItems"] = 1.5; }), std::nullopt);
    EXPECT_EQ(FolderDiagStatus::decodeList("[1]"), std::nullopt);
    EXPECT_EQ(FolderDiagStatus::decodeList("{}"), std::nullopt);
}

} // namespace
} // namespace tw
