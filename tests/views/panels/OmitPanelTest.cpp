// The exclusion browser offscreen on the view-test rig: the exclusion line,
// the listing and its order, the switches and what they write, the path bar.

#include "views/panels/OmitPanel.h"

#include "controllers/DeviceController.h"
#include "design/ContrastRatio.h"
#include "design/ElidedLine.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "projects/ProjectController.h"
#include "views/kit/PanelTexts.h"
#include "views/panels/OmitLevelModel.h"
#include "views/panels/OmitRowDelegate.h"
#include "views/shell/WidgetAppearance.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SaveShot.h"
#include "TextContrast.h"
#include "ViewTestEnv.h"
#include "WaitUntil.h"

#include <QDir>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace tw {
namespace {

BrowseEntry folderEntry(const QString &name)
{
    return {name, true};
}

BrowseEntry file(const QString &name)
{
    return {name, false};
}

class OmitPanelTest : public ViewTestEnv
{
protected:
    void SetUp() override
    {
        ViewTestEnv::SetUp();
        root = listWorkFolder("Work");
        ASSERT_FALSE(root.isEmpty());
        folder = {.id = "F", .label = "Work", .localPath = root, .syncthingFolderID = "st"};
        app().projects().add({.id = "S", .folders = {folder}});
    }

    std::unique_ptr<OmitPanel> shownPanel()
    {
        auto panel = std::make_unique<OmitPanel>(app(), "S", folder);
        panel->resize(600, 480);
        panel->show();
        EXPECT_TRUE(waitUntil([&] { return !panel->isLoading(); }));
        return panel;
    }

    static QStringList names(const OmitPanel &panel)
    {
        QStringList shown;
        for (const BrowseEntry &entry : panel.entries())
            shown.append(entry.name);
        return shown;
    }

    static QModelIndex row(const OmitPanel &panel, const QString &name)
    {
        const qsizetype at = names(panel).indexOf(name);
        return panel.model().index(int(at));
    }

    static bool switchOn(const OmitPanel &panel, const QString &name)
    {
        return row(panel, name).data(Qt::CheckStateRole).toInt() == Qt::Checked;
    }

    static void click(OmitPanel &panel, const QRect &area)
    {
        QTest::mouseClick(panel.list().viewport(), Qt::LeftButton, {}, area.center());
    }

    // Waits for the level to be loaded again after a click that opens one.
    static bool reloaded(OmitPanel &panel, const QStringList &stack)
    {
        return waitUntil([&] { return !panel.isLoading() && panel.model().stack() == stack; });
    }

    static QAbstractButton *crumb(OmitPanel &panel, const QString &name)
    {
        for (QAbstractButton *button : panel.findChildren<QAbstractButton *>("crumb"))
            if (button->isVisibleTo(&panel) && button->accessibleName() == name)
                return button;
        return nullptr;
    }

    QStringList &lines() { return engine.state.ignores["st"]; }

    QString root;
    ProjectFolder folder;
};

TEST(OmitLevelModelTest, TheExclusionLineIsAnchoredWithItsGlobCharactersEscaped)
{
    const struct { QStringList stack; QString name; QString line; } rows[] = {
        {{}, "a.mov", "/a.mov"},
        {{"Shots", "Day 1"}, "raw", "/Shots/Day 1/raw"},
        {{}, "Take [1].mov", R"(/Take \[1\].mov)"},
        {{}, "{a}*.wav", R"(/\{a\}\*.wav)"},
        {{"a?"}, "b\\c", R"(/a\?/b\\c)"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(OmitLevelModel::exclusionLine(row.stack, row.name), row.line) << row.name.toStdString();
}

TEST_F(OmitPanelTest, TheLevelIsListedDirectoriesFirstByCodePointAndOnlyAnExactLineTurnsASwitchOn)
{
    engine.state.browse["st"][""] = {file(".DS_Store"), file("b"),  folderEntry(".git"),         file("B"),
                                     file("a"),         file("_x"), file(u"\U0001F600"_qs), file(u"\uFF5E"_qs),
                                     folderEntry("z")};
    const struct { QString line; bool on; } rows[] = {{"/z", true}, {"z", false}, {"/z/", false}, {"/Z", false}};
    for (const auto &line : rows) {
        lines() = {"*.tmp", line.line};
        auto panel = shownPanel();
        EXPECT_EQ(names(*panel), QStringList({"z", "_x", "a", "b", "B", u"\uFF5E"_qs, u"\U0001F600"_qs}));
        const QModelIndex z = row(*panel, "z");
        EXPECT_EQ(switchOn(*panel, "z"), line.on) << line.line.toStdString();
        EXPECT_EQ(z.data(Qt::FontRole).value<QFont>().strikeOut(), line.on);
        EXPECT_EQ(z.data(OmitLevelModel::IsLinkRole).toBool(), !line.on);
        // A folder's name is a plain button, in the text colour as a file's.
        EXPECT_EQ(z.data(Qt::ForegroundRole).isValid(), line.on);
        EXPECT_FALSE(switchOn(*panel, "a"));
        // An excluded directory does not open.
        click(*panel, panel->rowDelegate().nameRect(z));
        if (line.on)
            EXPECT_TRUE(panel->pathStack().isEmpty());
        else
            EXPECT_TRUE(reloaded(*panel, {"z"}));
    }
}

TEST_F(OmitPanelTest, AFailedListingShowsTheEmptyText)
{
    engine.failNext("browse", SyncEngineError::backend("down"));
    auto panel = shownPanel();
    EXPECT_EQ(panel->findChild<QStackedWidget *>()->currentWidget()->findChild<QLabel *>("emptyText")->text(),
              texts::omitFolderEmpty);
}

TEST_F(OmitPanelTest, ASwitchWritesItsLineOnceAndOffRemovesEveryCopyRepaintingOnlyItsRow)
{
    engine.state.browse["st"][""] = {file("a"), file("Take [1].mov"), file("c")};
    lines() = {"*.tmp"};
    auto panel = shownPanel();
    QSignalSpy resets(&panel->model(), &QAbstractItemModel::modelReset);
    QSignalSpy changes(&panel->model(), &QAbstractItemModel::dataChanged);

    click(*panel, panel->rowDelegate().switchRect(row(*panel, "a")));
    ASSERT_TRUE(waitUntil([&] { return switchOn(*panel, "a"); }));
    EXPECT_EQ(lines(), QStringList({"*.tmp", "/a"}));
    EXPECT_EQ(resets.count(), 0);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).value<QModelIndex>().row(), row(*panel, "a").row());
    EXPECT_EQ(changes.at(0).at(1).value<QModelIndex>().row(), row(*panel, "a").row());

    awaitTask(panel->toggle(file("a"), true));
    EXPECT_EQ(lines(), QStringList({"*.tmp", "/a"}));
    EXPECT_EQ(engine.callCount("updateIgnorePatterns"), 2);

    lines() = {"/a", "*.tmp", "/a"};
    awaitTask(panel->toggle(file("a"), false));
    EXPECT_EQ(lines(), QStringList("*.tmp"));
    EXPECT_FALSE(switchOn(*panel, "a"));

    awaitTask(panel->toggle(file("Take [1].mov"), true));
    EXPECT_EQ(lines(), QStringList({"*.tmp", R"(/Take \[1\].mov)"}));
    EXPECT_TRUE(switchOn(*panel, "Take [1].mov"));
    EXPECT_EQ(app().projects().folderOf("S", "F")->ignorePatterns, lines());

    // Lines that can't be read are not written, and the switch stays.
    const int writes = engine.callCount("updateIgnorePatterns");
    engine.failNext("ignorePatterns", SyncEngineError::backend("down"));
    awaitTask(panel->toggle(file("c"), true));
    EXPECT_EQ(engine.callCount("updateIgnorePatterns"), writes);
    EXPECT_FALSE(switchOn(*panel, "c"));
    EXPECT_TRUE(switchOn(*panel, "Take [1].mov"));
    EXPECT_EQ(resets.count(), 0);

    const QImage shot = saveShot(*panel, QStringLiteral("omit-excluded-row"));
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), panel->size() * panel->devicePixelRatio());
    const QWidget &rows = *panel->list().viewport();
    const QRect excluded = panel->rowDelegate().nameRect(row(*panel, "Take [1].mov"));
    const QRect included = panel->rowDelegate().nameRect(row(*panel, "c"));
    // The excluded name in a shade of orange that reads on its orange row,
    // the other in the text colour.
    const auto ink = [&](const QRect &name) {
        const QRect area = shotArea(shot, *panel, rows, name);
        const QColor ground = shot.pixelColor(area.left() - 2, area.center().y());
        const QColor strongest = test::strongestPixel(shot, ground, area);
        return std::pair{strongest, contrastRatio(strongest, ground)};
    };
    const auto [struckInk, struckRatio] = ink(excluded);
    EXPECT_TRUE(test::isShadeOf(struckInk, Theme::orange())) << struckInk.name().toStdString();
    EXPECT_GE(struckRatio, textContrast);
    const auto [plainInk, plainRatio] = ink(included);
    EXPECT_FALSE(test::isShadeOf(plainInk, Theme::orange())) << plainInk.name().toStdString();
    EXPECT_GE(plainRatio, textContrast);
    // A short name in a wide row shows whole, and a few rows need no scroll bar.
    QFont struck = pointsFont(13);
    struck.setStrikeOut(true);
    EXPECT_EQ(QFontMetrics(struck).elidedText("Take [1].mov", Qt::ElideMiddle, excluded.width()), "Take [1].mov");
    EXPECT_FALSE(panel->list().verticalScrollBar()->isVisible());
    // Its switch, on, stands out from its row and carries its knob at 3 : 1.
    const QRect on = panel->rowDelegate().switchRect(row(*panel, "Take [1].mov"));
    for (const auto appearance : {AppPreferences::Appearance::Light, AppPreferences::Appearance::Dark}) {
        applyWidgetAppearance(appearance);
        const QImage drawn = panel->grab().toImage();
        const QRect track = shotArea(drawn, *panel, rows, on);
        const int middle = track.center().y();
        const QColor trackInk = drawn.pixelColor(track.left() + track.height() / 2, middle);
        EXPECT_GE(contrastRatio(trackInk, drawn.pixelColor(track.left() - 3, middle)), markContrast);
        EXPECT_GE(contrastRatio(drawn.pixelColor(track.right() - track.height() / 2, middle), trackInk), markContrast);
    }
    applyWidgetAppearance(AppPreferences::Appearance::System);
}

// A line Syncthing cannot use would stop the folder; the panel says why not.
TEST_F(OmitPanelTest, ANameWithALineBreakOrOneSyncthingCannotUseGetsNoLine)
{
    const QString unusable = u"a\uFFFDb"_qs;
    engine.state.browse["st"][""] = {file("a\nb"), file(unusable), file("new\nclip.txt")};
    lines() = {"*.tmp"};
    auto panel = shownPanel();
    // Its name on one line, whole in a row with room: measured as drawn.
    EXPECT_EQ(elidedToFit("new\nclip.txt", pointsFont(13), Qt::ElideMiddle,
                          panel->rowDelegate().nameRect(row(*panel, "new\nclip.txt")).width()),
              "new clip.txt");
    awaitTask(panel->toggle(file("a\nb"), true));
    EXPECT_EQ(app().projects().lastErrorMessage(), ProjectController::lineBreakText);
    awaitTask(panel->toggle(file(unusable), true));
    const QLabel *failure = panel->findChild<QLabel *>("switchFailure");
    ASSERT_NE(failure, nullptr);
    EXPECT_EQ(failure->text(),
              u"Syncthing can\u2019t use \u201C/a\uFFFDb\u201D as an ignore pattern: it holds the replacement "
              "character \u201C\uFFFD\u201D. The folder\u2019s ignore list was left as it was."_qs);
    EXPECT_EQ(engine.callCount("updateIgnorePatterns"), 0);
    EXPECT_EQ(lines(), QStringList("*.tmp"));
    EXPECT_FALSE(switchOn(*panel, "a\nb") || switchOn(*panel, unusable));
    // A later switch that lands takes the refusal off the sync's page.
    awaitTask(panel->toggle(file("c"), true));
    EXPECT_EQ(app().projects().lastErrorMessage(), std::nullopt);
}

// A write that fails after a good read is said under the path bar; the
// switch stays as the engine's lines are.
TEST_F(OmitPanelTest, AFailedWriteIsShownAndTheSwitchStays)
{
    engine.state.browse["st"][""] = {file("a")};
    lines() = {"*.tmp"};
    auto panel = shownPanel();
    engine.failNext("updateIgnorePatterns", SyncEngineError::backend("restarting"));
    awaitTask(panel->toggle(file("a"), true));
    auto *failure = panel->findChild<QLabel *>("switchFailure");
    ASSERT_NE(failure, nullptr);
    EXPECT_TRUE(failure->isVisible());
    EXPECT_EQ(failure->text(), u"Couldn\u2019t save the ignore patterns \u2014 restarting"_qs);
    EXPECT_FALSE(switchOn(*panel, "a"));
    awaitTask(panel->toggle(file("a"), true));
    EXPECT_FALSE(failure->isVisible());
    EXPECT_TRUE(switchOn(*panel, "a"));
}

TEST_F(OmitPanelTest, LevelsOpenByNameAndThePathBarGoesBack)
{
    engine.state.browse["st"][""] = {folderEntry("Shots"), file("a.mov")};
    engine.state.browse["st"]["Shots"] = {folderEntry("Day 1")};
    engine.state.browse["st"]["Shots/Day 1"] = {folderEntry("raw")};
    auto panel = shownPanel();
    click(*panel, panel->rowDelegate().nameRect(row(*panel, "Shots")));
    ASSERT_TRUE(reloaded(*panel, {"Shots"}));
    EXPECT_EQ(engine.callsOf("browse").last(), "browse(st, Shots)");
    click(*panel, panel->rowDelegate().nameRect(row(*panel, "Day 1")));
    ASSERT_TRUE(reloaded(*panel, {"Shots", "Day 1"}));
    EXPECT_EQ(panel->relPath(file("raw")), "Shots/Day 1/raw");

    awaitTask(panel->toggle(folderEntry("raw"), true));
    EXPECT_EQ(lines(), QStringList("/Shots/Day 1/raw"));
    EXPECT_TRUE(switchOn(*panel, "raw"));

    // The path bar's new buttons show from the event loop.
    ASSERT_TRUE(waitUntil([&] { return crumb(*panel, "Day 1") != nullptr; }));
    // Its parts sit evenly: each as wide as what it shows, the same gap
    // between any two.
    EXPECT_FALSE(saveShot(*panel, "omit-path-bar").isNull());
    auto *root = panel->findChild<QAbstractButton *>("root");
    QList<std::pair<QWidget *, int>> parts{{root, root->fontMetrics().height()}};
    for (QLabel *label : panel->findChildren<QLabel *>())
        if (label->isVisibleTo(panel.get()) && label->text() == "/")
            parts.append({label, label->fontMetrics().horizontalAdvance("/")});
    for (const QString &name : {QStringLiteral("Shots"), QStringLiteral("Day 1")})
        parts.append({crumb(*panel, name), crumb(*panel, name)->fontMetrics().horizontalAdvance(name)});
    ASSERT_EQ(parts.size(), 5);
    std::sort(parts.begin(), parts.end(), [](const auto &a, const auto &b) { return a.first->x() < b.first->x(); });
    for (qsizetype i = 0; i < parts.size(); ++i) {
        EXPECT_LE(parts[i].first->width() - parts[i].second, 3) << i;
        if (i > 0) {
            EXPECT_EQ(parts[i].first->x() - parts[i - 1].first->geometry().right() - 1, 4) << i;
        }
    }
    crumb(*panel, "Shots")->click();
    ASSERT_TRUE(reloaded(*panel, {"Shots"}));
    EXPECT_EQ(names(*panel), QStringList("Day 1"));
    EXPECT_EQ(crumb(*panel, "Day 1"), nullptr);
    auto *house = panel->findChild<QAbstractButton *>("root");
    EXPECT_EQ(house->accessibleName(), "Go to root folder");
    house->click();
    ASSERT_TRUE(reloaded(*panel, {}));
    EXPECT_EQ(names(*panel), QStringList({"Shots", "a.mov"}));
    EXPECT_EQ(crumb(*panel, "Shots"), nullptr);
}

// A name opens its level, whose first name lies under the pointer before
// the double-click's second press, which opens nothing.
TEST_F(OmitPanelTest, ADoubleClickOnANameOpensOnlyTheLevelItWasAimedAt)
{
    engine.state.browse["st"][""] = {folderEntry("Shots")};
    engine.state.browse["st"]["Shots"] = {folderEntry("Day 1")};
    auto panel = shownPanel();
    QWidget *viewport = panel->list().viewport();
    const QPoint at = panel->rowDelegate().nameRect(row(*panel, "Shots")).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    ASSERT_TRUE(reloaded(*panel, {"Shots"}));
    ASSERT_TRUE(panel->rowDelegate().nameRect(row(*panel, "Day 1")).contains(at));
    QTest::lastMouseTimestamp -= QTest::mouseDoubleClickInterval;
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
    EXPECT_TRUE(reloaded(*panel, {"Shots"}));
    EXPECT_EQ(engine.callsOf("browse").last(), "browse(st, Shots)");
}

TEST_F(OmitPanelTest, ReturnOnAFoldersRowOpensItsLevel)
{
    engine.state.browse["st"][""] = {folderEntry("Shots"), file("a.mov")};
    engine.state.browse["st"]["Shots"] = {file("b.mov")};
    auto panel = shownPanel();
    for (const char *name : {"a.mov", "Shots"}) {
        panel->list().setCurrentIndex(row(*panel, name));
        QTest::keyClick(&panel->list(), Qt::Key_Return);
    }
    ASSERT_TRUE(reloaded(*panel, {"Shots"}));
    EXPECT_FALSE(engine.callsOf("browse").contains("browse(st, a.mov)"));
}

TEST_F(OmitPanelTest, SwitchesFlippedWhileAReadIsHeldBothLand)
{
    engine.state.browse["st"][""] = {file("a"), file("b")};
    lines() = {"*.tmp"};
    auto panel = shownPanel();
    engine.hold("ignorePatterns");
    click(*panel, panel->rowDelegate().switchRect(row(*panel, "a")));
    click(*panel, panel->rowDelegate().switchRect(row(*panel, "b")));
    ASSERT_TRUE(waitUntil([&] { return engine.waiting("ignorePatterns") == 1; }));
    engine.release("ignorePatterns");
    ASSERT_TRUE(waitUntil([&] { return switchOn(*panel, "a") && switchOn(*panel, "b"); }));
    EXPECT_EQ(lines(), QStringList({"*.tmp", "/a", "/b"}));
}

TEST_F(OmitPanelTest, NothingIsWrittenWhileARemovalRunsInTheFolder)
{
    engine.state.browse["st"][""] = {file("a")};
    lines() = {"*.tmp"};
    ASSERT_TRUE(configureNode());
    awaitTask(app().devices().refresh());
    auto panel = shownPanel();
    engine.failNext("folderType", SyncEngineError::backend("down"));
    engine.hold("folderType");
    auto purge = app().purgeFromPeers("S", "F", "/x");
    ASSERT_TRUE(waitUntil([&] { return app().purgeInFlightFolders().contains("st"); }));
    const QStringList before = engine.callLog();
    awaitTask(panel->toggle(file("a"), true));
    EXPECT_EQ(engine.callLog(), before);
    EXPECT_FALSE(switchOn(*panel, "a"));
    engine.release("folderType");
    awaitTask(std::move(purge));
    ASSERT_FALSE(app().purgeInFlightFolders().contains("st"));
    awaitTask(panel->toggle(file("a"), true));
    EXPECT_TRUE(switchOn(*panel, "a"));
}

} // namespace
} // namespace tw
