// The pure mappings between Syncthing's folder records and our model types,
// where a read-back from a real Syncthing does not reach.

#include "engine/syncthing/SyncthingEngine.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

STVersioning versioning(const QString &type, const QString &key, const QString &value)
{
    return {type, QMap<QString, QString>{{key, value}}};
}

TEST(SyncthingEngineMapping, VersioningFromSyncthing)
{
    const std::vector<std::pair<std::optional<STVersioning>, VersioningPolicy>> cases{
        {std::nullopt, VersioningPolicy::none()},
        {versioning("trashcan", "cleanoutDays", "thirty"), VersioningPolicy::trashCan(0)},
        // Seconds to whole days, truncated towards zero.
        {versioning("staggered", "maxAge", "-172799"), VersioningPolicy::staggered(-1)},
        // An optional single sign, then ASCII digits only, within 64 bits; otherwise the default 5.
        {versioning("simple", "keep", "+7"), VersioningPolicy::simple(7)},
        {versioning("simple", "keep", "9223372036854775808"), VersioningPolicy::simple(5)},
        {versioning("simple", "keep", QStringLiteral("\uFF17")), VersioningPolicy::simple(5)},  // full-width seven
        {versioning("Simple", "keep", "7"), VersioningPolicy::none()},
    };
    for (size_t row = 0; row < cases.size(); ++row)
        EXPECT_EQ(SyncthingEngine::mapVersioningBack(cases[row].first), cases[row].second) << "row " << row;
}

TEST(SyncthingEngineMapping, State)
{
    const std::vector<std::pair<std::optional<QString>, FolderState>> cases{
        {std::nullopt, FolderState::Unknown},      {"idle", FolderState::Idle},
        {"scan-waiting", FolderState::Scanning},   {"sync-preparing", FolderState::Syncing},
        {"stopped", FolderState::Error},           {"Idle", FolderState::Unknown},
    };
    for (const auto &[state, expected] : cases)
        EXPECT_EQ(SyncthingEngine::mapState(state), expected) << state.value_or("<absent>").toStdString();
}

// A failed item's name comes from another Mac: its line breaks do not break
// the text; the items beyond the first are counted.
TEST(SyncthingEngineMapping, ItemErrorText)
{
    EXPECT_EQ(SyncthingEngine::itemErrorText("a/b.txt", "denied", 1), QStringLiteral("Couldn't sync \u201C\u2068" "a/b.txt\u2069\u201D here: denied"));
    EXPECT_EQ(SyncthingEngine::itemErrorText("x\ny\tz", "denied", 3),
              QStringLiteral("Couldn't sync \u201C\u2068x\uFFFDy\uFFFDz\u2069\u201D here: denied (and 2 more)"));
    // Line and paragraph separators break a label too; the reason quotes the path again.
    EXPECT_EQ(SyncthingEngine::itemErrorText(QStringLiteral("p\u2028q"), QStringLiteral("open /r/p\u2029q\n: denied"), 1),
              QStringLiteral("Couldn't sync \u201C\u2068p\uFFFDq\u2069\u201D here: open /r/p\uFFFDq\uFFFD: denied"));
}

// The label falls back to the ID when empty; an unknown type reads as
// send and receive; metadata syncs when Syncthing does not say (sendXattrs
// never counts).
TEST(SyncthingEngineMapping, Folder)
{
    STFolderRead record;
    record.id = QStringLiteral("tdw-1");
    record.type = QStringLiteral("sendOnly");
    record.devices = {{"DIRECT", QString(), QString()}, {"VIA-INTRO", QStringLiteral("INTRO"), std::nullopt}};
    record.sendXattrs = false;
    const SyncFolder folder = SyncthingEngine::mapFolder(record);
    EXPECT_EQ(folder.label, QStringLiteral("tdw-1"));
    EXPECT_EQ(folder.mode, FolderSyncMode::SendReceive);
    EXPECT_EQ(folder.sharedDeviceIDs, (QStringList{"DIRECT", "VIA-INTRO"}));
    EXPECT_EQ(folder.introducedDeviceIDs, QSet<QString>{"VIA-INTRO"});
    EXPECT_TRUE(folder.syncMetadata);
}

} // namespace
} // namespace tw
