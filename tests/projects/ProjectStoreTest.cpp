// projects.json: the strict codec, files moved aside, failed saves.

#include "ProjectSupport.h"
#include "QtPrinters.h"
#include "SyncthingInstance.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(ProjectStoreTest, MissingKeysTakeTheirDefaultsAndSavingWritesEveryKnownKey)
{
    ProjectRig rig;
    SyncthingInstance::writeFile(rig.path("projects.json"), R"([{"name":"Film","members":[{"deviceID":"D"}],
        "folders":[{"label":"L","localPath":"/p"}]},{"id":"x","name":"","createdAt":1.5,"colorHex":"#fff"}])");
    const QList<Project> loaded = rig.controller().projects();
    ASSERT_EQ(loaded.size(), 2);
    EXPECT_EQ(loaded[0].id.size(), 36);
    EXPECT_EQ(loaded[0].id, loaded[0].id.toUpper());
    EXPECT_EQ(loaded[0].createdAt, ProjectRig::now);
    EXPECT_EQ(loaded[0].members, QList<ProjectMember>({{"D", "", MemberRole::Editor, false, false}}));
    EXPECT_EQ(loaded[0].ownRole(), MemberRole::Editor);
    ProjectFolder expected{.id = loaded[0].folders.value(0).id, .label = "L", .localPath = "/p"};
    EXPECT_EQ(loaded[0].folders, QList<ProjectFolder>({expected}));
    EXPECT_EQ(loaded[1].createdAt, QDateTime(QDate(2001, 1, 1), QTime(0, 0, 1, 500), QTimeZone::utc()));
    EXPECT_FALSE(rig.controller().lastErrorMessage());

    rig.controller().save();
    const QJsonArray saved = QJsonDocument::fromJson(SyncthingInstance::readFile(rig.path("projects.json"))).array();
    EXPECT_EQ(saved[0]["folders"][0].toObject().keys(),
              QStringList({"archiveDeletedFiles", "archiveRetentionDays", "excludedDeviceIDs", "id", "ignorePatterns",
                           "label", "localPath", "pausedDeviceIDs", "purgeProtected", "syncEnabled", "syncMetadata"}));
    EXPECT_FALSE(saved[0].toObject().contains("colorHex"));
    EXPECT_EQ(saved[1]["createdAt"].toDouble(), 1.5);
}

TEST(ProjectStoreTest, FilesThatCannotBeReadOrDecodedAreMovedAside)
{
    const QList<QPair<const char *, QByteArray>> cases{
        {"bad json", "[{"},
        {"zero bytes", ""},
        {"wrong type", R"([{"name":1}])"},
        {"unknown role", R"([{"name":"F","members":[{"deviceID":"D","role":"owner"}]}])"},
        {"missing label", R"([{"name":"F","folders":[{"localPath":"/p"}]}])"},
        {"unreadable", {}}};
    for (const auto &[name, body] : cases) {
        ProjectRig rig;
        if (QByteArray(name) == "unreadable")
            QDir(rig.dir.path()).mkdir("projects.json");
        else
            SyncthingInstance::writeFile(rig.path("projects.json"), body);
        const QString backup = "projects.json.corrupt-" + QString::number(ProjectRig::now.toSecsSinceEpoch());
        EXPECT_TRUE(rig.controller().projects().isEmpty()) << name;
        EXPECT_EQ(rig.controller().lastErrorMessage(),
                  u"Your syncs file was corrupted \u2014 backed up as "_qs + backup + ". Starting fresh.")
            << name;
        EXPECT_TRUE(QFileInfo::exists(rig.path(backup)) && !QFileInfo::exists(rig.path("projects.json"))) << name;
    }
}

TEST(ProjectStoreTest, AFailedSaveKeepsTheChangeAndSaysSo)
{
    ProjectRig rig;
    rig.controller();
    QDir(rig.dir.path()).mkdir("projects.json");
    rig.controller().add({.id = "S", .name = "Film"});
    EXPECT_EQ(rig.controller().projects().size(), 1);
    EXPECT_TRUE(rig.controller().lastErrorMessage().value_or("").startsWith("Could not save your syncs: "));
}

} // namespace
} // namespace tw
