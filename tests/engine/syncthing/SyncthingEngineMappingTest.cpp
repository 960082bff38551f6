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
    struct Case
    {
        VersioningPolicy policy;
        STVersioning expected;
    };
    const std::vector<Case> cases{
        {VersioningPolicy::none(), {QString(), std::nullopt}},
        {VersioningPolicy::trashCan(30), versioning("trashcan", "cleanoutDays", "30")},
        {VersioningPolicy::trashCan(0), versioning("trashcan", "cleanoutDays", "0")},
        {VersioningPolicy::staggered(1), versioning("staggered", "maxAge", "86400")},
        {VersioningPolicy::staggered(365), versioning("staggered", "maxAge", "31536000")},
        {VersioningPolicy::staggered(-1), versioning("staggered", "maxAge", "-86400")},
        {VersioningPolicy::simple(5), versioning("simple", "keep", "5")},
        {VersioningPolicy::simple(-3), versioning("simple", "keep", "-3")},
        {VersioningPolicy::simple(1000000), versioning("simple", "keep", "1000000")},
        // Days whose seconds overflow 64 bits are clamped, never wrapped.
        {VersioningPolicy::staggered(int64Max / 86400 + 1), versioning("staggered", "maxAge", "9223372036854775807")},
        {VersioningPolicy::staggered(int64Min / 86400 - 1), versioning("staggered", "maxAge", "-9223372036854775808")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.expected.type.toStdString() + " " + std::to_string(c.policy.value()));
        EXPECT_EQ(SyncthingEngine::mapVersioning(c.policy), c.expected);
    }
}

TEST(SyncthingEngineMapping, VersioningFromSyncthing)
{
    struct Case
    {
        std::optional<STVersioning> record;
        VersioningPolicy expected;
    };
    const std::optional<QMap<QString, QString>> noParams;
    const std::vector<Case> cases{
        {std::nullopt, VersioningPolicy::none()},
        {STVersioning{"", noParams}, VersioningPolicy::none()},
        {versioning("", "keep", "3"), VersioningPolicy::none()},
        {versioning("trashcan", "cleanoutDays", "30"), VersioningPolicy::trashCan(30)},
        {versioning("trashcan", "cleanoutDays", "0"), VersioningPolicy::trashCan(0)},
        {versioning("trashcan", "cleanoutDays", ""), VersioningPolicy::trashCan(0)},
        {versioning("trashcan", "cleanoutDays", "thirty"), VersioningPolicy::trashCan(0)},
        {versioning("trashcan", "keep", "9"), VersioningPolicy::trashCan(0)},
        {STVersioning{"trashcan", noParams}, VersioningPolicy::trashCan(0)},
        {versioning("staggered", "maxAge", "86400"), VersioningPolicy::staggered(1)},
        {versioning("staggered", "maxAge", "86399"), VersioningPolicy::staggered(0)},
        {versioning("staggered", "maxAge", "172800"), VersioningPolicy::staggered(2)},
        {versioning("staggered", "maxAge", "172799"), VersioningPolicy::staggered(1)},
        {versioning("staggered", "maxAge", "-86400"), VersioningPolicy::staggered(-1)},
        {versioning("staggered", "maxAge", "-86399"), VersioningPolicy::staggered(0)},
        {versioning("staggered", "maxAge", "-172799"), VersioningPolicy::staggered(-1)},
        {versioning("staggered", "maxAge", "+86400"), VersioningPolicy::staggered(1)},
        {versioning("staggered", "maxAge", "2592000"), VersioningPolicy::staggered(30)},
        {versioning("staggered", "maxAge", "1.5"), VersioningPolicy::staggered(0)},
        {STVersioning{"staggered", noParams}, VersioningPolicy::staggered(0)},
        {versioning("simple", "keep", "7"), VersioningPolicy::simple(7)},
        {versioning("simple", "keep", "+7"), VersioningPolicy::simple(7)},
        {versioning("simple", "keep", "-2"), VersioningPolicy::simple(-2)},
        {versioning("simple", "keep", "007"), VersioningPolicy::simple(7)},
        {versioning("simple", "keep", "0"), VersioningPolicy::simple(0)},
        {versioning("simple", "keep", "-0"), VersioningPolicy::simple(0)},
        {versioning("simple", "keep", "9223372036854775807"), VersioningPolicy::simple(int64Max)},
        {versioning("simple", "keep", "-9223372036854775808"), VersioningPolicy::simple(int64Min)},
        {versioning("simple", "keep", "+9223372036854775807"), VersioningPolicy::simple(int64Max)},
        {STVersioning{"simple", noParams}, VersioningPolicy::simple(5)},
        {STVersioning{"simple", QMap<QString, QString>()}, VersioningPolicy::simple(5)},
        {versioning("simple", "Keep", "7"), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", ""), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", "seven"), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", " 7"), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", "7 "), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", "7.0"), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", "1e3"), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", "0x10"), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", "1_000"), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", "1,000"), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", "+"), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", "-"), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", "++7"), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", "+-7"), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", "7-"), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", QStringLiteral("\u0663")), VersioningPolicy::simple(5)},  // Arabic-Indic three
        {versioning("simple", "keep", QStringLiteral("\uFF17")), VersioningPolicy::simple(5)},  // full-width seven
        {versioning("simple", "keep", "9223372036854775808"), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", "-9223372036854775809"), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", "99999999999999999999"), VersioningPolicy::simple(5)},
        {versioning("Simple", "keep", "7"), VersioningPolicy::none()},
        {versioning("TRASHCAN", "cleanoutDays", "7"), VersioningPolicy::none()},
        {versioning("external", "command", "rm"), VersioningPolicy::none()},
        {versioning(" simple", "keep", "7"), VersioningPolicy::none()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.record ? (c.record->type + " " + c.record->params.value_or(QMap<QString, QString>()).values().join(','))
                                    .toStdString()
                              : std::string("absent"));
        EXPECT_EQ(SyncthingEngine::mapVersioningBack(c.record), c.expected);
    }
}

TEST(SyncthingEngineMapping, VersioningRoundTrips)
{
    for (const VersioningPolicy &policy :
         {VersioningPolicy::none(), VersioningPolicy::trashCan(0), VersioningPolicy::trashCan(90),
          VersioningPolicy::staggered(1), VersioningPolicy::staggered(-4), VersioningPolicy::simple(5),
          VersioningPolicy::simple(int64Min), VersioningPolicy::trashCan(int64Max)}) {
        SCOPED_TRACE(policy.value());
        EXPECT_EQ(SyncthingEngine::mapVersioningBack(SyncthingEngine::mapVersioning(policy)), policy);
    }
}

TEST(SyncthingEngineMapping, State)
{
    const std::vector<std::pair<std::optional<QString>, FolderState>> cases{
        {std::nullopt, FolderState::Unknown},
        {"idle", FolderState::Idle},
        {"scanning", FolderState::Scanning},
        {"scan-waiting", FolderState::Scanning},
        {"syncing", FolderState::Syncing},
        {"sync-preparing", FolderState::Syncing},
        {"sync-waiting", FolderState::Syncing},
        {"error", FolderState::Error},
        {"stopped", FolderState::Error},
        {"paused", FolderState::Unknown},
        {"cleaning", FolderState::Unknown},
        {"", FolderState::Unknown},
        {"Idle", FolderState::Unknown},
        {"SCANNING", FolderState::Unknown},
        {"Stopped", FolderState::Unknown},
        {"idle ", FolderState::Unknown},
    };
    for (const auto &[state, expected] : cases) {
        SCOPED_TRACE(state.value_or("<absent>").toStdString());
        EXPECT_EQ(SyncthingEngine::mapState(state), expected);
    }
}

STFolderRead folderRecord()
{
    STFolderRead folder;
    folder.id = QStringLiteral("tdw-1");
    folder.label = QStringLiteral("Film");
    folder.path = QStringLiteral("/home/u/Film");
    folder.type = QStringLiteral("sendreceive");
    return folder;
}

TEST(SyncthingEngineMapping, FolderLabelAndMode)
{
    struct Case
    {
        QString label;
        QString type;
        QString expectedLabel;
        FolderSyncMode expectedMode;
    };
    const std::vector<Case> cases{
        {"Film", "sendreceive", "Film", FolderSyncMode::SendReceive},
        {"", "sendonly", "tdw-1", FolderSyncMode::SendOnly},
        {" ", "receiveonly", " ", FolderSyncMode::ReceiveOnly},
        {"Film", "receiveencrypted", "Film", FolderSyncMode::SendReceive},
        {"Film", "sendOnly", "Film", FolderSyncMode::SendReceive},
        {"Film", "", "Film", FolderSyncMode::SendReceive},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE((c.label + "/" + c.type).toStdString());
        STFolderRead record = folderRecord();
        record.label = c.label;
        record.type = c.type;
        const SyncFolder folder = SyncthingEngine::mapFolder(record);
        EXPECT_EQ(folder.label, c.expectedLabel);
        EXPECT_EQ(folder.mode, c.expectedMode);
    }
}

TEST(SyncthingEngineMapping, FolderDevices)
{
    STFolderRead record = folderRecord();
    record.devices = {{"SELF", std::nullopt, std::nullopt},
                      {"DIRECT", QString(), QString()},
                      {"VIA-INTRO", QStringLiteral("INTRO"), std::nullopt},
                      {"SELF", std::nullopt, std::nullopt}};
    const SyncFolder folder = SyncthingEngine::mapFolder(record);
    EXPECT_EQ(folder.sharedDeviceIDs, (QStringList{"SELF", "DIRECT", "VIA-INTRO", "SELF"}));
    EXPECT_EQ(folder.introducedDeviceIDs, QSet<QString>{"VIA-INTRO"});
}

TEST(SyncthingEngineMapping, FolderSyncMetadataFollowsSyncXattrsOnly)
{
    struct Case
    {
        std::optional<bool> sendXattrs;
        std::optional<bool> syncXattrs;
        bool expected;
    };
    const std::vector<Case> cases{
        {std::nullopt, std::nullopt, true},
        {false, std::nullopt, true},
        {std::nullopt, false, false},
        {true, false, false},
        {false, true, true},
    };
    for (const Case &c : cases) {
        STFolderRead record = folderRecord();
        record.sendXattrs = c.sendXattrs;
        record.syncXattrs = c.syncXattrs;
        EXPECT_EQ(SyncthingEngine::mapFolder(record).syncMetadata, c.expected);
    }
}

TEST(SyncthingEngineMapping, FolderWholeRecord)
{
    STFolderRead record = folderRecord();
    record.paused = true;
    record.type = QStringLiteral("receiveonly");
    record.devices = {{"A", std::nullopt, std::nullopt}};
    record.versioning = versioning("trashcan", "cleanoutDays", "14");
    record.syncXattrs = false;

    SyncFolder expected;
    expected.id = QStringLiteral("tdw-1");
    expected.label = QStringLiteral("Film");
    expected.path = QStringLiteral("/home/u/Film");
    expected.mode = FolderSyncMode::ReceiveOnly;
    expected.isPaused = true;
    expected.sharedDeviceIDs = {QStringLiteral("A")};
    expected.versioning = VersioningPolicy::trashCan(14);
    expected.syncMetadata = false;
    EXPECT_EQ(SyncthingEngine::mapFolder(record), expected);

    record.versioning.reset();
    EXPECT_EQ(SyncthingEngine::mapFolder(record).versioning, VersioningPolicy::none());
    EXPECT_TRUE(SyncthingEngine::mapFolder(record).ignorePatterns.isEmpty());
}

} // namespace
} // namespace tw
