#include "engine/FolderDiagStatus.h"
#include "engine/FolderState.h"
#include "engine/FolderSyncMode.h"
#include "engine/PendingFolder.h"
#include "engine/VersioningPolicy.h"

#include "QtPrinters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <functional>

namespace tw {
namespace {

TEST(SyncModelsTest, FolderSyncModeRawValuesAreExactAndCaseSensitive)
{
    struct Case
    {
        const char *raw;
        std::optional<FolderSyncMode> mode;
    };
    const Case cases[] = {
        {"sendreceive", FolderSyncMode::SendReceive},
        {"sendonly", FolderSyncMode::SendOnly},
        {"receiveonly", FolderSyncMode::ReceiveOnly},
        {"sendReceive", std::nullopt},
        {"SENDONLY", std::nullopt},
        {" sendonly", std::nullopt},
        {"receiveencrypted", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(folderSyncModeFromRaw(QString::fromLatin1(c.raw)), c.mode) << c.raw;
    for (FolderSyncMode mode : allFolderSyncModes)
        EXPECT_EQ(folderSyncModeFromRaw(toRawValue(mode)), mode);
}

TEST(SyncModelsTest, FolderStateTakesOnlyItsOwnWords)
{
    struct Case
    {
        const char *raw;
        std::optional<FolderState> state;
    };
    const Case cases[] = {
        {"idle", FolderState::Idle},       {"scanning", FolderState::Scanning}, {"syncing", FolderState::Syncing},
        {"error", FolderState::Error},     {"paused", FolderState::Paused},     {"unknown", FolderState::Unknown},
        // Syncthing's other words are the adapter's to map, not the type's.
        {"scan-waiting", std::nullopt},    {"sync-preparing", std::nullopt},    {"Idle", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(folderStateFromRaw(QString::fromLatin1(c.raw)), c.state) << c.raw;
}

TEST(SyncModelsTest, PendingFolderIdentityIsFolderAndOfferingDevice)
{
    const PendingFolder base{"photos", "Photos", "DEV-A", "Anna"};
    PendingFolder otherDevice = base;
    otherDevice.offeredByDeviceID = QStringLiteral("DEV-B");
    PendingFolder otherLabel = base;
    otherLabel.label = QStringLiteral("Pictures");

    EXPECT_EQ(base.identity(), QStringLiteral("photos|DEV-A"));
    EXPECT_NE(base.identity(), otherDevice.identity());
    EXPECT_EQ(base.identity(), otherLabel.identity());
    EXPECT_NE(base, otherLabel);
    EXPECT_EQ(base, PendingFolder(base));
}

TEST(SyncModelsTest, FolderDiagStatusArrayRoundTrips)
{
    const QList<FolderDiagStatus> list{
        {"f1", "Photos", "idle", 100, 200, 0, 0},
        {"f2", "", "sync-preparing", 0, 9000000000000, 9000000000000, 12},
    };
    EXPECT_EQ(FolderDiagStatus::decodeList(FolderDiagStatus::encodeList(list)), list);
    EXPECT_EQ(FolderDiagStatus::decodeList(FolderDiagStatus::encodeList({})), QList<FolderDiagStatus>{});
}

TEST(SyncModelsTest, OneBadElementMakesTheWholeArrayUnreadable)
{
    const QByteArray good = FolderDiagStatus::encodeList({{"f1", "A", "idle", 1, 2, 3, 4}, {"f2", "B", "idle", 1, 2, 3, 4}});
    const QJsonArray array = QJsonDocument::fromJson(good).array();
    const auto withSecond = [&array](const std::function<void(QJsonObject &)> &edit) {
        QJsonArray copy = array;
        QJsonObject second = copy[1].toObject();
        edit(second);
        copy[1] = second;
        return QJsonDocument(copy).toJson();
    };

    EXPECT_TRUE(FolderDiagStatus::decodeList(withSecond([](QJsonObject &o) { o["extra"] = true; })).has_value());
    const char *keys[] = {"folderID", "label", "state", "localBytes", "globalBytes", "needBytes", "needItems"};
    for (const char *key : keys) {
        SCOPED_TRACE(key);
        EXPECT_EQ(FolderDiagStatus::decodeList(withSecond([key](QJsonObject &o) { o.remove(QLatin1String(key)); })),
                  std::nullopt);
        EXPECT_EQ(FolderDiagStatus::decodeList(withSecond([key](QJsonObject &o) { o[QLatin1String(key)] = true; })),
                  std::nullopt);
    }
    EXPECT_EQ(FolderDiagStatus::decodeList(withSecond([](QJsonObject &o) { o["needItems"] = 1.5; })), std::nullopt);
    EXPECT_EQ(FolderDiagStatus::decodeList("[1]"), std::nullopt);
    EXPECT_EQ(FolderDiagStatus::decodeList("{}"), std::nullopt);
}

TEST(SyncModelsTest, VersioningPoliciesDifferByKindAndValue)
{
    EXPECT_NE(VersioningPolicy::trashCan(0), VersioningPolicy::none());
    EXPECT_NE(VersioningPolicy::trashCan(7), VersioningPolicy::simple(7));
    EXPECT_NE(VersioningPolicy::staggered(7), VersioningPolicy::simple(7));
    EXPECT_NE(VersioningPolicy::trashCan(7), VersioningPolicy::trashCan(8));
    EXPECT_EQ(VersioningPolicy::trashCan(7), VersioningPolicy::trashCan(7));
    EXPECT_EQ(VersioningPolicy(), VersioningPolicy::none());
}

} // namespace
} // namespace tw
