// The archive browser offscreen on the view-test rig: the tree and its rows,
// restores with their confirmation and busy rows, emptying, and the texts of
// version times.

#include "views/panels/ArchivePanel.h"

#include "controllers/FolderController.h"
#include "controllers/FormatFileSize.h"
#include "design/ContrastRatio.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "views/kit/PanelTexts.h"
#include "views/panels/ArchiveRowDelegate.h"
#include "views/panels/ArchiveTreeModel.h"

#include "AwaitTask.h"
#include "QtPrinters.h"
#include "SaveShot.h"
#include "TextContrast.h"
#include "ViewTestEnv.h"
#include "WaitUntil.h"

#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

namespace tw {
namespace {

const QString kT1 = "2024-05-01T10:00:00Z";
const QString kT2 = "2024-05-02T10:00:00Z";
const QString kT3 = "2024-05-03T10:00:00Z";

class ArchivePanelTest : public ViewTestEnv
{
protected:
    void SetUp() override
    {
        ViewTestEnv::SetUp();
        root = listWorkFolder("Work");
        ASSERT_TRUE(QDir().mkpath(root + "/.stversions/Docs"));
        engine.state.archives["st"] = {{"Docs/a.txt", kT1, 100},     {"c.txt", kT1, 1000},
                                       {"Docs/sub/b.txt", kT1, 300}, {"c.txt", kT3, 1000},
                                       {"Docs/a.txt", kT2, 200},     {"c.txt", kT2, 1000}};
        awaitTask(app().folders().refresh());
        folder = {.id = "F", .label = "Work", .localPath = root, .syncthingFolderID = "st"};
    }

    std::unique_ptr<ArchivePanel> shownPanel()
    {
        auto panel = std::make_unique<ArchivePanel>(app(), "S", folder);
        panel->resize(640, 480);
        panel->show();
        EXPECT_TRUE(waitUntil([&] { return !panel->isLoading(); }));
        return panel;
    }

    static QModelIndex row(ArchivePanel &panel, const QString &id) { return panel.model().indexOf(id); }
    static QString text(const QModelIndex &index, int role) { return index.data(role).toString(); }

    static void clickButton(ArchivePanel &panel, const QModelIndex &index)
    {
        panel.tree().scrollTo(index);
        QTest::mouseClick(panel.tree().viewport(), Qt::LeftButton, {},
                          panel.rowDelegate().buttonRect(index).center());
    }

    static QMessageBox *confirmation(ArchivePanel &panel)
    {
        QMessageBox *box = nullptr;
        waitUntil([&] { return (box = panel.findChild<QMessageBox *>()) != nullptr; });
        return box;
    }

    static bool showsEmpty(ArchivePanel &panel)
    {
        auto *content = panel.findChild<QStackedWidget *>();
        return content->currentWidget()->findChild<QLabel *>("emptyText") &&
               content->currentWidget()->findChild<QLabel *>("emptyText")->text() == texts::archiveIsEmpty &&
               panel.findChild<QAbstractButton *>("emptyArchive")->isHidden();
    }

    QString root;
    ProjectFolder folder;
};

TEST_F(ArchivePanelTest, FoldersComeFirstAndAFolderIsRestoredWholeOnlyOnceConfirmed)
{
    auto panel = shownPanel();
    ArchiveTreeModel &model = panel->model();
    ASSERT_EQ(model.rowCount(), 2);
    // Loaded, the first row is current and chosen by nothing.
    EXPECT_EQ(panel->tree().currentIndex(), model.index(0, 0));
    EXPECT_FALSE(panel->tree().selectionModel()->hasSelection());
    // The header is 12-point text.
    int headers = 0;
    for (const QLabel *label : panel->findChildren<QLabel *>()) {
        if (label->text() == texts::archiveHeader) {
            ++headers;
            EXPECT_EQ(label->font().pointSizeF(), pointsFont(12).pointSizeF());
        }
    }
    EXPECT_EQ(headers, 1);
    const QModelIndex docs = model.index(0, 0);
    const QModelIndex c = model.index(1, 0);
    EXPECT_EQ(text(docs, Qt::DisplayRole), "Docs");
    EXPECT_EQ(text(docs, ArchiveTreeModel::SubtitleRole), u"2 files \u00B7 "_qs + formatFileSize(600));
    EXPECT_EQ(text(docs, ArchiveTreeModel::ButtonTextRole), "Restore all");
    EXPECT_EQ(Symbol(docs.data(ArchiveTreeModel::SymbolRole).toInt()), Symbol::Folder);
    EXPECT_EQ(text(c, Qt::DisplayRole), "c.txt");
    EXPECT_EQ(text(c, ArchiveTreeModel::SubtitleRole), u"3 versions \u00B7 "_qs + formatFileSize(3000));
    EXPECT_EQ(text(c, ArchiveTreeModel::ButtonTextRole), "Restore newest");
    EXPECT_EQ(Symbol(c.data(ArchiveTreeModel::SymbolRole).toInt()), Symbol::DocOnDoc);
    ASSERT_EQ(model.rowCount(c), 3);
    for (int copy = 0; copy < 3; ++copy) {
        EXPECT_EQ(text(model.index(copy, 0, c), ArchiveTreeModel::ButtonTextRole), "Restore");
        EXPECT_EQ(Symbol(model.index(copy, 0, c).data(ArchiveTreeModel::SymbolRole).toInt()),
                  Symbol::ClockArrowCirclepath);
        EXPECT_FALSE(model.hasChildren(model.index(copy, 0, c)));
    }
    EXPECT_EQ(text(model.index(0, 0, c), ArchiveTreeModel::IdRole), "ver:c.txt@" + kT3);

    clickButton(*panel, docs);
    QMessageBox *box = confirmation(*panel);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), u"Restore \u201C\u2068" "Docs\u2069\u201D?"_qs);
    EXPECT_EQ(box->informativeText(),
              u"Puts all 2 archived files from \u201C\u2068" "Docs\u2069\u201D back into the folder, in their original structure. "
              u"Any current file with the same name is overwritten."_qs);
    EXPECT_EQ(box->findChild<QPushButton *>("confirm")->text(), "Restore 2 files");
    box->findChild<QPushButton *>("cancel")->click();
    ASSERT_TRUE(waitUntil([&] { return !panel->findChild<QMessageBox *>(); }));
    EXPECT_EQ(engine.callCount("restoreArchivedBatch"), 0);
    // Return or Space on the chosen folder asks as its button does.
    auto *tree = panel->findChild<QAbstractItemView *>("archiveTree");
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Space}) {
        tree->setCurrentIndex(docs);
        QTest::keyClick(tree, key);
        ASSERT_NE(confirmation(*panel), nullptr);
        confirmation(*panel)->findChild<QPushButton *>("cancel")->click();
        ASSERT_TRUE(waitUntil([&] { return !panel->findChild<QMessageBox *>(); }));
    }

    clickButton(*panel, docs);
    box = confirmation(*panel);
    ASSERT_NE(box, nullptr);
    engine.hold("archivedVersions");
    box->findChild<QPushButton *>("confirm")->click();
    EXPECT_EQ(engine.callsOf("restoreArchivedBatch"),
              QStringList("restoreArchivedBatch(st, Docs/a.txt@" + kT2 + "|Docs/sub/b.txt@" + kT1 + ")"));
    // Only the folder's own row is marked while it is restored.
    EXPECT_EQ(panel->restoring(), QSet<QString>({"dir:Docs"}));
    EXPECT_TRUE(docs.data(ArchiveTreeModel::BusyRole).toBool());
    EXPECT_FALSE(model.index(1, 0, docs).data(ArchiveTreeModel::BusyRole).toBool());
    engine.release("archivedVersions");
    ASSERT_TRUE(waitUntil([&] { return panel->restoring().isEmpty(); }));
    EXPECT_EQ(engine.state.archives["st"].size(), 4);

    const QImage loaded = saveShot(*panel, QStringLiteral("archive-loaded"));
    ASSERT_FALSE(loaded.isNull());
    EXPECT_EQ(loaded.size(), panel->size() * panel->devicePixelRatio());
}

TEST_F(ArchivePanelTest, AFolderOfOneFileSaysFile)
{
    const QList<ArchiveNodePtr> tree = buildArchiveTree({{"One/x.txt", kT1, 5}});
    ASSERT_EQ(tree.size(), 1);
    const ArchiveNode &one = *tree.first();
    EXPECT_EQ(ArchivePanel::subtitle(one), u"1 file \u00B7 "_qs + formatFileSize(5));
    EXPECT_EQ(ArchivePanel::restoreFolderTitle(one), u"Restore \u201C\u2068One\u2069\u201D?"_qs);
    EXPECT_EQ(ArchivePanel::restoreFolderMessage(one),
              u"Puts all 1 archived file from \u201C\u2068One\u2069\u201D back into the folder, in their original structure. "
              u"Any current file with the same name is overwritten."_qs);
    EXPECT_EQ(ArchivePanel::restoreFolderAction(one), "Restore 1 file");
}

TEST_F(ArchivePanelTest, AHeldRestoreMarksItsOwnRowUntilTheReloadAfterItEnds)
{
    auto panel = shownPanel();
    ArchiveTreeModel &model = panel->model();
    engine.hold("restoreArchived");
    clickButton(*panel, model.indexOf("file:c.txt"));
    ASSERT_TRUE(waitUntil([&] { return engine.waiting("restoreArchived") == 1; }));
    EXPECT_EQ(engine.callsOf("restoreArchived"), QStringList("restoreArchived(st, c.txt, " + kT3 + ")"));
    const auto busy = [&](const QString &id) { return row(*panel, id).data(ArchiveTreeModel::BusyRole).toBool(); };
    EXPECT_EQ(text(row(*panel, "file:c.txt"), ArchiveTreeModel::ButtonTextRole), texts::rowBusy);
    EXPECT_TRUE(busy("file:c.txt"));
    EXPECT_FALSE(busy("dir:Docs"));
    EXPECT_FALSE(busy("ver:c.txt@" + kT2));
    EXPECT_EQ(text(row(*panel, "dir:Docs"), ArchiveTreeModel::ButtonTextRole), "Restore all");
    // A busy button takes no click.
    clickButton(*panel, row(*panel, "file:c.txt"));
    EXPECT_EQ(engine.callCount("restoreArchived"), 1);

    engine.hold("archivedVersions");
    engine.release("restoreArchived");
    ASSERT_TRUE(waitUntil([&] { return engine.waiting("archivedVersions") == 1; }));
    EXPECT_TRUE(busy("file:c.txt"));
    engine.release("archivedVersions");
    ASSERT_TRUE(waitUntil([&] { return panel->restoring().isEmpty(); }));
    EXPECT_FALSE(busy("file:c.txt"));
    EXPECT_EQ(text(row(*panel, "file:c.txt"), ArchiveTreeModel::SubtitleRole),
              u"2 versions \u00B7 "_qs + formatFileSize(2000));
    EXPECT_EQ(text(row(*panel, "file:c.txt"), ArchiveTreeModel::ButtonTextRole), "Restore newest");
}

// The restore reads the list again and the next row moves up under the
// pointer before the double-click's second press, which restores nothing.
TEST_F(ArchivePanelTest, ADoubleClickOnRestoreRestoresOnlyTheRowItWasAimedAt)
{
    engine.state.archives["st"] = {{"one.txt", kT1, 10}, {"plain.txt", kT1, 20}};
    auto panel = shownPanel();
    QWidget *viewport = panel->tree().viewport();
    const QPoint at = panel->rowDelegate().buttonRect(row(*panel, "file:one.txt")).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    ASSERT_TRUE(waitUntil([&] { return panel->restoring().isEmpty() && panel->model().rowCount() == 1; }));
    ASSERT_EQ(panel->tree().indexAt(at), row(*panel, "file:plain.txt"));
    QTest::lastMouseTimestamp -= QTest::mouseDoubleClickInterval;
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
    ASSERT_TRUE(waitUntil([&] { return panel->restoring().isEmpty(); }));
    EXPECT_EQ(engine.callsOf("restoreArchived"), QStringList("restoreArchived(st, one.txt, " + kT1 + ")"));
}

TEST_F(ArchivePanelTest, ACopyNoLongerListedReportsTheEngineTextAndTheReloadShowsWhatIsLeft)
{
    auto panel = shownPanel();
    engine.state.archives["st"].removeIf([](const ArchivedVersion &copy) { return copy.path == "c.txt"; });
    clickButton(*panel, panel->model().indexOf("ver:c.txt@" + kT2));
    ASSERT_TRUE(waitUntil([&] { return panel->restoring().isEmpty(); }));
    EXPECT_EQ(app().folders().lastErrorMessage(), "Could not restore c.txt: version not found");
    ASSERT_EQ(panel->roots().size(), 1);
    EXPECT_EQ(panel->roots().first()->id, "dir:Docs");
}

TEST_F(ArchivePanelTest, AReloadKeepsTheOpenedRowsAndTheChosenOne)
{
    auto panel = shownPanel();
    QTreeView &tree = panel->tree();
    tree.expand(row(*panel, "dir:Docs"));
    tree.setCurrentIndex(row(*panel, "file:Docs/a.txt"));
    // Reaching a copy's button opens its file's row.
    clickButton(*panel, row(*panel, "ver:c.txt@" + kT2));
    ASSERT_TRUE(tree.isExpanded(row(*panel, "file:c.txt")));
    ASSERT_FALSE(tree.isExpanded(row(*panel, "dir:Docs/sub")));

    // The restore reloads the tree: the rows still there stay as they were.
    ASSERT_TRUE(waitUntil([&] { return panel->restoring().isEmpty() && !panel->isLoading(); }));
    EXPECT_TRUE(tree.isExpanded(row(*panel, "dir:Docs")));
    EXPECT_TRUE(tree.isExpanded(row(*panel, "file:c.txt")));
    EXPECT_FALSE(tree.isExpanded(row(*panel, "dir:Docs/sub")));
    EXPECT_EQ(text(tree.currentIndex(), ArchiveTreeModel::IdRole), "file:Docs/a.txt");
    // The chosen row's name stands on the highlight in its own text colour.
    const QRect chosen = tree.visualRect(tree.currentIndex());
    const QImage rows = tree.viewport()->grab().toImage();
    const QColor highlight = tree.palette().color(QPalette::Active, QPalette::Highlight);
    const QColor name = test::strongestPixel(
        rows, highlight, chosen.adjusted(ArchiveRowDelegate::iconWidth, 0, -chosen.width() / 2, 0));
    EXPECT_EQ(name.rgb(), tree.palette().color(QPalette::Active, QPalette::HighlightedText).rgb());

    // A chosen row that went leaves nothing chosen, not the first row: the row
    // in its place (its file's, of one copy left) is current for the next key.
    tree.setCurrentIndex(row(*panel, "ver:c.txt@" + kT1));
    engine.state.archives["st"].removeIf([](const ArchivedVersion &copy) { return copy.versionTime == kT1; });
    awaitTask(panel->load());
    ASSERT_TRUE(waitUntil([&] { return !panel->isLoading(); }));
    EXPECT_EQ(text(tree.currentIndex(), ArchiveTreeModel::IdRole), "file:c.txt");
    EXPECT_FALSE(tree.selectionModel()->hasSelection());
}

// Closed by the user, a folder stays closed through the reload a restore
// makes, though the chosen row lies in it, and the view stays where it was.
TEST_F(ArchivePanelTest, ARestoreKeepsWhatTheUserClosedAndWhereTheViewIs)
{
    for (int i = 0; i < 40; ++i)
        engine.state.archives["st"].append({QStringLiteral("take%1.mov").arg(i, 2, 10, QLatin1Char('0')), kT1, 10});
    auto panel = shownPanel();
    panel->resize(640, 240);
    QTreeView &tree = panel->tree();
    tree.expand(row(*panel, "dir:Docs"));
    tree.setCurrentIndex(row(*panel, "file:Docs/a.txt"));
    tree.collapse(row(*panel, "dir:Docs"));
    settleLayouts();
    tree.scrollTo(row(*panel, "file:take30.mov"), QAbstractItemView::PositionAtTop);
    const int scrolled = tree.verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);
    const QString top = text(tree.indexAt(QPoint(0, 0)), ArchiveTreeModel::IdRole);
    const QModelIndex restored = row(*panel, "file:take31.mov");
    ASSERT_TRUE(tree.viewport()->rect().contains(tree.visualRect(restored)));

    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, panel->rowDelegate().buttonRect(restored).center());
    ASSERT_TRUE(waitUntil([&] { return panel->restoring().isEmpty() && !panel->isLoading(); }));
    EXPECT_EQ(engine.callCount("restoreArchived"), 1);
    EXPECT_FALSE(tree.isExpanded(row(*panel, "dir:Docs")));
    EXPECT_EQ(text(tree.currentIndex(), ArchiveTreeModel::IdRole), "file:Docs/a.txt");
    EXPECT_EQ(tree.verticalScrollBar()->value(), scrolled);
    EXPECT_EQ(text(tree.indexAt(QPoint(0, 0)), ArchiveTreeModel::IdRole), top);
}

// A restore that works takes back the failure of one before it; another
// part's failure since stays.
TEST_F(ArchivePanelTest, ASuccessfulRestoreClearsTheEarlierRestoresFailure)
{
    auto panel = shownPanel();
    // A restore that works takes its copy out of the listing: each click
    // aims at a row still there.
    const auto restore = [&](const QString &id) {
        if (!row(*panel, id).isValid())
            return false;
        clickButton(*panel, row(*panel, id));
        return waitUntil([&] { return panel->restoring().isEmpty() && !panel->isLoading(); });
    };
    const QString notRunning = SyncEngineError::notRunning().errorDescription();
    engine.failNext("restoreArchived", SyncEngineError::notRunning());
    ASSERT_TRUE(restore("file:Docs/sub/b.txt"));
    EXPECT_EQ(app().folders().lastErrorMessage(), notRunning);
    ASSERT_TRUE(restore("file:Docs/sub/b.txt"));
    EXPECT_EQ(app().folders().lastErrorMessage(), std::nullopt);

    engine.failNext("restoreArchived", SyncEngineError::notRunning());
    ASSERT_TRUE(restore("file:c.txt"));
    EXPECT_EQ(app().folders().lastErrorMessage(), notRunning);
    app().folders().setError(SyncEngineError::backend("rescan refused"));
    ASSERT_TRUE(restore("file:c.txt"));
    EXPECT_EQ(app().folders().lastErrorMessage(), SyncEngineError::backend("rescan refused").errorDescription());

    // The user goes back and opens the archive again: the failure outlives
    // the panel that told it, and so must what takes it back.
    engine.failNext("restoreArchived", SyncEngineError::notRunning());
    ASSERT_TRUE(restore("file:c.txt"));
    EXPECT_EQ(app().folders().lastErrorMessage(), notRunning);
    panel = shownPanel();
    ASSERT_TRUE(restore("file:c.txt"));
    EXPECT_EQ(app().folders().lastErrorMessage(), std::nullopt);
    EXPECT_EQ(engine.callCount("restoreArchived"), 6);
}

TEST_F(ArchivePanelTest, EmptyingRemovesTheArchiveAndShowsWhatAFailedListingShows)
{
    // The engine lists what its archive directory holds.
    engine.beforeAnswer = [this](QString operation) -> QCoro::Task<void> {
        if (operation == "archivedVersions" && !QDir(root + "/.stversions").exists())
            engine.state.archives.clear();
        co_return;
    };
    auto panel = shownPanel();
    auto *empty = panel->findChild<QAbstractButton *>("emptyArchive");
    EXPECT_FALSE(empty->isHidden());
    EXPECT_EQ(empty->text(), u"Empty archive\u2026"_qs);
    // Its text stands on the header's first line.
    settleLayouts();
    for (QLabel *label : panel->findChildren<QLabel *>()) {
        if (label->text() != texts::archiveHeader)
            continue;
        const int buttonTextTop = empty->y() + (empty->height() - empty->fontMetrics().height()) / 2;
        EXPECT_LE(std::abs(buttonTextTop - label->y()), 1);
    }
    // It destroys: its text and its trash symbol in red.
    EXPECT_TRUE(test::isShadeOf(empty->palette().color(QPalette::ButtonText), Theme::danger()));
    const QColor ink = test::symbolInk(empty->icon().pixmap(empty->iconSize()).toImage());
    EXPECT_TRUE(test::isShadeOf(ink, Theme::danger())) << ink.name().toStdString();
    empty->click();
    QMessageBox *box = confirmation(*panel);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Empty this archive?");
    EXPECT_EQ(box->informativeText(),
              u"Permanently removes all archived (deleted/overwritten) versions in this folder to free up space. "
              u"Files currently in the folder are NOT affected. This can\u2019t be undone."_qs);
    box->findChild<QPushButton *>("confirm")->click();
    ASSERT_TRUE(waitUntil([&] { return engine.callCount("archivedVersions") == 2 && !panel->isLoading(); }));
    EXPECT_FALSE(QDir(root + "/.stversions").exists());
    EXPECT_TRUE(QDir(root).exists());
    EXPECT_TRUE(showsEmpty(*panel));
    const QImage emptied = saveShot(*panel, QStringLiteral("archive-empty"));
    ASSERT_FALSE(emptied.isNull());
    EXPECT_EQ(emptied.size(), panel->size() * panel->devicePixelRatio());

    engine.beforeAnswer = nullptr;
    engine.state.archives["st"] = {{"c.txt", kT1, 1}};
    engine.failNext("archivedVersions", SyncEngineError::notRunning());
    auto failed = shownPanel();
    EXPECT_TRUE(failed->roots().isEmpty());
    EXPECT_TRUE(showsEmpty(*failed));
}

TEST(ArchivePanelTimeTest, OnlyInternetDateTimesAreShownAsMediumDateAndShortTime)
{
    const QTimeZone plusTwo(2 * 3600);
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale de(QLocale::German, QLocale::Germany);
    const struct { QLocale locale; QString text; QString shown; } rows[] = {
        {us, "2024-05-01T10:20:30Z", "May 1, 2024 12:20 PM"},
        {us, "2024-05-01T10:20:30.123456789Z", "May 1, 2024 12:20 PM"},
        {us, "2024-05-01T23:59:59.5-01:00", "May 2, 2024 2:59 AM"},
        {us, "2024-05-01T10:20:30+02:00", "May 1, 2024 10:20 AM"},
        {de, "2024-05-01T10:20:30Z", "1. Mai 2024 12:20"},
        {QLocale::c(), "2024-05-01T10:20:30Z", "1 May 2024 12:20"},
        {us, "20240501-102030", "20240501-102030"},
        {us, "2024-05-01", "2024-05-01"},
        {us, "2024-05-01 10:20:30Z", "2024-05-01 10:20:30Z"},
        {us, "2024-05-01T10:20:30", "2024-05-01T10:20:30"},
        {us, "2024-13-01T10:20:30Z", "2024-13-01T10:20:30Z"},
        {us, "", ""},
    };
    for (const auto &row : rows)
        EXPECT_EQ(ArchivePanel::displayTime(row.text, row.locale, plusTwo), row.shown) << row.text.toStdString();
}

} // namespace
} // namespace tw
