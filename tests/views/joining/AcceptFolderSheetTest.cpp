// The placing sheet offscreen, with a stub folder picker over a temporary
// "Projects" folder, on the real project controller over the fake engine.

#include "views/joining/AcceptFolderSheet.h"

#include "app/AppPreferences.h"
#include "design/Theme.h"
#include "projects/ProjectController.h"
#include "views/kit/PanelTexts.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SaveShot.h"
#include "StatHook.h"
#include "TextContrast.h"
#include "ViewTestEnv.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>

namespace tw {
namespace {

const QString kDash = QStringLiteral(" \u2014 ");

class AcceptFolderSheetTest : public ViewTestEnv
{
protected:
    void SetUp() override
    {
        ViewTestEnv::SetUp();
        projectsDir = dir.filePath("Projects");
        ASSERT_TRUE(QDir().mkpath(projectsDir));
    }

    std::unique_ptr<AcceptFolderSheet> sheet(const QString &label)
    {
        folder = {.folderID = "st-audio", .label = label, .offeredByDeviceID = "PEER-ID", .offeredByName = "Ann"};
        auto made = std::make_unique<AcceptFolderSheet>(app(), folder, stubPicker());
        made->show();
        return made;
    }

    // Answers the next queued choice; nothing (a cancel) when none is queued.
    AcceptFolderSheet::PickFolder stubPicker()
    {
        return [this](QWidget *) { return answer(choices.isEmpty() ? std::nullopt : std::optional(choices.takeFirst())); };
    }
    static QCoro::Task<std::optional<QString>> answer(std::optional<QString> choice) { co_return choice; }

    void choose(AcceptFolderSheet &sheet, const QString &location)
    {
        choices.append(location);
        button(sheet, "choose")->click();
        ASSERT_TRUE(waitUntil([&] { return sheet.location() == location && sheet.targetState(); }));
    }

    static QString text(AcceptFolderSheet &sheet, const char *name) { return sheet.findChild<QLabel *>(name)->text(); }
    static QColor color(AcceptFolderSheet &sheet, const char *name)
    {
        return sheet.findChild<QLabel *>(name)->palette().color(QPalette::WindowText);
    }
    static QPushButton *button(AcceptFolderSheet &sheet, const char *name)
    {
        return sheet.findChild<QPushButton *>(name);
    }

    QString projectsDir;
    PendingFolder folder;
    QStringList choices;
};

TEST_F(AcceptFolderSheetTest, TheTargetFollowsTheChosenLocation)
{
    auto placing = sheet("Film" + kDash + "Audio");
    EXPECT_FALSE(button(*placing, "place")->isEnabled());
    // "No location chosen" in the secondary tone, a chosen path in the primary.
    EXPECT_LT(color(*placing, "location").alphaF(), 1);
    EXPECT_EQ(text(*placing, "offerLine"), "\u201C\u2068" "Audio\u2069\u201D \u2014 from sync \u201C\u2068" "Film\u2069\u201D, shared by \u2068" "Ann\u2069");
    EXPECT_FALSE(saveShot(*placing, "place-folder-unchosen").isNull());
    button(*placing, "choose")->click();  // cancelled: nothing changes
    runEventLoopFor(20);
    EXPECT_EQ(placing->location(), std::nullopt);

    const QString audio = QDir(projectsDir).filePath("Audio");
    const QString lower = QDir(projectsDir).filePath("audio");
    ASSERT_TRUE(QDir().mkpath(lower));
    struct Case { QString location; QString target; QString explanation; QColor color; };
    const QList<Case> cases = {
        {projectsDir, audio, texts::willBeCreatedBefore + "\u2068" "Ann\u2069" + texts::willBeCreatedAfter, Theme::synced()},
        {lower, lower + "/Audio", texts::willBeCreatedBefore + "\u2068" "Ann\u2069" + texts::willBeCreatedAfter, Theme::synced()},
    };
    for (const Case &c : cases) {
        choose(*placing, c.location);
        EXPECT_EQ(color(*placing, "location"), placing->palette().color(QPalette::WindowText));
        EXPECT_EQ(placing->placement().targetPath, c.target);
        EXPECT_EQ(text(*placing, "explanation"), c.explanation);
        EXPECT_TRUE(test::isShadeOf(color(*placing, "explanation"), c.color));
    }
    ASSERT_TRUE(QDir().mkpath(audio));
    choose(*placing, audio);
    EXPECT_EQ(placing->placement().targetPath, audio);
    EXPECT_EQ(text(*placing, "explanation"),
              "A \u201C\u2068" "Audio\u2069\u201D already exists here \u2014 it will be synced with \u2068" "Ann\u2069\u2019s. Only this folder "
              "syncs; anything next to it stays untouched.");
    EXPECT_TRUE(test::isShadeOf(color(*placing, "explanation"), Theme::orange()));
    EXPECT_TRUE(button(*placing, "place")->isEnabled());
    EXPECT_FALSE(saveShot(*placing, "place-folder-chosen").isNull());
}

// Another sync's folder is never the target: its name gives way to a free
// one, and a location inside it places nothing and says why.
TEST_F(AcceptFolderSheetTest, TheTargetKeepsOutOfEverySyncsFolder)
{
    const QString kept = QDir(projectsDir).filePath("Audio");
    ASSERT_TRUE(QDir().mkpath(kept + "/Sub"));
    app().projects().add({.id = "S", .name = "Notes", .folders = {{.id = "f", .label = "Audio", .localPath = kept}}});
    auto placing = sheet("Film" + kDash + ".Audio");
    choose(*placing, projectsDir);
    EXPECT_EQ(placing->placement().targetPath, kept + " (st-audio)");
    EXPECT_TRUE(button(*placing, "place")->isEnabled());
    choose(*placing, kept + "/Sub");
    EXPECT_EQ(text(*placing, "explanation"), texts::insideSyncedBefore + u'\u2068' + kept + u'\u2069' + texts::insideSyncedAfter);
    EXPECT_TRUE(test::isShadeOf(color(*placing, "explanation"), Theme::danger()));
    EXPECT_FALSE(button(*placing, "place")->isEnabled());
}

TEST_F(AcceptFolderSheetTest, TheSyncLineNamesTheSyncByExactName)
{
    app().projects().createProject("film", std::nullopt);
    auto placing = sheet("Film" + kDash + "Audio");
    EXPECT_EQ(text(*placing, "syncLine"), "Creates the sync \u201C\u2068" "Film\u2069\u201D on this Mac.");
    app().projects().createProject("Film", std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return text(*placing, "syncLine").startsWith("Adds"); }));
    EXPECT_EQ(text(*placing, "syncLine"), "Adds to your existing sync \u201C\u2068" "Film\u2069\u201D.");
    auto solo = sheet("Notes");
    EXPECT_EQ(text(*solo, "offerLine"), "\u201C\u2068Notes\u2069\u201D \u2014 shared by \u2068" "Ann\u2069");
}

TEST_F(AcceptFolderSheetTest, PlaceCreatesTheFolderAcceptsIntoTheExistingSyncAndCloses)
{
    const Project film = app().projects().createProject("Film", std::nullopt);
    app().preferences().setAutoJoinNode(false);
    auto placing = sheet("Film" + kDash + "Audio");
    choose(*placing, projectsDir);
    const QString target = QDir(projectsDir).filePath("Audio");
    int closed = 0;
    QObject::connect(placing.get(), &QDialog::finished, [&closed] { ++closed; });
    button(*placing, "place")->click();
    ASSERT_TRUE(waitUntil([&] { return closed == 1; }));
    EXPECT_TRUE(QFileInfo(target).isDir());

    ASSERT_EQ(engine.deviceRequests.size(), 1);
    EXPECT_EQ(engine.deviceRequests.front().id, "PEER-ID");
    EXPECT_FALSE(engine.deviceRequests.front().introducer);
    ASSERT_EQ(engine.callsOf("addFolder").size(), 1);
    EXPECT_TRUE(engine.callsOf("addFolder").front().contains(target));
    const std::optional<Project> joined = app().projects().project(film.id);
    ASSERT_TRUE(joined);
    ASSERT_EQ(joined->folders.size(), 1);
    EXPECT_EQ(joined->folders.front().localPath, target);
    EXPECT_EQ(app().projects().projects().size(), 1);
}

// Syncthing answers after a while: a second press meanwhile must not place
// the offer a second time.
TEST_F(AcceptFolderSheetTest, APressWhilePlacingIsUnderWayPlacesTheOfferOnce)
{
    const Project film = app().projects().createProject("Film", std::nullopt);
    auto placing = sheet("Film" + kDash + "Audio");
    choose(*placing, projectsDir);
    int closed = 0;
    QObject::connect(placing.get(), &QDialog::finished, [&closed] { ++closed; });
    engine.hold("devices");
    button(*placing, "place")->click();
    EXPECT_FALSE(button(*placing, "place")->isEnabled());
    EXPECT_FALSE(button(*placing, "choose")->isEnabled());
    placing->place();
    engine.release("devices");
    // Both held calls go on in the same turn of the loop as the sheet closes.
    ASSERT_TRUE(waitUntil([&] { return closed > 0; }));
    EXPECT_EQ(closed, 1);

    const std::optional<Project> joined = app().projects().project(film.id);
    ASSERT_TRUE(joined);
    EXPECT_EQ(joined->folders.size(), 1);
    EXPECT_EQ(app().projects().projects().size(), 1);
}

TEST_F(AcceptFolderSheetTest, AFileInTheWayOrAFailedCreationStopsPlacing)
{
    QFile blocker(QDir(projectsDir).filePath("Audio"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto placing = sheet("Film" + kDash + "Audio");
    choose(*placing, projectsDir);
    EXPECT_EQ(text(*placing, "explanation"),
              "A file named \u201C\u2068" "Audio\u2069\u201D is in the way \u2014 choose another location.");
    EXPECT_TRUE(test::isShadeOf(color(*placing, "explanation"), Theme::danger()));
    EXPECT_FALSE(button(*placing, "place")->isEnabled());
    EXPECT_FALSE(saveShot(*placing, "place-folder-in-the-way").isNull());

    // Below a file no directory can be made, whoever runs the test.
    QFile notes(QDir(projectsDir).filePath("notes.txt"));
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.close();
    const QString underFile = notes.fileName();
    choose(*placing, underFile);
    const QString target = underFile + "/Audio";
    EXPECT_TRUE(button(*placing, "place")->isEnabled());
    button(*placing, "place")->click();
    ASSERT_TRUE(waitUntil([&] { return text(*placing, "explanation").startsWith("Couldn't"); }));
    EXPECT_EQ(text(*placing, "explanation"),
              "Couldn't create \u201C\u2068" + target + "\u2069\u201D \u2014 choose another location.");
    EXPECT_FALSE(button(*placing, "place")->isEnabled());
    EXPECT_TRUE(placing->isVisible());
    runEventLoopFor(20);
    EXPECT_TRUE(engine.deviceRequests.isEmpty());
    EXPECT_EQ(engine.callCount("addFolder"), 0);
}

// The sheet asks again at every change of the application's state, and the
// chosen location may be on a network mount that has gone away.
TEST_F(AcceptFolderSheetTest, NeitherAskingNorPlacingLooksAtTheTargetOnTheMainThread)
{
    const QString audio = QDir(projectsDir).filePath("Audio");
    auto placing = sheet("Film" + kDash + "Audio");
    const test::StatHook stats(projectsDir);
    choose(*placing, projectsDir);
    EXPECT_EQ(placing->targetState(), AcceptFolderSheet::TargetState::Missing);
    ASSERT_TRUE(QDir().mkpath(audio));
    app().projects().createProject("Film", std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return placing->targetState() == AcceptFolderSheet::TargetState::Folder; }));
    EXPECT_TRUE(text(*placing, "explanation").startsWith("A \u201C\u2068" "Audio\u2069\u201D already exists here"));
    int closed = 0;
    QObject::connect(placing.get(), &QDialog::finished, [&closed] { ++closed; });
    button(*placing, "place")->click();
    ASSERT_TRUE(waitUntil([&] { return closed == 1; }));
    EXPECT_EQ(stats.callsOnOwnThread(), 0);
}

TEST_F(AcceptFolderSheetTest, AnUnsafeLabelStaysInsideTheChosenFolder)
{
    auto placing = sheet("Film" + kDash + "../../.config/autostart");
    choose(*placing, projectsDir);
    const std::optional<QString> target = placing->placement().targetPath;
    ASSERT_TRUE(target);
    EXPECT_EQ(QFileInfo(*target).dir().path(), projectsDir);
    EXPECT_EQ(text(*placing, "offerLine"),
              "\u201C\u2068../../.config/autostart\u2069\u201D \u2014 from sync \u201C\u2068" "Film\u2069\u201D, shared by \u2068" "Ann\u2069");
}

} // namespace
} // namespace tw
