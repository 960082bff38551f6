// The pure mappings between Syncthing's folder records and our model types.

#include "engine/syncthing/SyncthingEngine.h"

#include <gtest/gtest.h>
#include <limits>

namespace tw {
namespace {

constexpr qint64 int64Max = std::numeric_limits<qint64>::max();
constexpr qint64 int64Min = std::numeric_limits<qint64>::min();

STVersioning versioning(const QString &type, const QString &key, const QString &value)
{
    return {type, QMap<QString, QString>{{key, value}}};
}

TEST(SyncthingEngineMapping, VersioningToSyncthing)
{
    const std::vector<std::pair<VersioningPolicy, STVersioning>> cases{
        {VersioningPolicy::none(), {QString(), std::nullopt}},
        {VersioningPolicy::trashCan(30), versioning("trashcan", "cleanoutDays", "30")},
        {VersioningPolicy::staggered(365), versioning("staggered", "maxAge", "31536000")},
        {VersioningPolicy::simple(-3), versioning("simple", "keep", "-3")},
        // Days whose seconds overflow 64 bits are clamped, never wrapped.
        {VersioningPolicy::staggered(int64Max / 86400 + 1), versioning("staggered", "maxAge", "9223372036854775807")},
        {VersioningPolicy::staggered(int64Min / 86400 - 1), versioning("staggered", "maxAge", "-9223372036854775808")},
    };
    for (const auto &[policy, expected] : cases) {
        SCOPED_TRACE(expected.type.toStdString() + " " + std::to_string(policy.value()));
        EXPECT_EQ(SyncthingEngine::mapVersioning(policy), expected);
    }
}

TEST(SyncthingEngineMapping, VersioningFromSyncthing)
{
    const std::optional<QMap<QString, QString>> noParams;
    const std::vector<std::pair<std::optional<STVersioning>, VersioningPolicy>> cases{
        {std::nullopt, VersioningPolicy::none()},
        {versioning("", "keep", "3"), VersioningPolicy::none()},
        {versioning("trashcan", "cleanoutDays", "30"), VersioningPolicy::trashCan(30)},
        {versioning("trashcan", "cleanoutDays", "thirty"), VersioningPolicy::trashCan(0)},
        {STVersioning{"trashcan", noParams}, VersioningPolicy::trashCan(0)},
        // Seconds to whole days, truncated towards zero.
        {versioning("staggered", "maxAge", "172799"), VersioningPolicy::staggered(1)},
        {versioning("staggered", "maxAge", "-172799"), VersioningPolicy::staggered(-1)},
        // An optional single sign, then ASCII digits only, within 64 bits; otherwise the default 5.
        {versioning("simple", "keep", "+7"), VersioningPolicy::simple(7)},
        {versioning("simple", "keep", "-0"), VersioningPolicy::simple(0)},
        {versioning("simple", "keep", "9223372036854775807"), VersioningPolicy::simple(int64Max)},
        {versioning("simple", "keep", "-9223372036854775808"), VersioningPolicy::simple(int64Min)},
        {versioning("simple", "keep", "9223372036854775808"), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", "-9223372036854775809"), VersioningPolicy::simple(5)},
        {STVersioning{"simple", noParams}, VersioningPolicy::simple(5)},
        {versioning("simple", "Keep", "7"), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", ""), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", "-"), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", " 7"), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", QStringLiteral("\uFF17")), VersioningPolicy::simple(5)},  // full-width seven
        {versioning("Simple", "keep", "7"), VersioningPolicy::none()},
        {versioning("external", "command", "rm"), VersioningPolicy::none()},
    };
    for (const auto &[record, expected] : cases) {
        SCOPED_TRACE(record ? (record->type + " " + record->params.value_or(QMap<QString, QString>()).values().join(','))
                                  .toStdString()
                            : std::string("absent"));
        EXPECT_EQ(SyncthingEngine::mapVersioningBack(record), expected);
    }
}

TEST(SyncthingEngineMapping, State)
{
    const std::vector<std::pair<std::optional<QString>, FolderState>> cases{
        {std::nullopt, FolderState::Unknown},  {"idle", FolderState::Idle},
        {"scanning", FolderState::Scanning},   {"scan-waiting", FolderState::Scanning},
        {"syncing", FolderState::Syncing},     {"sync-preparing", FolderState::Syncing},
        {"sync-waiting", FolderState::Syncing}, {"error", FolderState::Error},
        {"stopped", FolderState::Error},       {"paused", FolderState::Unknown},
        {"", FolderState::Unknown},            {"Idle", FolderState::Unknown},
    };
    for (const auto &[state, expected] : cases) {
        SCOPED_TRACE(state.value_or("<absent>").toStdString());
        EXPECT_EQ(SyncthingEngine::mapState(state), expected);
    }
}

STFolderRead folderRecord(const QString &label, const QString &type)
{
    STFolderRead folder;
    folder.id = QStringLiteral("tdw-1");
    folder.label = label;
    folder.path = QStringLiteral("/home/u/Film");
    folder.type = type;
    return folder;
}

TEST(SyncthingEngineMapping, FolderWholeRecord)
{
    STFolderRead record = folderRecord("Film", "receiveonly");
    record.paused = true;
    record.devices = {{"SELF", std::nullopt, std::nullopt}, {"DIRECT", QString(), QString()},
                      {"VIA-INTRO", QStringLiteral("INTRO"), std::nullopt}};
    record.versioning = versioning("trashcan", "cleanoutDays", "14");
    record.sendXattrs = true;
    record.syncXattrs = false;

    EXPECT_EQ(SyncthingEngine::mapFolder(record),
              (SyncFolder{.id = "tdw-1", .label = "Film", .path = "/home/u/Film", .mode = FolderSyncMode::ReceiveOnly,
                          .isPaused = true, .ignorePatterns = {}, .sharedDeviceIDs = {"SELF", "DIRECT", "VIA-INTRO"},
                          .introducedDeviceIDs = {"VIA-INTRO"}, .versioning = VersioningPolicy::trashCan(14),
                          .syncMetadata = false}));

    // Metadata follows syncXattrs alone and is on when Syncthing does not say.
    record.sendXattrs = false;
    record.syncXattrs.reset();
    EXPECT_TRUE(SyncthingEngine::mapFolder(record).syncMetadata);
}

// The label falls back to the ID only when empty; an unknown type reads as send and receive.
TEST(SyncthingEngineMapping, FolderLabelAndMode)
{
    const std::vector<std::tuple<QString, QString, QString, FolderSyncMode>> cases{
        {"Film", "sendreceive", "Film", FolderSyncMode::SendReceive},
        {"", "sendonly", "tdw-1", FolderSyncMode::SendOnly},
        {" ", "receiveonly", " ", FolderSyncMode::ReceiveOnly},
        {"Film", "receiveencrypted", "Film", FolderSyncMode::SendReceive},
        {"Film", "sendOnly", "Film", FolderSyncMode::SendReceive},
    };
    for (const auto &[label, type, expectedLabel, expectedMode] : cases) {
        SCOPED_TRACE((label + "/" + type).toStdString());
        const SyncFolder folder = SyncthingEngine::mapFolder(folderRecord(label, type));
        EXPECT_EQ(folder.label, expectedLabel);
        EXPECT_EQ(folder.mode, expectedMode);
    }
}

} // namespace
} // namespace tw
